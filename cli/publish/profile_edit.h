// An edit of one or more profile files as one step: under the locks of the
// library's writes, each file is read once, changed in memory and checked,
// and only when every file is ready is each replaced, atomically and
// durably. A kill at any moment leaves each file as it was or as the edit
// makes it; a refusal leaves every file as it was.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ini_document.h"

namespace povupdate_cli {

// What an edit makes of one file (`file` holds no bytes for a file that
// doesn't exist yet): false, with `problem` saying why, when the edit
// refuses it; else true with the file's new bytes in `edited`.
using FileChange = std::function<bool(const povupdate::backend::IniDocument& file,
                                      std::string& edited, std::string& problem)>;

// Edits the files at `paths` with `change`, and names each file it changed
// on standard error with `done` (with `json`, all of them on standard output
// too). Returns 0, or 1 after ReportError naming the file at fault and
// saying which files, if any, changed.
// Installers and other inputs are read before: no lock waits for them.
int EditFiles(const std::vector<std::string>& paths, const FileChange& change,
              const std::string& done, bool json);

}  // namespace povupdate_cli
