// The registry store's file: whatever the parser accepts serialises to text
// that parses back to the same keys and values and serialises to the same
// bytes again. The serialiser's output is the format's one canonical
// spelling (the parser also takes blank lines, lower-case and needless
// escapes, repeated key lines), so canonical input comes back unchanged.
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

bool SameKey(const RegistryKey& a, const RegistryKey& b) {
  if (a.path != b.path || a.values.size() != b.values.size()) return false;
  auto other = b.values.begin();
  for (const auto& [folded, value] : a.values) {
    if (folded != other->first || !SameValue(value, other->second)) return false;
    ++other;
  }
  return true;
}

bool SameTree(const RegistryTree& a, const RegistryTree& b) {
  if (a.keys().size() != b.keys().size()) return false;
  auto other = b.keys().begin();
  for (const auto& [folded, key] : a.keys()) {
    if (folded != other->first || !SameKey(key, other->second)) return false;
    ++other;
  }
  return true;
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
