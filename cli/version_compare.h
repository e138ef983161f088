// Which of two versions is newer, and what that means for an installed item.
#pragma once

#include <string>

namespace povupdate_cli {

struct VersionOrder {
  int order = 0;                  // below 0: a is older than b; 0: the same; above 0: a is newer
  bool compared_as_text = false;  // one of them is not dotted numbers ("1.2.10")
};

// Dotted numbers compare field by field as numbers of any length, a missing
// field counting as 0 ("1.2" equals "1.2.0"); anything else compares as
// plain text.
VersionOrder CompareVersions(const std::string& a, const std::string& b);

enum class InstallState { kNotInstalled, kUpToDate, kUpdateAvailable, kNewerInstalled };

struct InstallVerdict {
  InstallState state = InstallState::kNotInstalled;
  bool compared_as_text = false;
};

// `installed` is "" when nothing is recorded.
InstallVerdict JudgeInstall(const std::string& offered, const std::string& installed);

const char* InstallStateText(InstallState state);

}  // namespace povupdate_cli
