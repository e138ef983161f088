#include "platform/linux/registry_file.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "platform/linux/environment.h"
#include "platform/text.h"
#include "platform/utf16_text.h"

namespace povupdate::backend {
namespace {

constexpr std::string_view kHeader = "PovUpdate registry, format 1";
constexpr char kDigits[] = "0123456789ABCDEF";

bool KeptAsIs(unsigned char byte) {
  return byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '%';
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (KeptAsIs(byte)) {
      out += c;
    } else {
      out += '%';
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0x0F];
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Undoes AppendEscaped; false for a '%' without two hex digits after it.
bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (text.size() - i < 3) return false;
    const int high = HexDigit(text[i + 1]);
    const int low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

// Reads `"escaped"` from the front of `line` into `out` and drops it from
// `line`.
bool TakeQuoted(std::string_view& line, std::string& out) {
  if (line.empty() || line.front() != '"') return false;
  const std::size_t end = line.find('"', 1);
  if (end == std::string_view::npos || !Unescape(line.substr(1, end - 1), out)) return false;
  line.remove_prefix(end + 1);
  return true;
}

bool TakeChar(std::string_view& line, char expected) {
  if (line.empty() || line.front() != expected) return false;
  line.remove_prefix(1);
  return true;
}

bool TakeType(std::string_view& line, std::uint32_t& type) {
  std::uint64_t value = 0;
  std::size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(line[digits] - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    ++digits;
  }
  if (digits == 0) return false;
  type = static_cast<std::uint32_t>(value);
  line.remove_prefix(digits);
  return true;
}

// Whether a name holds at most `limit` characters as Windows counts them:
// UTF-16 code units of the name in the ANSI code page, which is UTF-8 here.
// A name never has more of them than bytes.
bool FitsIn(std::string_view name, std::size_t limit) {
  return name.size() <= limit || Utf16LeFromUtf8(name).size() / 2 <= limit;
}

bool ParseValue(std::string_view line, RegistryValue& value) {
  return TakeQuoted(line, value.name) && IsValidValueName(value.name) && TakeChar(line, ' ') &&
         TakeType(line, value.type) && TakeChar(line, ' ') && TakeQuoted(line, value.data) &&
         line.empty();
}

// The first name of a key path, dropped from `path` with its separator.
std::string_view TakeName(std::string_view& path) {
  const std::size_t end = std::min(path.find('\\'), path.size());
  const std::string_view name = path.substr(0, end);
  path.remove_prefix(std::min(end + 1, path.size()));
  return name;
}

// The key's line and its values, `path` being its path as written.
void AppendKey(std::string& out, const RegistryKey& key, std::string_view path) {
  out += "\n[";
  out += path;
  out += "]\n";
  for (const auto& [folded_name, value] : key.values) {
    out += '"';
    AppendEscaped(out, value.name);
    out += "\" ";
    out += std::to_string(value.type);
    out += " \"";
    AppendEscaped(out, value.data);
    out += "\"\n";
  }
}

// Whether a key needs a line of its own: one with subkeys and no values is
// made by their lines.
bool NeedsLine(const RegistryKey& key) { return !key.values.empty() || key.subkeys.empty(); }

// One line after the header; `key` is the key the line belongs to.
bool ParseLine(std::string_view line, RegistryTree& tree, RegistryKey*& key) {
  if (line.empty()) return true;
  if (line.front() == '[') {
    std::string path;
    if (line.size() < 2 || line.back() != ']' || !Unescape(line.substr(1, line.size() - 2), path) ||
        !IsValidKeyPath(path)) {
      return false;
    }
    key = &tree.Create(path);
    return true;
  }
  RegistryValue value;
  if (key == nullptr || !ParseValue(line, value)) return false;
  return key->values.emplace(FoldAsciiCase(value.name), std::move(value)).second;
}

}  // namespace

bool IsValidKeyPath(std::string_view path) {
  if (path.empty()) return true;
  std::size_t depth = 0;
  for (std::size_t start = 0;; ++depth) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    if (end == start || depth == kMaxKeyDepth ||
        !FitsIn(path.substr(start, end - start), kMaxKeyNameLength)) {
      return false;
    }
    if (end == path.size()) return true;
    start = end + 1;
  }
}

bool IsValidValueName(std::string_view name) { return FitsIn(name, kMaxValueNameLength); }

RegistryTree::RegistryTree() { keys_.emplace_back(); }

std::size_t RegistryTree::PositionOf(std::string_view path) const {
  std::size_t position = 0;
  while (!path.empty()) {
    const auto& subkeys = keys_[position].subkeys;
    const auto found = subkeys.find(FoldAsciiCase(TakeName(path)));
    if (found == subkeys.end()) return kMissing;
    position = found->second;
  }
  return position;
}

bool RegistryStoreFile(std::string_view root, std::string& file) {
  if (const char* named = PlaceSetting("POVUPDATE_REGISTRY_DIR")) {
    file = named;
  } else if (BaseDirectory("XDG_CONFIG_HOME", "/.config", file)) {
    file += "/povupdate/registry";
  } else {
    return false;
  }
  file.append("/").append(root).append(".txt");
  return true;
}

RegistryKey* RegistryTree::Find(std::string_view path) {
  const std::size_t position = PositionOf(path);
  return position == kMissing ? nullptr : &keys_[position];
}

const RegistryKey* RegistryTree::Find(std::string_view path) const {
  const std::size_t position = PositionOf(path);
  return position == kMissing ? nullptr : &keys_[position];
}

RegistryKey& RegistryTree::Create(std::string_view path) {
  RegistryKey* key = &keys_.front();
  while (!path.empty()) {
    const std::string_view name = TakeName(path);
    std::string folded = FoldAsciiCase(name);
    const auto found = key->subkeys.find(folded);
    std::size_t position = keys_.size();
    if (found == key->subkeys.end()) {
      key->subkeys.emplace(std::move(folded), position);
      keys_.push_back(RegistryKey{std::string(name), {}, {}});
    } else {
      position = found->second;
    }
    key = &keys_[position];
  }
  return *key;
}

std::optional<RegistryTree> ParseRegistryFile(std::string_view bytes) {
  std::size_t end = bytes.find('\n');
  if (end == std::string_view::npos || bytes.substr(0, end) != kHeader) return std::nullopt;
  RegistryTree tree;
  RegistryKey* key = nullptr;
  for (std::size_t start = end + 1; start < bytes.size(); start = end + 1) {
    end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    if (!ParseLine(bytes.substr(start, end - start), tree, key)) return std::nullopt;
  }
  return tree;
}

std::string SerializeRegistryFile(const RegistryTree& tree) {
  std::string out(kHeader);
  out += '\n';
  // Depth first, without recursion: the keys on the way down from the root,
  // each with the next of its subkeys and the length of its path.
  struct Step {
    const RegistryKey* key;
    std::map<std::string, std::size_t>::const_iterator next;
    std::size_t length;
  };
  std::string path;
  if (NeedsLine(tree.root())) AppendKey(out, tree.root(), path);
  std::vector<Step> way{{&tree.root(), tree.root().subkeys.begin(), 0}};
  while (!way.empty()) {
    Step& step = way.back();
    if (step.next == step.key->subkeys.end()) {
      way.pop_back();
      continue;
    }
    const RegistryKey& subkey = tree.at(step.next->second);
    ++step.next;
    path.resize(step.length);
    if (!path.empty()) path += '\\';
    AppendEscaped(path, subkey.name);
    if (NeedsLine(subkey)) AppendKey(out, subkey, path);
    way.push_back({&subkey, subkey.subkeys.begin(), path.size()});
  }
  return out;
}

}  // namespace povupdate::backend
