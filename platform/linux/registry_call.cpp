#include "platform/linux/registry_call.h"

#include "platform/linux/file_stamp.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <mutex>
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

// The store read last in this process, parsed, while its stamp proves it
// the file on disk (file_stamp.h): a settled store costs a call one stat().
// A process works in one store; another read takes its place.
class StoreMemo {
 public:
  bool Recall(const std::string& file, const FileStamp& stamp,
              std::shared_ptr<StoreSnapshot>& store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file != file_ || !(stamp == stamp_) || !trust_.Holds(CoarseRealtime())) return false;
    store = store_;
    return true;
  }

  void Keep(const std::string& file, const struct stat& status, const StampTrust& trust,
            std::shared_ptr<StoreSnapshot> store) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = file;
    stamp_ = FileStamp::Of(status);
    trust_ = trust;
    store_ = std::move(store);
  }

  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    file_.clear();
  }

 private:
  std::mutex mutex_;
  std::string file_;  // "" while nothing is kept
  FileStamp stamp_{};
  StampTrust trust_{};
  // Never changed once kept: calls share it, and a change copies it first.
  std::shared_ptr<StoreSnapshot> store_;
};

StoreMemo& Memo() {
  static StoreMemo memo;
  return memo;
}

// The store's file as it is on disk, parsed, in `store`; `status` tells
// whether it is a store, and `shared` whether the memo holds `store` too. A
// file that isn't kept is read.
ReadStatus Fetch(const std::string& file, std::shared_ptr<StoreSnapshot>& store, bool& shared,
                 LSTATUS& status) {
  struct stat info {};
  if (stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      Memo().Recall(file, FileStamp::Of(info), store)) {
    shared = true;
    status = ERROR_SUCCESS;
    return ReadStatus::kOk;
  }
  const timespec started = CoarseRealtime();
  auto read_store = std::make_shared<StoreSnapshot>();
  const ReadStatus read = ReadWholeFile(file, read_store->bytes, info);
  reads += read == ReadStatus::kOk;
  status = Parse(read, read_store->bytes, read_store->tree);
  shared = read == ReadStatus::kOk && status == ERROR_SUCCESS;
  if (shared) Memo().Keep(file, info, StampTrust::For(file, info, started), read_store);
  store = std::move(read_store);
  return read;
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

LSTATUS RegistryCall::View(const std::string& file, const RegistryTree*& tree) {
  if (file != file_) Read(file);
  tree = &store_->tree;
  return status_;
}

void RegistryCall::Read(const std::string& file) {
  End();
  read_ = Fetch(file, store_, shared_, status_);
  file_ = file;
}

StoreSnapshot& RegistryCall::Own() {
  if (shared_) {
    store_ = std::make_shared<StoreSnapshot>(*store_);
    shared_ = false;
  }
  return *store_;
}

LSTATUS RegistryCall::Lock(const std::string& file) {
  if (file == file_ && lock_ != nullptr) return ERROR_SUCCESS;
  if (file != file_) End();
  if (!MakeDirectories(file.substr(0, file.rfind('/')))) return ERROR_ACCESS_DENIED;
  std::string target = WriteTarget(file);
  auto lock = std::make_unique<RewriteLock>(target);
  if (!lock->held()) return ERROR_ACCESS_DENIED;
  // Read again under the lock: what the call read before may have changed.
  read_ = Fetch(target, store_, shared_, status_);
  file_ = file;
  target_ = std::move(target);
  lock_ = std::move(lock);
  return ERROR_SUCCESS;
}

// A failed write is reported as a refusal, as the system's registry reports
// a change it can't make.
LSTATUS RegistryCall::Write() {
  pending_ = false;
  StoreSnapshot& store = Own();
  std::string bytes = SerializeRegistryFile(store.tree);
  // Until it has settled, the file written is read again.
  Memo().Forget();
  if (!ReplaceFile(target_, bytes, 0600)) {
    status_ = Parse(read_, store.bytes, store.tree);
    return ERROR_ACCESS_DENIED;
  }
  ++writes;
  read_ = ReadStatus::kOk;
  store.bytes = std::move(bytes);
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
