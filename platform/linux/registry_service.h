// The steps every registry call of the backend is made of: what a handle and
// a subkey name, and a locked edit of the store that holds it. The Reg
// functions of win32_api.h are built on them, and so can a service the
// library itself never calls.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/registry_file.h"
#include "platform/linux/win32_api.h"

namespace povupdate::backend {

// A key as a handle names it: the root whose store holds it, its path below
// the root and the rights the handle was opened with.
struct KeyRef {
  HKEY root = nullptr;
  std::string path;
  DWORD rights = 0;
};

// What a call names: the handle's key, the key below it that `sub_key`
// names, and their store file.
struct Target {
  KeyRef base;
  std::string path;
  std::string file;
};

LSTATUS Locate(HKEY handle, LPCSTR sub_key, Target& target);

// Applies `edit(tree, changed)` to the store as it is under its lock and
// writes the result back when `changed` (RegistryCall::Change). A damaged or read-only store is
// never written; a store that is a symbolic link is written through it. A
// failed write is reported as a refusal, as the system's registry reports a
// change it can't make.
using StoreEdit = std::function<LSTATUS(RegistryTree& tree, bool& changed)>;
LSTATUS Rewrite(const std::string& file, const StoreEdit& edit);

// Runs a call's body; anything it throws (std::bad_alloc, or a
// std::length_error or std::system_error, as short of resources) becomes a
// result code.
template <typename Body>
LSTATUS Guarded(Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace povupdate::backend
