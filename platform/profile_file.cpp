#include "platform/profile_file.h"

#include "platform/win32.h"

namespace povupdate {

// An empty path means the caller has no usable file: the system is not asked,
// because Windows would take a bare or empty name relative to its own
// directory and read or damage another file.

int ProfileFile::ReadProfileString(const char* section, const char* key, const char* path,
                                   char* buffer, std::size_t size) const {
  if (size == 0) return 1;
  if (path[0] == '\0') {
    buffer[0] = '\0';
    return 1;
  }
  const DWORD read =
      GetPrivateProfileStringA(section, key, nullptr, buffer, static_cast<DWORD>(size), path);
  return read == 0 ? 1 : 0;
}

int ProfileFile::WriteProfileString(const char* section, const char* key, const char* path,
                                    const char* value) const {
  if (path[0] == '\0') return 1;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return WritePrivateProfileStringA(section, key, value, path) == 1 ? 0 : 1;
}

void ProfileFile::DeleteProfile(const char* path) const {
  if (path[0] == '\0') return;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
}

bool ProfileFile::GetModuleDirectory(char* directory) const {
  const DWORD length = GetModuleFileNameA(nullptr, directory, static_cast<DWORD>(kPathSize));
  // A path that filled the buffer was cut short; its directory can't be
  // trusted. Any shorter one is terminated at `length`.
  if (length >= kPathSize || length < 2) {
    directory[0] = '\0';
    return false;
  }
  // Index 0 is never examined: a separator there alone leaves the path whole.
  for (DWORD i = length - 1; i >= 1; --i) {
    if (directory[i] == kPathSeparator) {
      directory[i + 1] = '\0';
      break;
    }
  }
  return true;
}

}  // namespace povupdate
