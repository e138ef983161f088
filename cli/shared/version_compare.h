// Which of two versions is newer, as people read them, and what that means
// for an installed item.
#pragma once

#include <string>
#include <string_view>

namespace povupdate_cli {

// Below 0 when `a` is older than `b`, 0 when they are the same version
// however spelt ("1.0" and "1.0.0", "1.0RC1" and "1.0-rc1"), above 0 when
// `a` is newer. Any two texts compare, and the order is total: it is the one
// order that status and installs go by.
//
// A version is a row of components, runs of ASCII digits and runs of ASCII
// letters; any other byte only separates them. Components compare in turn,
// a missing one counting as 0, first by rank, lowest first:
//   pre-release    alpha, beta, pre, rc (any case), and any letter run not
//                  ranked below
//   zero           a digit run of value 0, and a missing component
//   post-release   patch, post, pl (any case)
//   number         any other digit run
//   letter suffix  a letter run right after a digit and not before one
//                  ("1.0.2b")
// then digit runs by value, however long, and letter runs as text without
// regard to case.
int CompareVersions(std::string_view a, std::string_view b);

enum class InstallState { kNotInstalled, kUpToDate, kUpdateAvailable, kNewerInstalled };

// `installed` is "" when nothing is recorded.
InstallState JudgeInstall(std::string_view offered, std::string_view installed);

const char* InstallStateText(InstallState state);

}  // namespace povupdate_cli
