#include "shared/file_access.h"

#include "shared/host_platform.h"
#include "update/digest.h"

#ifdef _WIN32
#include "platform/win32.h"

#include "platform/profile_write_lock.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "platform/linux/atomic_file.h"
#endif

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace povupdate_cli {
namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;
constexpr const char* kNotRegular = "is not a regular file";

// A regular file open for reading.
class RegularFile {
 public:
  RegularFile() = default;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile();

  bool Open(const std::string& path, std::string& problem);
  // The number of bytes read into `buffer`, 0 at the end; false on a failure.
  bool Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem);

  std::uint64_t size() const { return size_; }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int descriptor_ = -1;
#endif
  std::uint64_t size_ = 0;
};

#ifdef _WIN32

bool RegularFile::Open(const std::string& path, std::string& problem) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problem = std::string(kNotRegular) + " but a directory";
    return false;
  }
  handle_ = CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    problem = "can't be read: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
  }
  if (GetFileType(handle_) != FILE_TYPE_DISK) {
    problem = kNotRegular;
    return false;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle_, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool RegularFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  DWORD read = 0;
  if (!ReadFile(handle_, buffer, static_cast<DWORD>(size), &read, nullptr)) {
    problem = "can't be read: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
  }
  got = read;
  return true;
}

RegularFile::~RegularFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

#else

// Opened without waiting, so that a FIFO is found out rather than waited on.
bool RegularFile::Open(const std::string& path, std::string& problem) {
  descriptor_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (descriptor_ < 0 || fstat(descriptor_, &status) != 0) {
    problem = "can't be read: " + SystemMessage(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    problem = std::string(kNotRegular) + (S_ISDIR(status.st_mode) ? " but a directory" : "");
    return false;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  return true;
}

bool RegularFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  ssize_t read_now;
  do {
    read_now = read(descriptor_, buffer, size);
  } while (read_now < 0 && errno == EINTR);
  if (read_now < 0) {
    problem = "can't be read: " + SystemMessage(errno);
    return false;
  }
  got = static_cast<std::size_t>(read_now);
  return true;
}

RegularFile::~RegularFile() {
  if (descriptor_ >= 0) close(descriptor_);
}

#endif

// Hands each chunk of the file to `take`, to its end.
template <typename Take>
bool ReadChunks(RegularFile& file, std::string& problem, Take take) {
  std::vector<char> chunk(kChunkSize);
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(chunk.data(), chunk.size(), got, problem)) return false;
    if (got == 0) return true;
    if (!take(chunk.data(), got)) return false;
  }
}

}  // namespace

namespace {

// The directory that holds `path`, which names a file.
std::filesystem::path DirectoryOf(const std::string& path) {
  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  return directory.empty() ? std::filesystem::path(".") : directory;
}

constexpr const char* kMissingDirectory = "is in a directory that does not exist";
constexpr const char* kLockKept = "stays locked by another writer";

}  // namespace

#ifdef _WIN32

struct EditLocks::Held {
  std::vector<std::unique_ptr<povupdate::ProfileWriteLock>> locks;
};

// A mutex per file, whatever its spelling: two spellings of one file give
// one mutex, which the thread holding it may take again.
bool EditLocks::Take(const std::vector<std::string>& paths, std::string& failed,
                     std::string& problem) {
  std::vector<std::string> sorted(paths);
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  for (const std::string& path : sorted) {
    auto lock = std::make_unique<povupdate::ProfileWriteLock>(path.c_str());
    if (!lock->held()) {
      failed = path;
      problem = kLockKept;
      return false;
    }
    held_->locks.push_back(std::move(lock));
  }
  return true;
}

std::string ReplaceProblem(const std::string& path, bool exists) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (exists && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return "is read-only";
  }
  const DWORD directory = GetFileAttributesA(DirectoryOf(path).string().c_str());
  if (directory == INVALID_FILE_ATTRIBUTES || (directory & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return kMissingDirectory;
  }
  return "";
}

bool ReplaceRegularFile(const std::string& path, const std::string& bytes, std::string& problem) {
  const std::filesystem::path target(path);
  const std::string temp =
      (DirectoryOf(path) / ("." + target.filename().string() + ".povupdate-new")).string();
  const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = "can't be written: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
  }
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const DWORD part = static_cast<DWORD>(std::min(bytes.size() - done, kChunkSize));
    DWORD count = 0;
    written = WriteFile(file, bytes.data() + done, part, &count, nullptr) && count == part;
    done += count;
  }
  written = written && FlushFileBuffers(file);
  written = CloseHandle(file) && written;
  if (!written || !MoveFileExA(temp.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    problem = "can't be replaced: " + SystemMessage(static_cast<int>(GetLastError()));
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

#else

struct EditLocks::Held {
  std::vector<std::unique_ptr<povupdate::backend::RewriteLock>> locks;
};

// A lock per directory, taken in the order of the directories' names: a
// second lock of a directory the process holds would wait for itself.
bool EditLocks::Take(const std::vector<std::string>& paths, std::string& failed,
                     std::string& problem) {
  std::map<std::string, std::pair<std::string, std::string>> by_directory;
  for (const std::string& path : paths) {
    std::string target = povupdate::backend::WriteTarget(path);
    std::error_code error;
    const std::filesystem::path directory =
        std::filesystem::weakly_canonical(DirectoryOf(target), error);
    by_directory.emplace(error ? DirectoryOf(target).string() : directory.string(),
                         std::make_pair(std::move(target), path));
  }
  for (const auto& [directory, file] : by_directory) {
    auto lock = std::make_unique<povupdate::backend::RewriteLock>(file.first);
    if (!lock->held()) {
      failed = file.second;
      problem = errno == ENOENT || errno == ENOTDIR ? kMissingDirectory
                : errno == EWOULDBLOCK ? kLockKept
                                       : "can't be locked: " + SystemMessage(errno);
      return false;
    }
    held_->locks.push_back(std::move(lock));
  }
  return true;
}

std::string ReplaceProblem(const std::string& path, bool exists) {
  const std::string target = povupdate::backend::WriteTarget(path);
  if (exists && !povupdate::backend::IsWritable(target)) return "is read-only";
  if (access(DirectoryOf(target).c_str(), W_OK | X_OK) != 0) {
    return errno == ENOENT || errno == ENOTDIR
               ? kMissingDirectory
               : "is in a directory that can't be written: " + SystemMessage(errno);
  }
  return "";
}

bool ReplaceRegularFile(const std::string& path, const std::string& bytes, std::string& problem) {
  constexpr mode_t kNewFileMode = 0666;
  if (povupdate::backend::ReplaceFile(povupdate::backend::WriteTarget(path), bytes, kNewFileMode)) {
    return true;
  }
  problem = "can't be replaced: " + SystemMessage(errno);
  return false;
}

#endif

EditLocks::EditLocks() : held_(std::make_unique<Held>()) {}
EditLocks::~EditLocks() = default;

bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem) {
  RegularFile file;
  if (!file.Open(path, problem)) return false;
  bytes.clear();
  // Exactly the size, so a file costs its size and no more.
  bytes.reserve(static_cast<std::size_t>(file.size()));
  return ReadChunks(file, problem, [&](const char* data, std::size_t size) {
    bytes.append(data, size);
    return true;
  });
}

bool DigestRegularFile(const std::string& path, std::string& md5, std::uint64_t& size,
                       std::string& problem) {
  std::string sha256;
  return DigestRegularFile(path, md5, sha256, size, problem);
}

bool DigestRegularFile(const std::string& path, std::string& md5, std::string& sha256,
                       std::uint64_t& size, std::string& problem) {
  RegularFile file;
  if (!file.Open(path, problem)) return false;
  Digest md5_digest(DigestKind::kMd5);
  Digest sha256_digest(DigestKind::kSha256);
  size = 0;
  const bool read = ReadChunks(file, problem, [&](const char* data, std::size_t got) {
    size += got;
    md5_digest.Update(data, got);
    sha256_digest.Update(data, got);
    return true;
  });
  if (!read) return false;
  md5 = md5_digest.Finish();
  sha256 = sha256_digest.Finish();
  if (md5.empty() || sha256.empty()) {
    problem = "can't be digested: the system's hash failed";
    return false;
  }
  return true;
}

}  // namespace povupdate_cli
