// The registry: one store file per root key, in the directory named by
// POVUPDATE_REGISTRY_DIR or else $XDG_CONFIG_HOME/povupdate/registry (under
// raised rights, in the effective user's home alone). A call reads the store
// as it is on disk (an export's calls share one reading, registry_call.h),
// and every change is a locked read-edit-replace of the whole file, so
// several processes share a store without losing each other's changes and a
// crash never leaves half of one.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "platform/linux/atomic_file.h"
#include "platform/linux/registry_call.h"
#include "platform/linux/registry_file.h"
#include "platform/linux/registry_service.h"
#include "platform/linux/win32_api.h"
#include "platform/text.h"

namespace povupdate::backend {
namespace {

// The rights a handle can hold that the store tells apart.
constexpr DWORD kHandleRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
// Rights that change the key (DELETE, WRITE_DAC and WRITE_OWNER too): a
// read-only store refuses them.
constexpr DWORD kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0xD0000u;

const char* StoreName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  if (root == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
  return nullptr;
}

// Opened keys by handle value. Handles are small numbers rather than
// pointers, so a stale or made-up handle is refused, never followed.
class HandleTable {
 public:
  HKEY Add(KeyRef key) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (keys_.count(next_) != 0) Advance();
    const std::uintptr_t handle = next_;
    keys_.emplace(handle, std::move(key));
    Advance();
    // A handle is a number, as on Windows, never dereferenced.
    return reinterpret_cast<HKEY>(handle);
  }

  bool Get(HKEY handle, KeyRef& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = keys_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == keys_.end()) return false;
    key = found->second;
    return true;
  }

  bool Remove(HKEY handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  }

 private:
  static constexpr std::uintptr_t kFirst = 0x1000;
  // Below the predefined roots' values.
  static constexpr std::uintptr_t kLimit = 0x80000000u;

  void Advance() { next_ = next_ + 4 < kLimit ? next_ + 4 : kFirst; }

  std::mutex mutex_;
  std::map<std::uintptr_t, KeyRef> keys_;
  std::uintptr_t next_ = kFirst;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

LSTATUS StoreFile(HKEY root, std::string& file) {
  return RegistryStoreFile(StoreName(root), file) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

}  // namespace

LSTATUS Rewrite(const std::string& file, const StoreEdit& edit) {
  OwnRegistryCall call;
  return call.get().Change(file, false, edit);
}

namespace {

// The key `sub_key` names below a handle's key: trailing backslashes don't
// count, a leading or doubled one is malformed, and so is a path beyond the
// limits of key names and depth.
LSTATUS JoinPath(const std::string& base, LPCSTR sub_key, std::string& path) {
  std::string sub = sub_key == nullptr ? std::string() : std::string(sub_key);
  if (!sub.empty() && sub.front() == '\\') return ERROR_BAD_PATHNAME;
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  path = base;
  if (!path.empty() && !sub.empty()) path += '\\';
  path += sub;
  return IsValidKeyPath(path) ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
}

LSTATUS Resolve(HKEY handle, KeyRef& key) {
  if (StoreName(handle) != nullptr) {
    key = KeyRef{handle, std::string(), kHandleRights};
    return ERROR_SUCCESS;
  }
  return Handles().Get(handle, key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace

LSTATUS Locate(HKEY handle, LPCSTR sub_key, Target& target) {
  LSTATUS status = Resolve(handle, target.base);
  if (status == ERROR_SUCCESS) status = JoinPath(target.base.path, sub_key, target.path);
  if (status == ERROR_SUCCESS) status = StoreFile(target.base.root, target.file);
  return status;
}

namespace {

// The call's view of the target's store; the handle's own key must still
// exist.
LSTATUS LoadTarget(const Target& target, RegistryCall& call, const RegistryTree*& tree) {
  const LSTATUS status = call.View(target.file, tree);
  if (status != ERROR_SUCCESS) return status;
  return tree->Find(target.base.path) == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LSTATUS OpenHandle(const Target& target, DWORD rights, PHKEY result) {
  *result = Handles().Add(KeyRef{target.base.root, target.path, rights});
  return ERROR_SUCCESS;
}

LSTATUS OpenKey(HKEY root, LPCSTR sub_key, REGSAM access, PHKEY result) {
  OwnRegistryCall call;
  Target target;
  const RegistryTree* tree = nullptr;
  LSTATUS status = Locate(root, sub_key, target);
  if (status == ERROR_SUCCESS) status = LoadTarget(target, call.get(), tree);
  if (status != ERROR_SUCCESS) return status;
  if (tree->Find(target.path) == nullptr) return ERROR_FILE_NOT_FOUND;
  if ((access & kWriteRights) != 0 && IsReadOnly(target.file)) return ERROR_ACCESS_DENIED;
  return OpenHandle(target, access & kHandleRights, result);
}

// Opens with every right the store allows, creating the key first if needed.
// A key an export call creates is written with the call's value.
LSTATUS CreateKey(HKEY root, LPCSTR sub_key, PHKEY result) {
  OwnRegistryCall call;
  Target target;
  const RegistryTree* tree = nullptr;
  LSTATUS status = Locate(root, sub_key, target);
  // Read under the lock when it can be had, as a change may follow; a store
  // that can't be locked may still hold the key.
  if (status == ERROR_SUCCESS) call.get().Lock(target.file);
  if (status == ERROR_SUCCESS) status = LoadTarget(target, call.get(), tree);
  if (status != ERROR_SUCCESS) return status;
  if (tree->Find(target.path) == nullptr) {
    if ((target.base.rights & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
    status = call.get().Change(target.file, true, [&target](RegistryTree& current, bool& changed) {
      if (current.Find(target.base.path) == nullptr) return ERROR_KEY_DELETED;
      changed = current.Find(target.path) == nullptr;
      current.Create(target.path);
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
  }
  return OpenHandle(target, IsReadOnly(target.file) ? KEY_QUERY_VALUE : kHandleRights, result);
}

LSTATUS QueryValue(HKEY handle, LPCSTR value_name, LPDWORD type, LPBYTE data, LPDWORD size) {
  OwnRegistryCall call;
  Target target;
  const RegistryTree* tree = nullptr;
  LSTATUS status = Locate(handle, nullptr, target);
  if (status != ERROR_SUCCESS) return status;
  if ((target.base.rights & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  status = LoadTarget(target, call.get(), tree);
  if (status != ERROR_SUCCESS) return status;
  const RegistryKey* key = tree->Find(target.path);
  const auto found = key->values.find(FoldAsciiCase(value_name == nullptr ? "" : value_name));
  if (found == key->values.end()) return ERROR_FILE_NOT_FOUND;
  const std::string& bytes = found->second.data;
  if (type != nullptr) *type = found->second.type;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD capacity = *size;
  *size = static_cast<DWORD>(bytes.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (capacity < bytes.size()) return ERROR_MORE_DATA;
  bytes.copy(reinterpret_cast<char*>(data), bytes.size());
  return ERROR_SUCCESS;
}

LSTATUS SetValue(HKEY handle, LPCSTR value_name, DWORD type, const BYTE* data, DWORD size) {
  Target target;
  const LSTATUS status = Locate(handle, nullptr, target);
  if (status != ERROR_SUCCESS) return status;
  if ((target.base.rights & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const std::string name = value_name == nullptr ? std::string() : std::string(value_name);
  if (!IsValidValueName(name)) return ERROR_INVALID_PARAMETER;
  const std::string bytes =
      data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
  return Rewrite(target.file, [&](RegistryTree& tree, bool& changed) {
    RegistryKey* key = tree.Find(target.path);
    if (key == nullptr) return ERROR_KEY_DELETED;
    // An existing value keeps the spelling of its name.
    RegistryValue& value =
        key->values.try_emplace(FoldAsciiCase(name), RegistryValue{name, 0, {}}).first->second;
    value.type = type;
    value.data = bytes;
    changed = true;
    return ERROR_SUCCESS;
  });
}

}  // namespace
}  // namespace povupdate::backend

namespace backend = povupdate::backend;

LSTATUS RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return backend::Guarded([&] { return backend::OpenKey(root, subKey, access, result); });
}

LSTATUS RegCreateKeyA(HKEY root, LPCSTR subKey, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return backend::Guarded([&] { return backend::CreateKey(root, subKey, result); });
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
  if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
  return backend::Guarded([&] { return backend::QueryValue(key, valueName, type, data, size); });
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD size) {
  if (data == nullptr && size != 0) return ERROR_NOACCESS;
  return backend::Guarded([&] { return backend::SetValue(key, valueName, type, data, size); });
}

LSTATUS RegCloseKey(HKEY key) {
  if (backend::StoreName(key) != nullptr) return ERROR_SUCCESS;
  return backend::Guarded(
      [&] { return backend::Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; });
}
