// The registry store's file: whatever the parser accepts serialises to text
// that parses back to the same keys and values and serialises to the same
// bytes again. The serialiser's output is the format's one canonical
// spelling (the parser also takes blank lines, lower-case and needless
// escapes, repeated key lines, lines of keys that their subkeys' lines
// make), so canonical input comes back unchanged.
//
// Input: the file's bytes.
#include <string_view>

#include "fuzz/checks.h"
#include "platform/linux/registry_file.h"

namespace povupdate::fuzz {
namespace {

using backend::RegistryKey;
using backend::RegistryTree;
using backend::RegistryValue;

bool SameValue(const RegistryValue& a, const RegistryValue& b) {
  return a.name == b.name && a.type == b.type && a.data == b.data;
}

// Compares two keys of the trees, with every key below them. The recursion
// goes no deeper than a tree may be.
bool SameKey(const RegistryTree& a_tree, const RegistryKey& a, const RegistryTree& b_tree,
             const RegistryKey& b) {
  if (a.name != b.name || a.values.size() != b.values.size() ||
      a.subkeys.size() != b.subkeys.size()) {
    return false;
  }
  auto other = b.values.begin();
  for (const auto& [folded, value] : a.values) {
    if (folded != other->first || !SameValue(value, other->second)) return false;
    ++other;
  }
  auto other_key = b.subkeys.begin();
  for (const auto& [folded, position] : a.subkeys) {
    if (folded != other_key->first ||
        !SameKey(a_tree, a_tree.at(position), b_tree, b_tree.at(other_key->second))) {
      return false;
    }
    ++other_key;
  }
  return true;
}

bool SameTree(const RegistryTree& a, const RegistryTree& b) {
  return SameKey(a, a.root(), b, b.root());
}

}  // namespace

std::string CheckRegistryFile(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<RegistryTree> tree = backend::ParseRegistryFile(bytes);
  if (!tree) return "";
  const std::string serialised = backend::SerializeRegistryFile(*tree);
  const std::optional<RegistryTree> again = backend::ParseRegistryFile(serialised);
  if (!again) return "the serialised store does not parse:\n" + serialised;
  if (!SameTree(*tree, *again)) return "the serialised store parses to other keys:\n" + serialised;
  if (backend::SerializeRegistryFile(*again) != serialised) {
    return "the store serialises differently the second time:\n" + serialised;
  }
  return "";
}

}  // namespace povupdate::fuzz
