// The directory of the host's executable, where the library's files live.
// The command-line host finds the files by this same rule, so that it never
// names one the library would not read.
#pragma once

#include <cstddef>

#include "interface/facts.h"
#include "platform/win32.h"

namespace povupdate {

constexpr std::size_t kModulePathSize = kTextSize;

// On Linux, the environment variable that names the host's directory in
// place of the executable's (hosts installed in system directories, tests),
// except under raised rights.
constexpr char kModuleDirectoryVariable[] = "POVUPDATE_MODULE_DIR";

// Puts into `directory` (at least kModulePathSize bytes) the directory of the
// module path at `path`, with its trailing separator: `length` characters as
// GetModuleFileNameA reports them, kModulePathSize or more when it was cut
// short. False, with "" there, when that leaves no directory or the path
// doesn't fit. `path` may be `directory`.
bool ModuleDirectoryOf(const char* path, std::size_t length, char* directory);

// The directory of the host's executable, by ModuleDirectoryOf's rule.
inline bool ReadModuleDirectory(char* directory) {
  const DWORD length = GetModuleFileNameA(nullptr, directory, static_cast<DWORD>(kModulePathSize));
  return ModuleDirectoryOf(directory, length, directory);
}

}  // namespace povupdate
