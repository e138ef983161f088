#include "platform/module_directory.h"

#include <cstring>

namespace povupdate {

bool ModuleDirectoryOf(const char* path, std::size_t length, char* directory) {
  // A path that filled the buffer was cut short; its directory can't be
  // trusted.
  if (length >= kModulePathSize || length < 2) {
    directory[0] = '\0';
    return false;
  }
  std::memmove(directory, path, length);
  directory[length] = '\0';
  // The directory ends after the last separator at kFirstDirectoryEnd or
  // later; without one the path is taken whole.
  for (std::size_t end = length; end > kFirstDirectoryEnd; --end) {
    if (directory[end - 1] == kPathSeparator) {
      directory[end] = '\0';
      break;
    }
  }
  return true;
}

}  // namespace povupdate
