#include "platform/linux/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <thread>

namespace povupdate::backend {
namespace {

// Temporary files are named after their target, so that the next rewrite of
// the same file finds and replaces one left by a writer that died.
constexpr char kTempPrefix[] = ".";
constexpr char kTempSuffix[] = ".povupdate-new";
// As many links as the kernel follows in one path.
constexpr int kMostLinks = 40;
// A writer that finds the lock taken looks again after these pauses,
// doubling from the first to the longest.
constexpr std::chrono::milliseconds kFirstPause{1};
constexpr std::chrono::milliseconds kLongestPause{16};

// Closes a descriptor on every way out of a scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  // Closes now, reporting what close() reports (a delayed write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

std::string DirectoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// `name` in the directory that holds `path`, as a symbolic link's relative
// target is taken.
std::string Beside(const std::string& path, const std::string& name) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string TempPathOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return Beside(path, kTempPrefix + name + kTempSuffix);
}

// Makes what was written to the descriptor survive a power loss. The fuzz
// build throws its files away and would spend most of its time here.
bool Flush(int fd) {
#ifdef POVUPDATE_NO_FLUSH
  static_cast<void>(fd);
  return true;
#else
  return fsync(fd) == 0;
#endif
}

// The rename that replaced a file is an entry in its directory, on the disk
// only once the directory is flushed. A file system that can't flush a
// directory (EINVAL) keeps its entries by itself.
bool FlushDirectory(const std::string& directory) {
  Descriptor opened(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return opened.get() >= 0 && (Flush(opened.get()) || errno == EINVAL);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::string::size_type done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::string::size_type>(n);
  }
  return true;
}

// Reads from the descriptor's position to the end of the file, after what
// `bytes` holds; `file_size` is the size fstat() gave.
bool ReadToEnd(int fd, std::string& bytes, off_t file_size) {
  std::string::size_type used = bytes.size();
  // One byte more than expected, so that a file of the expected size ends in
  // a single read; a file that grew meanwhile is read on to its end.
  bytes.resize(std::max(used, static_cast<std::string::size_type>(file_size)) + 1);
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = read(fd, &bytes[used], bytes.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    used += static_cast<std::string::size_type>(n);
  }
  bytes.resize(used);
  return true;
}

// Compares the file with `known` piece by piece; reads it whole into
// `bytes` only where it differs.
bool ReadUnlessSame(int fd, off_t file_size, const std::string& known, bool& changed,
                    std::string& bytes) {
  constexpr std::size_t kPieceSize = std::size_t{64} * 1024;
  const std::unique_ptr<char[]> piece(new char[kPieceSize]);
  std::string::size_type matched = 0;
  for (;;) {
    const ssize_t n = read(fd, piece.get(), kPieceSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    const auto count = static_cast<std::string::size_type>(n);
    if (count == 0 && matched == known.size()) {
      changed = false;
      return true;
    }
    if (count == 0 || count > known.size() - matched ||
        std::memcmp(piece.get(), known.data() + matched, count) != 0) {
      changed = true;
      bytes.assign(known, 0, matched);
      bytes.append(piece.get(), count);
      return count == 0 || ReadToEnd(fd, bytes, file_size);
    }
    matched += count;
  }
}

// Opens the file, checks that it is a regular file, runs `read` on it and
// gives the file's fstat() from after reading. O_NONBLOCK: a FIFO in the
// file's place must not hang the reader.
template <typename Read>
ReadStatus OpenAndRead(const std::string& path, struct stat& status, Read read) {
  Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::kMissing : ReadStatus::kFailed;
  }
  if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return ReadStatus::kFailed;
  if (!read(file.get(), status.st_size)) return ReadStatus::kFailed;
  return fstat(file.get(), &status) == 0 ? ReadStatus::kOk : ReadStatus::kFailed;
}

// The new file takes over the old one's permissions and, when root rewrites
// another user's file, its owner, so that the rewrite changes nothing but
// the contents.
bool AdoptAttributes(int fd, const struct stat& old) {
  if (fchmod(fd, old.st_mode & 07777) != 0) return false;
  if (geteuid() != 0) return true;
  return fchown(fd, old.st_uid, old.st_gid) == 0;
}

}  // namespace

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) {
  struct stat status {};
  return ReadWholeFile(path, bytes, status);
}

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes, struct stat& status) {
  return OpenAndRead(path, status, [&](int fd, off_t size) {
    bytes.clear();
    return ReadToEnd(fd, bytes, size);
  });
}

ReadStatus RereadWholeFile(const std::string& path, const std::string& known, bool& changed,
                           std::string& bytes, struct stat& status) {
  return OpenAndRead(path, status, [&](int fd, off_t size) {
    return ReadUnlessSame(fd, size, known, changed, bytes);
  });
}

namespace {

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Takes the lock on the directory, waiting while the directory changes and
// at most RewriteLock::kLockPatienceSeconds while it doesn't.
bool WaitForLock(int directory) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kPatience = std::chrono::seconds(RewriteLock::kLockPatienceSeconds);
  struct stat seen {};
  if (fstat(directory, &seen) != 0) return false;
  Clock::time_point give_up = Clock::now() + kPatience;
  std::chrono::milliseconds pause = kFirstPause;
  for (;;) {
    if (flock(directory, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return false;
    struct stat now {};
    if (fstat(directory, &now) != 0) return false;
    if (!SameTime(now.st_mtim, seen.st_mtim) || !SameTime(now.st_ctim, seen.st_ctim)) {
      seen = now;
      give_up = Clock::now() + kPatience;
    } else if (Clock::now() >= give_up) {
      errno = EWOULDBLOCK;
      return false;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, kLongestPause);
  }
}

}  // namespace

bool IsWritable(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && (status.st_mode & S_IWUSR) != 0 &&
         access(path.c_str(), W_OK) == 0;
}

std::string WriteTarget(const std::string& path) {
  std::string target = path;
  char link[PATH_MAX];
  for (int followed = 0; followed < kMostLinks; ++followed) {
    const ssize_t length = readlink(target.c_str(), link, sizeof link);
    // No link (or none that can be followed): the write goes here, and fails
    // here if it must.
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link) return target;
    const std::string next(link, static_cast<std::size_t>(length));
    target = next.front() == '/' ? next : Beside(target, next);
  }
  return target;
}

// The lock is a flock() on the file's directory: the directory stays the same
// object while files in it are replaced by rename, which a lock on the file's
// own inode would not survive, and it leaves no lock file behind. A blocking
// flock() can't be given a time limit, so the lock is asked for without
// blocking, again and again.
RewriteLock::RewriteLock(const std::string& path) {
  fd_ = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0 || WaitForLock(fd_)) return;
  const int error = errno;
  close(fd_);
  fd_ = -1;
  errno = error;
}

RewriteLock::~RewriteLock() {
  // Closing the descriptor releases the lock.
  if (fd_ >= 0) close(fd_);
}

bool ReplaceFile(const std::string& path, const std::string& bytes, mode_t new_file_mode) {
  struct stat old {};
  const bool existed = stat(path.c_str(), &old) == 0;
  const std::string temp = TempPathOf(path);
  // Under the lock no other writer owns the temporary name: anything there
  // is left over from a writer that died.
  unlink(temp.c_str());
  Descriptor file(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                       existed ? S_IRUSR | S_IWUSR : new_file_mode));
  if (file.get() < 0) return false;
  const bool written = WriteAll(file.get(), bytes) &&
                       (!existed || AdoptAttributes(file.get(), old)) && Flush(file.get());
  if (!file.Close() || !written || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return FlushDirectory(DirectoryOf(path));
}

}  // namespace povupdate::backend
