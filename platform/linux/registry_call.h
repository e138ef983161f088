// One exported call's view of the registry store it works in. While a call
// lasts, its registry functions see the store as the call's first one read
// it, together with the call's own changes: the store is read and parsed at
// most once per call, and written at most once. A key the call creates is
// written with the call's next value, or when the call ends; from its first
// change the call holds the store's lock, so that nothing written meanwhile
// is lost. The store read last stays parsed for later calls while its stamp
// proves it unchanged (file_stamp.h), so a settled store costs a call a
// stat(). RegistryStore opens one for each export call; each thread has its
// own. A registry function called outside any call opens one of its own.
#pragma once

#include <memory>
#include <string>

#include "platform/linux/atomic_file.h"
#include "platform/linux/registry_file.h"
#include "platform/linux/win32_api.h"

namespace povupdate::backend {

// The owner's write bit decides, not access(), so a read-only store stays
// read-only for root too.
bool IsReadOnly(const std::string& file);

// A store file's bytes and the keys parsed from them.
struct StoreSnapshot {
  std::string bytes;
  RegistryTree tree;
};

class RegistryCall {
 public:
  // Becomes the thread's open call until it ends; one opened meanwhile has
  // a view of its own.
  RegistryCall();
  // Writes a change still pending; nobody is left to hear of a failure.
  ~RegistryCall();
  RegistryCall(const RegistryCall&) = delete;
  RegistryCall& operator=(const RegistryCall&) = delete;

  // The thread's innermost open call, or null outside any.
  static RegistryCall* Current();

  // The store file's keys as the call sees them, read on the call's first
  // look. A call works in one store; looking at another ends the view of
  // the first, writing its pending change. Returns the read's outcome: a
  // missing store holds the bare root key, a damaged one is ERROR_BADDB.
  LSTATUS View(const std::string& file, const RegistryTree*& tree);

  // Takes the store's lock for the rest of the call, before the call reads
  // the store, if it hasn't yet: a store the call has read already is read
  // again unless its stamp proves it unchanged. A call that may change the
  // store takes it first.
  LSTATUS Lock(const std::string& file);

  // Applies `edit(tree, changed)` to the store under its lock, as it is on
  // disk then, and writes the result when `changed`, or leaves it pending
  // when `later` (outside an export call's view, a change is never left).
  template <typename Edit>
  LSTATUS Change(const std::string& file, bool later, Edit edit);

 private:
  // Writes the pending change; on failure the view is the store on disk.
  LSTATUS Write();
  void Read(const std::string& file);
  // The store for a change: the call's own copy.
  StoreSnapshot& Own();
  void End();

  RegistryCall* const outer_;
  bool own_ = false;  // opened by a registry function for itself
  std::string file_;  // "" while the call has no view
  ReadStatus read_ = ReadStatus::kMissing;
  // The store's file as read or written, and its keys; while `shared_`, the
  // process's memo of a settled store holds them too, and a change works on
  // a copy of them.
  std::shared_ptr<StoreSnapshot> store_;
  bool shared_ = false;
  LSTATUS status_ = ERROR_SUCCESS;
  std::string target_;  // the file a write replaces, once locked
  std::unique_ptr<RewriteLock> lock_;
  bool pending_ = false;

  friend class OwnRegistryCall;
};

// The export's call, or else one of the registry function's own.
class OwnRegistryCall {
 public:
  OwnRegistryCall();
  RegistryCall& get() { return *call_; }

 private:
  std::unique_ptr<RegistryCall> own_;
  RegistryCall* call_;
};

#ifdef POVUPDATE_FAULT_INJECTION
// Test seam: how often this process has read and written store files.
struct StoreAccess {
  int reads;
  int writes;
};
StoreAccess CountStoreAccess() noexcept;
#endif

template <typename Edit>
LSTATUS RegistryCall::Change(const std::string& file, bool later, Edit edit) {
  if (IsReadOnly(file)) return ERROR_ACCESS_DENIED;
  LSTATUS status = Lock(file);
  if (status != ERROR_SUCCESS) return status;
  if (status_ != ERROR_SUCCESS) return status_;
  bool changed = false;
  status = edit(Own().tree, changed);
  if (status != ERROR_SUCCESS || !changed) return status;
  pending_ = true;
  if (later && !own_) return ERROR_SUCCESS;
  return Write();
}

}  // namespace povupdate::backend
