#include "platform/module_directory.h"

#include "platform/win32.h"

namespace povupdate {

bool ReadModuleDirectory(char* directory) {
  const DWORD length = GetModuleFileNameA(nullptr, directory, static_cast<DWORD>(kModulePathSize));
  // A path that filled the buffer was cut short; its directory can't be
  // trusted. Any shorter one is terminated at `length`.
  if (length >= kModulePathSize || length < 2) {
    directory[0] = '\0';
    return false;
  }
  // The directory ends after the last separator at kFirstDirectoryEnd or
  // later; without one the path is taken whole.
  for (DWORD end = length; end > kFirstDirectoryEnd; --end) {
    if (directory[end - 1] == kPathSeparator) {
      directory[end] = '\0';
      break;
    }
  }
  return true;
}

}  // namespace povupdate
