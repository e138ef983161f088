#include "platform/linux/registry_call.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <utility>

namespace povupdate::backend {
namespace {

thread_local RegistryCall* current_call = nullptr;

// Store files found and read, and written, for the test seam.
std::atomic<int> reads{0};
std::atomic<int> writes{0};

// The directory and every missing one above it, owner-only.
bool MakeDirectories(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1); slash != std::string::npos;
       slash = directory.find('/', slash + 1)) {
    if (mkdir(directory.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

LSTATUS Parse(ReadStatus read, const std::string& bytes, RegistryTree& tree) {
  switch (read) {
    case ReadStatus::kMissing:
      // A store not yet written holds the bare root key.
      tree = RegistryTree();
      return ERROR_SUCCESS;
    case ReadStatus::kFailed:
      return ERROR_ACCESS_DENIED;
    case ReadStatus::kOk:
      break;
  }
  std::optional<RegistryTree> parsed = ParseRegistryFile(bytes);
  if (!parsed) return ERROR_BADDB;
  tree = std::move(*parsed);
  return ERROR_SUCCESS;
}

}  // namespace

bool IsReadOnly(const std::string& file) {
  struct stat info {};
  return stat(file.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

RegistryCall::RegistryCall() : outer_(current_call) { current_call = this; }

RegistryCall::~RegistryCall() {
  End();
  current_call = outer_;
}

RegistryCall* RegistryCall::Current() { return current_call; }

OwnRegistryCall::OwnRegistryCall() : call_(RegistryCall::Current()) {
  if (call_ != nullptr) return;
  own_ = std::make_unique<RegistryCall>();
  own_->own_ = true;
  call_ = own_.get();
}

LSTATUS RegistryCall::View(const std::string& file, RegistryTree*& tree) {
  if (file != file_) Read(file);
  tree = &tree_;
  return status_;
}

void RegistryCall::Read(const std::string& file) {
  End();
  read_ = ReadWholeFile(file, bytes_);
  reads += read_ == ReadStatus::kOk;
  file_ = file;
  status_ = Parse(read_, bytes_, tree_);
}

LSTATUS RegistryCall::Lock(const std::string& file) {
  if (file == file_ && lock_ != nullptr) return ERROR_SUCCESS;
  if (file != file_) End();
  if (!MakeDirectories(file.substr(0, file.rfind('/')))) return ERROR_ACCESS_DENIED;
  std::string target = WriteTarget(file);
  auto lock = std::make_unique<RewriteLock>(target);
  if (!lock->held()) return ERROR_ACCESS_DENIED;
  // A store the call has read already is compared, not parsed, unless
  // another process wrote it since.
  std::string bytes;
  struct stat status {};
  bool changed = true;
  const ReadStatus read = file == file_ && read_ == ReadStatus::kOk
                              ? RereadWholeFile(target, bytes_, changed, bytes, status)
                              : ReadWholeFile(target, bytes, status);
  reads += read == ReadStatus::kOk;
  if (file != file_ || read != read_ || changed) {
    file_ = file;
    read_ = read;
    bytes_ = std::move(bytes);
    status_ = Parse(read_, bytes_, tree_);
  }
  target_ = std::move(target);
  lock_ = std::move(lock);
  return ERROR_SUCCESS;
}

// A failed write is reported as a refusal, as the system's registry reports
// a change it can't make.
LSTATUS RegistryCall::Write() {
  pending_ = false;
  std::string bytes = SerializeRegistryFile(tree_);
  if (!ReplaceFile(target_, bytes, 0600)) {
    status_ = Parse(read_, bytes_, tree_);
    return ERROR_ACCESS_DENIED;
  }
  ++writes;
  read_ = ReadStatus::kOk;
  bytes_ = std::move(bytes);
  return ERROR_SUCCESS;
}

void RegistryCall::End() {
  try {
    if (pending_) Write();
  } catch (...) {
    // Short of memory for the file's text: the change is lost, as a crash
    // would lose it.
    pending_ = false;
  }
  lock_.reset();
  target_.clear();
  file_.clear();
}

#ifdef POVUPDATE_FAULT_INJECTION
StoreAccess CountStoreAccess() noexcept { return StoreAccess{reads.load(), writes.load()}; }
#endif

}  // namespace povupdate::backend
