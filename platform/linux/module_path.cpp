#include "platform/linux/module_path.h"

#include <unistd.h>

#include "platform/linux/environment.h"
#include "platform/module_directory.h"

namespace povupdate::backend {

std::string ReadExecutablePath() {
  char exe[4096];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  return length > 0 ? std::string(exe, static_cast<std::size_t>(length)) : std::string();
}

std::string ModulePath(const std::string& executable) {
  const char* dir = PlaceSetting(kModuleDirectoryVariable);
  if (dir == nullptr) return executable;
  std::string replaced(dir);
  if (replaced.back() != '/') replaced += '/';
  return replaced + executable.substr(executable.rfind('/') + 1);
}

}  // namespace povupdate::backend
