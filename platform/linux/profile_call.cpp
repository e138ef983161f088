#include "platform/linux/profile_call.h"

#include <cstring>
#include <utility>

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

}  // namespace povupdate::backend
