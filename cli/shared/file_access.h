// Files povupdate reads whole or digests: regular files only, so that a FIFO,
// a device or a directory in a file's place is reported, not waited on; and
// the update files it replaces, under the locks of the library's writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace povupdate_cli {

// False, with `problem` saying why, when `path` is no regular file or can't
// be read.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem);

// The MD5 of a regular file as 32 lower-case hexadecimal digits, and its size.
bool DigestRegularFile(const std::string& path, std::string& md5, std::uint64_t& size,
                       std::string& problem);
// The same with its SHA-256 as 64 lower-case hexadecimal digits.
bool DigestRegularFile(const std::string& path, std::string& md5, std::string& sha256,
                       std::uint64_t& size, std::string& problem);

// The locks that serialise every rewrite of the files they cover, across
// processes: the library's own on that system (a lock on the file's
// directory on Linux, a named mutex per file on Windows). Each lock is taken
// once, in one fixed order, so that two edits of the same files never wait
// for each other; each gives up as the library's writes do.
class EditLocks {
 public:
  EditLocks();
  ~EditLocks();
  EditLocks(const EditLocks&) = delete;
  EditLocks& operator=(const EditLocks&) = delete;

  // Takes the locks of the files at `paths`; false, with `failed` naming a
  // file and `problem` saying why, when one can't be had.
  bool Take(const std::vector<std::string>& paths, std::string& failed, std::string& problem);

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

// Why the file at `path` (a regular file when `exists`, else none) can't be
// replaced, or "" when it can. Call with its lock held.
std::string ReplaceProblem(const std::string& path, bool exists);

// Replaces the file's contents in one step: a temporary file beside it gets
// `bytes`, is flushed and renamed over it, so that a reader or a crash sees
// the old contents or the new, never a mixture. Call with its lock held.
bool ReplaceRegularFile(const std::string& path, const std::string& bytes, std::string& problem);

}  // namespace povupdate_cli
