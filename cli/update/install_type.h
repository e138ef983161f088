// How an entry's download is installed: by its InstallType, or, where that
// is none of the type words (some update files number the types), by the
// download's own extension.
#pragma once

#include <string>

namespace povupdate_cli {

enum class InstallKind { kNone, kExe, kMsi, kZip };

struct InstallChoice {
  InstallKind kind = InstallKind::kNone;
  // Chosen by the file's extension, not by InstallType.
  bool by_extension = false;
};

// `type` and the extension of `file_name` are compared without regard to
// case; kNone when neither names a kind.
InstallChoice ChooseInstall(const std::string& type, const std::string& file_name);

const char* InstallKindText(InstallKind kind);

}  // namespace povupdate_cli
