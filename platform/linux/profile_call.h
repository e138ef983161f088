// One exported call's view of the profile files it reads. While a call
// lasts, every lookup in a file sees the version that the call's first
// lookup found: the file is checked and read at most once per call, and no
// record a call delivers mixes two versions of the file, however often it is
// replaced meanwhile. ProfileFile opens one for each export call, which makes
// one ProfileFile; each thread has its own.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/linux/atomic_file.h"

namespace povupdate::backend {

class IniDocument;

struct ProfileSnapshot {
  ReadStatus status = ReadStatus::kFailed;
  std::shared_ptr<const IniDocument> document;  // set when status is kOk
};

class ProfileCall {
 public:
  // Becomes the thread's open call until it ends; one opened meanwhile has
  // a view of its own.
  ProfileCall();
  ~ProfileCall();
  ProfileCall(const ProfileCall&) = delete;
  ProfileCall& operator=(const ProfileCall&) = delete;

  // The thread's innermost open call, or null outside any.
  static ProfileCall* Current();

  // What the call has found of the file at `path`, or null when it hasn't
  // looked at it yet.
  const ProfileSnapshot* Find(const char* path) const;
  // Makes `file` the call's view of the file at `path`. A call works on one
  // file, so it keeps one; a path too long to keep is looked up anew.
  void Keep(const char* path, ProfileSnapshot file);

 private:
  // The longest path an export builds, and its NUL.
  static constexpr std::size_t kPathSize = 260;

  ProfileCall* const outer_;
  char path_[kPathSize];  // "" while nothing is kept
  ProfileSnapshot file_;
};

// The file at `path` as the thread's open call sees it: the version its
// first lookup found; outside a call, the file as it is now.
ProfileSnapshot CallSnapshot(const char* path);

}  // namespace povupdate::backend
