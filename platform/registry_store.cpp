#include "platform/registry_store.h"

#include <cstring>

#include "interface/povupdate.h"
#include "platform/allocator.h"

namespace povupdate {
namespace {

// Opens the subkey of a registry path; null when it can't be opened.
HKEY OpenKey(HKEY root, const char* path, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path + 1, 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

void CloseKeys(HKEY key, HKEY root) {
  RegCloseKey(key);
  RegCloseKey(root);
}

}  // namespace

HKEY RegistryStore::RootKeyFromDigit(char digit) {
  switch (digit) {
    case '1':
      return HKEY_CLASSES_ROOT;
    case '2':
      return HKEY_CURRENT_USER;
    case '3':
      return HKEY_LOCAL_MACHINE;
    case '4':
      return HKEY_USERS;
    case '5':
      return HKEY_CURRENT_CONFIG;
    default:
      return nullptr;
  }
}

int RegistryStore::QueryRegValue(const char* path, const char* value_name, DWORD& type, DWORD& size,
                                 BYTE*& data) const {
  HKEY root = RootKeyFromDigit(path[0]);
  if (root == nullptr) return POVUPDATE_BAD_REGISTRY_PATH;
  // Reading needs no more than the right to query: a host without write
  // rights can still read its settings.
  HKEY key = OpenKey(root, path, KEY_QUERY_VALUE);
  if (key == nullptr) return POVUPDATE_KEY_UNAVAILABLE;
  const char* name = std::strcmp(value_name, "NULL") == 0 ? nullptr : value_name;
  int result = POVUPDATE_OK;
  if (size == 0 && data == nullptr && type == 0) {
    RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    data = static_cast<BYTE*>(AllocateBlock(size));
    if (data == nullptr) result = POVUPDATE_NO_PROBE_BLOCK;
  }
  if (result == POVUPDATE_OK &&
      RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS) {
    result = POVUPDATE_VALUE_UNREADABLE;
  }
  CloseKeys(key, root);
  return result;
}

int RegistryStore::SetRegValue(const char* path, const char* value_name, DWORD& type, DWORD& size,
                               const BYTE* data) const {
  HKEY root = RootKeyFromDigit(path[0]);
  if (root == nullptr) return POVUPDATE_BAD_REGISTRY_PATH;
  HKEY key = OpenKey(root, path, KEY_ALL_ACCESS);
  if (key == nullptr) return POVUPDATE_KEY_UNAVAILABLE;
  if (type == 0) {
    // Take over the stored type, and write no more bytes than the stored
    // value holds nor than the caller gave.
    DWORD stored_size = 0;
    RegQueryValueExA(key, value_name, nullptr, &type, nullptr, &stored_size);
    if (stored_size < size) size = stored_size;
  }
  const LSTATUS status = RegSetValueExA(key, value_name, 0, type, data, size);
  CloseKeys(key, root);
  return status == ERROR_SUCCESS ? POVUPDATE_OK : POVUPDATE_VALUE_REFUSED;
}

int RegistryStore::CreateRegKey(const char* path) const {
  HKEY root = RootKeyFromDigit(path[0]);
  if (root == nullptr) return POVUPDATE_BAD_REGISTRY_ROOT;
  HKEY key = nullptr;
  if (RegCreateKeyA(root, path + 1, &key) != ERROR_SUCCESS) return POVUPDATE_KEY_UNAVAILABLE;
  CloseKeys(key, root);
  return POVUPDATE_OK;
}

}  // namespace povupdate
