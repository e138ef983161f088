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

// The file that a rewrite of `path` replaces. Windows writes through a
// symbolic link, and so does every rewrite here: a link in the file's place
// leads to the file that gets the new contents (one that doesn't exist yet is
// made where the link points), and the link stays.
std::string WriteTarget(const std::string& path);

// Whether a rewrite may replace the file: one with its owner's write bit
// clear is read-only, for root too, as the read-only attribute is on
// Windows; access() adds the refusals of other users' files.
bool IsWritable(const std::string& path);

// An exclusive lock that serialises every read-modify-write of one file,
// across threads and processes. It is held on something that outlives the
// file's replacement by rename, so a writer that comes after a replacement
// still waits for the one before it. The lock covers the file's whole
// directory: a thread must not take a second one in the same directory while
// holding one.
//
// Anyone who may read the directory can lock it too, so the wait is bounded:
// a writer waits as long as the directory keeps changing (every rewrite
// makes and renames a file in it, so writers queued before it are getting on
// with their work), and gives up once the lock has stayed taken for
// kLockPatienceSeconds with nothing changing.
class RewriteLock {
 public:
  static constexpr int kLockPatienceSeconds = 5;

  explicit RewriteLock(const std::string& path);
  ~RewriteLock();
  RewriteLock(const RewriteLock&) = delete;
  RewriteLock& operator=(const RewriteLock&) = delete;

  // False when the directory can't be opened or locked, or its holder kept
  // it too long; errno then says why (EWOULDBLOCK for the last).
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Replaces the file's contents as one step: the bytes go to a temporary file
// in the same directory, which is flushed and renamed over the file, so a
// reader or a crash sees either the old contents or the new in full; the
// directory is flushed after the rename, so that a replacement reported done
// survives a power loss. An existing file keeps its permission bits (and, for
// root, its owner); a new one gets `new_file_mode` less the umask. Temporary
// files left by a writer that died are removed. `path` is a WriteTarget; call
// with its RewriteLock held. Returns false on failure: with the file
// unchanged, or (when only the directory couldn't be flushed) with the new
// contents in place but not yet safe from a power loss.
bool ReplaceFile(const std::string& path, const std::string& bytes, mode_t new_file_mode);

}  // namespace povupdate::backend
