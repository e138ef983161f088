// The library's one access to the registry. A registry path is a text whose
// first character is a root digit (1 classes root, 2 current user, 3 local
// machine, 4 users, 5 current config) and whose remainder is the subkey, for
// example "3SOFTWARE\DravuPovUpdate". No operation keeps a handle open past
// its return.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#ifndef _WIN32
#include "platform/linux/registry_call.h"
#endif

namespace povupdate {

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // The predefined root key for a root digit, or null for any other character.
  static HKEY RootKeyFromDigit(char digit);

  // Reads a value. The value name "NULL" stands for the key's default value.
  // With type 0, size 0 and data null it probes: `data` receives a new block
  // of the stored size (the caller owns it) and is then filled. Otherwise
  // the value is read into `data` of `size` bytes. `type` and `size` receive
  // the stored type and byte count. Returns 0, 21, 22, 40 or 44.
  int QueryRegValue(const char* path, const char* value_name, DWORD& type, DWORD& size,
                    BYTE*& data) const;

  // Writes `size` bytes of `data` as a value of an existing key. Type 0 takes
  // over the type (and byte count) of the value already stored. Returns 0,
  // 21, 22 or 24 (the registry refused the value).
  int SetRegValue(const char* path, const char* value_name, DWORD& type, DWORD& size,
                  const BYTE* data) const;

  // Makes sure the key and the keys above it exist. Returns 0, 22 or 23.
  int CreateRegKey(const char* path) const;

#ifndef _WIN32
 private:
  // An export makes one RegistryStore for its call: the Linux service reads
  // the store once for all of the call's registry functions and writes it
  // once. Windows' own registry has no such scope.
  backend::RegistryCall call_;
#endif
};

}  // namespace povupdate
