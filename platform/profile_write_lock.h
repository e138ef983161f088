// Keeps the writes of one profile file by several processes from
// overlapping. Windows' profile service (and Wine's) rewrites a file whole
// from the copy it read, which may be older than another process's write:
// two processes writing at once lose one of the writes. The Linux backend
// locks each rewrite of a file itself, so there this lock has nothing to do.
#pragma once

#include "platform/win32.h"

namespace povupdate {

class ProfileWriteLock {
 public:
  // How long a write waits for the writes of other processes before it
  // fails, as the Linux backend's lock waits.
  static constexpr DWORD kPatienceMilliseconds = 5000;

  // Waits for the lock of the file at `path`, however the path is spelt.
#ifdef _WIN32
  explicit ProfileWriteLock(const char* path);
  ~ProfileWriteLock();
#else
  explicit ProfileWriteLock(const char* /*path*/) {}
#endif
  ProfileWriteLock(const ProfileWriteLock&) = delete;
  ProfileWriteLock& operator=(const ProfileWriteLock&) = delete;

  // False when the lock couldn't be had: the write must not go ahead.
  bool held() const { return held_; }

 private:
#ifdef _WIN32
  HANDLE mutex_ = nullptr;
  bool held_ = false;
#else
  bool held_ = true;
#endif
};

}  // namespace povupdate
