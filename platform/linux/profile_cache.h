// The profile files a process reads, parsed once and kept for as long as
// they provably stay the same on disk (see profile_cache.cpp).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/linux/atomic_file.h"
#include "platform/linux/ini_document.h"

namespace povupdate::backend {

struct ProfileSnapshot {
  ReadStatus status = ReadStatus::kFailed;
  std::shared_ptr<const IniDocument> document;  // set when status is kOk
};

class ProfileCache {
 public:
  // The time of the clock the file system stamps files with.
  using Clock = timespec (*)();

  explicit ProfileCache(Clock clock);
  ProfileCache(const ProfileCache&) = delete;
  ProfileCache& operator=(const ProfileCache&) = delete;

  // The file as it is on disk at the moment of the call.
  ProfileSnapshot Load(const std::string& path);

  // Keeps the document this process has just written to `path`, so that the
  // next Load needs to compare the file's bytes but not to parse them.
  void Remember(const std::string& path, std::shared_ptr<const IniDocument> document);

 private:
  // What stat() tells of a file that changes whenever its contents do.
  struct Stamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    timespec changed;
    bool operator==(const Stamp& other) const;
  };
  struct Entry {
    Stamp stamp;
    // Whether the stamp alone proves the document current while it lasts.
    bool trusted;
    std::shared_ptr<const IniDocument> document;
    std::uint64_t last_use;
  };

  static Stamp StampOf(const struct stat& status);
  std::shared_ptr<const IniDocument> Lookup(const std::string& path, const Stamp& current,
                                            bool& trusted);
  void Store(const std::string& path, const Stamp& stamp, bool trusted,
             std::shared_ptr<const IniDocument> document);
  void Forget(const std::string& path);

  static constexpr std::size_t kCapacity = 16;

  const Clock clock_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
  std::uint64_t uses_ = 0;
};

// The cache every thread of the process shares.
ProfileCache& SharedProfileCache();

}  // namespace povupdate::backend
