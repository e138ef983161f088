// The library's one access to INI-format profile files and to the directory
// that holds them.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/module_directory.h"
#include "platform/win32.h"
#ifndef _WIN32
#include "platform/linux/profile_call.h"
#endif

namespace povupdate {

namespace backend {
class IniDocument;
}

class ProfileFile {
 public:
  virtual ~ProfileFile() = default;

  // ReadProfileString: the service ran out of memory, so nothing is known
  // of the value. WriteProfileString: the file can't hold the texts as
  // they are given.
  static constexpr int kReadFailed = 2;
  static constexpr int kTextRefused = 2;

  // Reads the value of `key` in `section` of the file at `path` into
  // `buffer` of `size` bytes. Returns 0 when at least one character was
  // read, 1 when the value is empty or absent (the buffer then holds ""),
  // kReadFailed when the read failed (the buffer holds "").
  int ReadProfileString(const char* section, const char* key, const char* path, char* buffer,
                        std::size_t size) const;

  // Writes `value` as the value of `key` in `section`, clearing the file's
  // read-only attribute first; a write that fails leaves the attributes as
  // they were. Writes of one file by other processes are waited for, at most
  // ProfileWriteLock::kPatienceMilliseconds. Returns 0 on success,
  // kTextRefused or 1 on failure.
  int WriteProfileString(const char* section, const char* key, const char* path,
                         const char* value) const;

  // Deletes the file, read-only or not. Reports nothing.
  void DeleteProfile(const char* path) const;

  // How a walk of the update file goes under the key file at `key_path`.
  enum class Walk { kAsUsual, kFileMissing, kRefused };
  // Without a key file, kAsUsual: lookups go to the profile service as
  // always. With one, the update file at `path` is read once and verified:
  // kAsUsual when one of the keys signed it, for `file_name`, and it has not
  // expired, and from then on every lookup of `path` reads those very bytes;
  // kFileMissing when there is no update file; kRefused otherwise.
  Walk CheckUpdateFile(const char* path, const char* key_path, const char* file_name);

  // Puts the directory of the host's executable, with its trailing
  // separator, into `directory` (at least kModulePathSize bytes). False when
  // no directory can be found.
  bool GetModuleDirectory(char* directory) const;

 private:
  // A lookup in the verified bytes, with ReadProfileString's results.
  int ReadVerified(const char* section, const char* key, char* buffer, std::size_t size) const;

  // The update file's bytes as verified, and the path they were read from.
  std::shared_ptr<const backend::IniDocument> verified_;
  char verified_path_[kModulePathSize] = {};
#ifndef _WIN32
  // An export makes one ProfileFile for its call: the Linux service reads
  // each file once for all of the call's lookups, and every lookup of the
  // call sees that one version. Windows' own service has no such scope.
  backend::ProfileCall call_;
#endif
};

}  // namespace povupdate
