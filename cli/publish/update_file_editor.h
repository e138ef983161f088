// Publishers' edits of update files: an entry set from its installer, or
// removed. Each edit is one step of every file it names (profile_edit.h),
// made in memory as Windows' profile service would make it, so that every
// other byte of a file stays as it was.
#pragma once

#include <string>
#include <vector>

namespace povupdate_cli {

struct EntryTexts {
  std::string name;
  std::string version;
  std::string url;
  std::string install_type;  // "" for the installer's extension
  std::string install_path;
  std::string parameters;
};

// Each returns the exit status: 0, or 1 after ReportError. Nothing is
// written before every argument and file has been checked, and no edit
// makes the list deliver an index key it doesn't deliver today. With
// `json`, the files edited are printed as {"Files": [...]}.
int SetEntry(const std::string& installer, EntryTexts entry, const std::vector<std::string>& files,
             bool json);
int RemoveEntry(const std::string& name, const std::vector<std::string>& files, bool json);

}  // namespace povupdate_cli
