// Which directory povupdate works on: its update file, local configuration
// file and default install directory are there.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace povupdate_cli {

// Adds --dir DIR to `app` (Linux: there the library takes its directory
// from POVUPDATE_MODULE_DIR, which the option sets, so that the library and
// the commands agree).
void AddDirectoryOption(CLI::App& app);

// 0 when povupdate may work on its host directory. Not so when that is its
// own directory (neither --dir nor POVUPDATE_MODULE_DIR names another) and a
// system directory, as for a packaged povupdate in /usr/bin: then it says
// so, naming both, and returns 1.
int RefuseSystemDirectory();

// The update file the library reads, unless `path` already names a file;
// the exit status of a failure after its message.
int ChooseUpdateFile(std::string& path);

// The files an edit names, or else the update file the library reads.
int ChooseUpdateFiles(std::vector<std::string>& files);

}  // namespace povupdate_cli
