// When what stat() tells of a file proves that a parse of it kept from an
// earlier read is still the file on disk: the rule and its limits are
// explained in profile_cache.cpp. The profile cache and the registry's
// store follow it alike.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <string>

namespace povupdate::backend {

// What stat() tells of a file that changes whenever its contents do.
struct FileStamp {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified;
  timespec changed;

  static FileStamp Of(const struct stat& status);
  bool operator==(const FileStamp& other) const;
};

// When the stamp alone proves a parse current.
struct StampTrust {
  bool settled;    // for as long as the stamp lasts
  timespec until;  // otherwise, before this moment only

  // The trust of a file read with `status` (from after the read), the read
  // having begun at `started` on CoarseRealtime's clock.
  static StampTrust For(const std::string& path, const struct stat& status,
                        const timespec& started);
  bool Holds(const timespec& now) const;
};

// The clock the kernel stamps files with.
timespec CoarseRealtime();

}  // namespace povupdate::backend
