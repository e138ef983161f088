#include "platform/profile_file.h"

#include "platform/module_directory.h"
#include "platform/profile_write_lock.h"
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
  // The service reports running out of memory only by its last error, and
  // leaves an earlier one standing when it succeeds.
  SetLastError(ERROR_SUCCESS);
  const DWORD read =
      GetPrivateProfileStringA(section, key, nullptr, buffer, static_cast<DWORD>(size), path);
  if (read != 0) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ? kReadFailed : 1;
}

int ProfileFile::WriteProfileString(const char* section, const char* key, const char* path,
                                    const char* value) const {
  if (path[0] == '\0') return 1;
  const ProfileWriteLock lock(path);
  if (!lock.held()) return 1;
  const DWORD attributes = GetFileAttributesA(path);
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (WritePrivateProfileStringA(section, key, value, path) == 1) return 0;
  const DWORD error = GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes);
  return error == ERROR_NO_UNICODE_TRANSLATION ? kTextRefused : 1;
}

// Only a read-only attribute stands in a deletion's way; it alone is
// cleared, and set again when the deletion fails anyway, so that nothing but
// the file itself is ever changed: not a directory in its place, not the file
// a symbolic link leads to (a link's attributes are its own).
void ProfileFile::DeleteProfile(const char* path) const {
  if (path[0] == '\0') return;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
  const bool read_only = writable != attributes;
  if (read_only) SetFileAttributesA(path, writable == 0 ? FILE_ATTRIBUTE_NORMAL : writable);
  if (!DeleteFileA(path) && read_only) SetFileAttributesA(path, attributes);
}

bool ProfileFile::GetModuleDirectory(char* directory) const {
  return ReadModuleDirectory(directory);
}

}  // namespace povupdate
