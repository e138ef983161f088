#include "platform/linux/profile_call.h"

#include <sys/stat.h>

#include <cerrno>

#include <cstring>
#include <utility>

#include "platform/linux/profile_cache.h"
#include "platform/profile_document.h"

namespace povupdate::backend {
namespace {

thread_local ProfileCall* current_call = nullptr;

}  // namespace

ProfileCall::ProfileCall() : outer_(current_call), path_{} { current_call = this; }

ProfileCall::~ProfileCall() { current_call = outer_; }

ProfileCall* ProfileCall::Current() { return current_call; }

const ProfileSnapshot* ProfileCall::Find(const char* path) const {
  return path_[0] != '\0' && std::strcmp(path_, path) == 0 ? &file_ : nullptr;
}

void ProfileCall::Keep(const char* path, ProfileSnapshot file) {
  const std::size_t length = std::strlen(path);
  if (length >= kPathSize) {
    path_[0] = '\0';
    file_ = ProfileSnapshot();
    return;
  }
  std::memcpy(path_, path, length + 1);
  file_ = std::move(file);
}

ProfileSnapshot CallSnapshot(const char* path) {
  ProfileCall* const call = ProfileCall::Current();
  if (call == nullptr) return SharedProfileCache().Load(path);
  if (const ProfileSnapshot* kept = call->Find(path)) return *kept;
  ProfileSnapshot file = SharedProfileCache().Load(path);
  call->Keep(path, file);
  return file;
}

namespace {

FileStatus StatusOf(const ProfileSnapshot& file, std::shared_ptr<const IniDocument>& document) {
  document = file.document;
  if (file.status == ReadStatus::kOk) return FileStatus::kOk;
  return file.status == ReadStatus::kMissing ? FileStatus::kMissing : FileStatus::kFailed;
}

}  // namespace

FileStatus LoadProfileDocument(const char* path, std::shared_ptr<const IniDocument>& document) {
  return StatusOf(CallSnapshot(path), document);
}

// Read through the cache like any profile file, so that a settled key file
// costs an lstat() and no read.
FileStatus LoadKeyFile(const char* path, std::shared_ptr<const IniDocument>& document) {
  struct stat status {};
  if (lstat(path, &status) != 0)
    return errno == ENOENT ? FileStatus::kMissing : FileStatus::kFailed;
  // A regular file's lstat() is its stat(): a link is followed by a stat() of its own.
  const FileStatus loaded =
      StatusOf(S_ISREG(status.st_mode) ? SharedProfileCache().Load(path, status)
                                       : SharedProfileCache().Load(path),
               document);
  return loaded == FileStatus::kOk ? loaded : FileStatus::kFailed;
}

}  // namespace povupdate::backend
