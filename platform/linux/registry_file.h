// The registry store's file: one root key's keys and values as text that a
// person can read, and the parser that turns any bytes back into keys or
// reports them damaged.
//
//   PovUpdate registry, format 1
//
//   []
//
//   [Software\PovUpdate]
//   "InstallDir" 1 "C:\Program Files\Pov%00"
//   "" 4 "%2A%00%00%00"
//
// After the header line, "[path]" starts a key (the root key is "[]") and
// "\"name\" type \"data\"" is one of its values: the name ("" for the
// default value), the type as a decimal number and the data's exact bytes.
// Paths, names and data keep printable ASCII as it is and write every other
// byte, and '"' and '%', as %XX. Blank lines are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace povupdate::backend {

// True for "" (the root) and for names separated by single backslashes.
bool IsValidKeyPath(std::string_view path);

struct RegistryValue {
  std::string name;  // spelled as when it was first written
  std::uint32_t type = 0;
  std::string data;
};

struct RegistryKey {
  std::string path;                             // spelled as when it was created
  std::map<std::string, RegistryValue> values;  // by folded name
};

// The keys of one root, the root key itself always among them.
class RegistryTree {
 public:
  RegistryTree();

  // Paths are valid key paths in any spelling.
  RegistryKey* Find(std::string_view path);
  // The key, created with every missing key above it; a new key takes the
  // spelling of the keys above it that exist and `path`'s for the rest.
  RegistryKey& Create(std::string_view path);
  // For keys other than the root.
  bool HasSubkeys(std::string_view path) const;
  void Erase(std::string_view path);

  // By folded path, so every key comes after the keys above it.
  const std::map<std::string, RegistryKey>& keys() const { return keys_; }

 private:
  std::map<std::string, RegistryKey> keys_;
};

// Nothing for bytes that aren't a store file of this format. May throw
// std::bad_alloc.
std::optional<RegistryTree> ParseRegistryFile(std::string_view bytes);
std::string SerializeRegistryFile(const RegistryTree& tree);

}  // namespace povupdate::backend
