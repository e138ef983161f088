// The directory of the host's executable, where the library's files live.
// The command-line host finds the files by this same rule, so that it never
// names one the library would not read.
#pragma once

#include <cstddef>

namespace povupdate {

constexpr std::size_t kModulePathSize = 260;

// On Linux, the environment variable that names the host's directory in
// place of the executable's (hosts installed in system directories, tests),
// except under raised rights.
constexpr char kModuleDirectoryVariable[] = "POVUPDATE_MODULE_DIR";

// Puts the directory, with its trailing separator, into `directory` (at
// least kModulePathSize bytes). False, with "" there, when no directory can
// be found or its path doesn't fit.
bool ReadModuleDirectory(char* directory);

}  // namespace povupdate
