// Files, the executable's path and the system's version and directory, as
// Windows hands them to the library.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/last_error.h"
#include "platform/linux/module_path.h"
#include "platform/linux/win32_api.h"

namespace {

using povupdate::backend::Fail;

thread_local DWORD last_error = ERROR_SUCCESS;

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

// Copies `text` into `buffer` the way GetModuleFileNameA does: cut to
// size - 1 characters when it doesn't fit, always terminated, and the
// result is the length copied, or `size` when it was cut.
DWORD CopyPathOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (size == 0) return 0;
  if (text.size() >= size) {
    std::memcpy(buffer, text.data(), size - 1);
    buffer[size - 1] = '\0';
    last_error = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// Parses "major.minor": digits only, one minor digit.
bool ParseVersion(const char* text, DWORD& major, DWORD& minor) {
  const char* point = std::strchr(text, '.');
  if (point == nullptr || point == text || point - text > 9) return false;
  for (const char* c = text; c < point; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  if (point[1] < '0' || point[1] > '9' || point[2] != '\0') return false;
  major = static_cast<DWORD>(std::strtoul(text, nullptr, 10));
  minor = static_cast<DWORD>(point[1] - '0');
  return true;
}

// The executable's path as it was when the library first asked, or empty
// when the kernel gave none: Windows too answers with the path the program
// was loaded from, and asking the kernel on every call costs more than the
// rest of a short call.
const std::string& ExecutablePath() {
  static const std::string path = povupdate::backend::ReadExecutablePath();
  return path;
}

}  // namespace

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD error) { last_error = error; }

// A file whose owner may not write it is read-only; the bit itself decides,
// so that it holds for root as well. As on Windows, a symbolic link has
// attributes of its own rather than its target's: a link is never read-only.
DWORD GetFileAttributesA(LPCSTR fileName) {
  struct stat info {};
  if (fileName == nullptr || lstat(fileName, &info) != 0) {
    last_error = ErrorFromErrno(errno);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISLNK(info.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
  DWORD attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// A symbolic link's own attributes are set, never its target's; a link has
// no permission bits to change.
BOOL SetFileAttributesA(LPCSTR fileName, DWORD attributes) {
  struct stat info {};
  if (fileName == nullptr || fileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  if (lstat(fileName, &info) != 0) return Fail(ErrorFromErrno(errno));
  if (S_ISLNK(info.st_mode)) return TRUE;
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
  if (chmod(fileName, mode) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

// Windows refuses to delete a read-only file or a directory.
BOOL DeleteFileA(LPCSTR fileName) {
  struct stat info {};
  if (fileName == nullptr || fileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  if (lstat(fileName, &info) != 0) return Fail(ErrorFromErrno(errno));
  if (S_ISDIR(info.st_mode) || (info.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED);
  if (unlink(fileName) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

// The executable's path, as ModulePath gives it.
DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  try {
    const std::string& executable = ExecutablePath();
    if (executable.empty()) {
      last_error = ERROR_FILE_NOT_FOUND;
      return 0;
    }
    return CopyPathOut(povupdate::backend::ModulePath(executable), buffer, size);
  } catch (...) {
    last_error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
}

// The system directory's drive is the root of the file system.
unsigned GetSystemDirectoryA(LPSTR buffer, unsigned size) {
  if (size < 2) return 2;
  buffer[0] = '/';
  buffer[1] = '\0';
  return 1;
}

// The version comes from POVUPDATE_OS_VERSION ("6.1"); without a well-formed
// one the query fails, as a failed query does on Windows. Raised rights
// don't change that: the version only chooses among the files of the
// executable's directory.
BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  const char* text = std::getenv("POVUPDATE_OS_VERSION");
  DWORD major = 0;
  DWORD minor = 0;
  if (text == nullptr || !ParseVersion(text, major, minor)) return Fail(ERROR_INVALID_PARAMETER);
  info->dwMajorVersion = major;
  info->dwMinorVersion = minor;
  info->dwBuildNumber = 0;
  info->dwPlatformId = 2;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}
