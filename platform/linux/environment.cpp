#include "platform/linux/environment.h"

#include <pwd.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace povupdate::backend {
namespace {

// The home directory in the password database of `user`.
bool PasswordHome(uid_t user, std::string& home) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || *found->pw_dir == '\0') {
    return false;
  }
  home = found->pw_dir;
  return true;
}

}  // namespace

#ifdef POVUPDATE_FAULT_INJECTION
namespace {
bool assume_raised = false;
}  // namespace

void AssumeRaisedRights(bool raised) noexcept { assume_raised = raised; }
#endif

bool RaisedRights() {
#ifdef POVUPDATE_FAULT_INJECTION
  if (assume_raised) return true;
#endif
  return getauxval(AT_SECURE) != 0;
}

const char* PlaceSetting(const char* name) {
  if (RaisedRights()) return nullptr;
  const char* value = std::getenv(name);
  return value == nullptr || *value == '\0' ? nullptr : value;
}

bool BaseDirectory(const char* variable, const char* below_home, std::string& directory) {
  // The XDG base directory rules ignore a relative path.
  const char* base = PlaceSetting(variable);
  if (base != nullptr && base[0] == '/') {
    directory = base;
    return true;
  }
  // Under raised rights the real user is the caller; the rights, and so
  // the home, are the effective user's.
  if (const char* home = PlaceSetting("HOME")) {
    directory = home;
  } else if (!PasswordHome(RaisedRights() ? geteuid() : getuid(), directory)) {
    return false;
  }
  directory += below_home;
  return true;
}

}  // namespace povupdate::backend
