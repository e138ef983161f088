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

#include "platform/ini_document.h"
#include "platform/linux/atomic_file.h"
#include "platform/linux/file_stamp.h"
#include "platform/linux/profile_call.h"

namespace povupdate::backend {

class ProfileCache {
 public:
  // The time of the clock the file system stamps files with.
  using Clock = timespec (*)();

  // The most bytes the cache holds: files' bytes, their indexes and its own
  // bookkeeping together.
  static constexpr std::size_t kMostBytes = std::size_t{256} << 20;

  // `most_bytes` other than kMostBytes is for tests.
  explicit ProfileCache(Clock clock, std::size_t most_bytes = kMostBytes);
  ProfileCache(const ProfileCache&) = delete;
  ProfileCache& operator=(const ProfileCache&) = delete;

  // The file as it is on disk at the moment of the call.
  ProfileSnapshot Load(const std::string& path);
  // The same, given what stat() or lstat() has just told of it.
  ProfileSnapshot Load(const std::string& path, struct stat status);

  // Keeps the document this process has just written to `path`, so that the
  // next Load needs to compare the file's bytes but not to parse them.
  void Remember(const std::string& path, std::shared_ptr<const IniDocument> document);

 private:
  using Stamp = FileStamp;
  using Trust = StampTrust;
  struct Entry {
    Stamp stamp;
    Trust trust;
    std::shared_ptr<const IniDocument> document;
    std::size_t charge;  // the bytes counted against the bound
    std::uint64_t last_use;
  };

  std::shared_ptr<const IniDocument> Lookup(const std::string& path, const Stamp& current,
                                            bool& trusted);
  void Store(const std::string& path, const Stamp& stamp, Trust trust,
             std::shared_ptr<const IniDocument> document);
  void Forget(const std::string& path);
  // Drops the entries used longest ago, other than `kept`, until `room`
  // more bytes fit within the bound.
  void MakeRoom(std::size_t room, const Entry* kept);
  void Erase(std::unordered_map<std::string, Entry>::iterator entry);

  const Clock clock_;
  const std::size_t most_bytes_;
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
  std::size_t charged_ = 0;  // the sum of the entries' charges
  std::uint64_t uses_ = 0;
};

// The cache every thread of the process shares.
ProfileCache& SharedProfileCache();

}  // namespace povupdate::backend
