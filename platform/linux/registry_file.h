// The registry store's file: one root key's keys and values as text that a
// person can read, and the parser that turns any bytes back into keys or
// reports them damaged.
//
//   PovUpdate registry, format 1
//
//   [Software\PovUpdate]
//   "InstallDir" 1 "C:\Program Files\Pov%00"
//   "" 4 "%2A%00%00%00"
//
// After the header line, "[path]" starts a key (the root key is "[]") and
// makes every missing key above it; "\"name\" type \"data\"" is one of the
// key's values: the name ("" for the default value), the type as a decimal
// number and the data's exact bytes.
// Paths, names and data keep printable ASCII as it is and write every other
// byte, and '"' and '%', as %XX. Blank lines are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace povupdate::backend {

// Windows' own limits: a key's name (one component of a path) of at most 255
// characters, at most 512 levels of keys below a root, value names of at
// most 16,383 characters (UTF-16 code units, as Windows counts them). A
// store beyond them is damaged, and nothing is written beyond them.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxValueNameLength = 16383;

// True for "" (the root) and for names separated by single backslashes,
// within the limits above.
bool IsValidKeyPath(std::string_view path);
bool IsValidValueName(std::string_view name);

struct RegistryValue {
  std::string name;  // spelled as when it was first written
  std::uint32_t type = 0;
  std::string data;
};

// A key holds its own name, never its whole path, so that a tree takes
// memory in proportion to the names it holds, however deep it is.
struct RegistryKey {
  std::string name;                             // as when it was created
  std::map<std::string, RegistryValue> values;  // by folded name
  std::map<std::string, std::size_t> subkeys;   // by folded name: positions in the tree
};

// The keys of one root, the root key itself always among them.
class RegistryTree {
 public:
  RegistryTree();

  // Paths are valid key paths in any spelling. A key found or created stays
  // where it is while others are created.
  RegistryKey* Find(std::string_view path);
  const RegistryKey* Find(std::string_view path) const;
  // The key, created with every missing key above it; a new key takes the
  // spelling of the keys above it that exist and `path`'s for the rest.
  RegistryKey& Create(std::string_view path);

  const RegistryKey& root() const { return keys_.front(); }
  const RegistryKey& at(std::size_t position) const { return keys_[position]; }

 private:
  static constexpr std::size_t kMissing = static_cast<std::size_t>(-1);
  // Where the key is in `keys_`, or kMissing.
  std::size_t PositionOf(std::string_view path) const;

  // The root first. An erased key stays here, unreachable; a deque keeps
  // every key where it is as keys are added.
  std::deque<RegistryKey> keys_;
};

// The store file of the root key named `root` ("HKEY_LOCAL_MACHINE"): in
// the directory POVUPDATE_REGISTRY_DIR names, else in
// $XDG_CONFIG_HOME/povupdate/registry, by environment.h's rules. False when
// there is no home.
bool RegistryStoreFile(std::string_view root, std::string& file);

// Nothing for bytes that aren't a store file of this format. May throw
// std::bad_alloc.
std::optional<RegistryTree> ParseRegistryFile(std::string_view bytes);
// Writes a line for each key with values or without subkeys; the lines of
// their subkeys make the others. Each such key was named by a line of the
// store it was read from (or by the call that made it), so what is written
// grows with what was read, however deep the keys are.
std::string SerializeRegistryFile(const RegistryTree& tree);

}  // namespace povupdate::backend
