// The directory of the host's executable, where the library's files live.
// The command-line host finds the files by this same rule, so that it never
// names one the library would not read.
#pragma once

#include <cstddef>

namespace povupdate {

constexpr std::size_t kModulePathSize = 260;

// Puts the directory, with its trailing separator, into `directory` (at
// least kModulePathSize bytes). False, with "" there, when no directory can
// be found or its path doesn't fit.
bool ReadModuleDirectory(char* directory);

}  // namespace povupdate
