// Whole-file reads and crash-safe, serialised rewrites for the backend's
// files (profile files and the registry store).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace povupdate::backend {

enum class ReadStatus { kOk, kMissing, kFailed };

// Reads the whole file into `bytes`. kMissing when no file has that name,
// kFailed when it can't be read (a directory, no permission, an I/O error).
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes);
// The same, also giving the fstat() of the file read, taken after reading.
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes, struct stat& status);
// The same for a file whose contents were `known` before: when they still
// are, `changed` is false and `bytes` is left alone. The file is compared
// piece by piece, so an unchanged large file is never copied whole.
ReadStatus RereadWholeFile(const std::string& path, const std::string& known, bool& changed,
                           std::string& bytes, struct stat& status);

// An exclusive lock that serialises every read-modify-write of one file,
// across threads and processes. It is held on something that outlives the
// file's replacement by rename, so a writer that comes after a replacement
// still waits for the one before it. The lock covers the file's whole
// directory: a thread must not take a second one in the same directory while
// holding one.
class RewriteLock {
 public:
  explicit RewriteLock(const std::string& path);
  ~RewriteLock();
  RewriteLock(const RewriteLock&) = delete;
  RewriteLock& operator=(const RewriteLock&) = delete;

  // False when the directory can't be opened or locked; errno then says why.
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Replaces the file's contents as one step: the bytes go to a temporary file
// in the same directory, which is flushed and renamed over the file, so a
// reader or a crash sees either the old contents or the new in full. An
// existing file keeps its permission bits (and, for root, its owner); a new
// one gets `new_file_mode` less the umask. Temporary files left by a writer that died are removed.
// Call with the file's RewriteLock held. Returns false, with the file unchanged, on failure.
bool ReplaceFile(const std::string& path, const std::string& bytes, mode_t new_file_mode);

}  // namespace povupdate::backend
