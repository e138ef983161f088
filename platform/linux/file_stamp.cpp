#include "platform/linux/file_stamp.h"

#include <linux/magic.h>
#include <sys/vfs.h>

namespace povupdate::backend {
namespace {

constexpr long kNanosecondsPerSecond = 1000000000;
constexpr timespec kFineMargin{0, 100000000};
constexpr timespec kCoarseMargin{3, 0};

bool Earlier(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec Sum(const timespec& a, const timespec& b) {
  timespec sum{a.tv_sec + b.tv_sec, a.tv_nsec + b.tv_nsec};
  if (sum.tv_nsec >= kNanosecondsPerSecond) {
    ++sum.tv_sec;
    sum.tv_nsec -= kNanosecondsPerSecond;
  }
  return sum;
}

bool KeepsFineStamps(const std::string& path, const struct stat& status) {
  if (status.st_ctim.tv_nsec == 0) return false;
  struct statfs file_system {};
  if (statfs(path.c_str(), &file_system) != 0) return false;
  switch (file_system.f_type) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
      return true;
    default:
      return false;
  }
}

timespec Difference(const timespec& a, const timespec& b) {
  timespec difference{a.tv_sec - b.tv_sec, a.tv_nsec - b.tv_nsec};
  if (difference.tv_nsec < 0) {
    --difference.tv_sec;
    difference.tv_nsec += kNanosecondsPerSecond;
  }
  return difference;
}

}  // namespace

FileStamp FileStamp::Of(const struct stat& status) {
  return FileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool FileStamp::operator==(const FileStamp& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
         changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

StampTrust StampTrust::For(const std::string& path, const struct stat& status,
                           const timespec& started) {
  const timespec margin = KeepsFineStamps(path, status) ? kFineMargin : kCoarseMargin;
  if (!Earlier(started, Sum(status.st_ctim, margin))) return StampTrust{true, timespec{}};
  // A ctime ahead of the clock (the clock was set back after the change):
  // a change made while the clock is still a margin short of it gets an
  // earlier ctime, so until then the stamps tell. Otherwise the moment lies
  // in the past and nothing is trusted.
  return StampTrust{false, Difference(status.st_ctim, margin)};
}

bool StampTrust::Holds(const timespec& now) const { return settled || Earlier(now, until); }

timespec CoarseRealtime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

}  // namespace povupdate::backend
