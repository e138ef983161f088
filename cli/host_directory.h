// Which directory povupdate works on: its update file, local configuration
// file and default install directory are there.
#pragma once

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

}  // namespace povupdate_cli
