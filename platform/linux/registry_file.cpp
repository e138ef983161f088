#include "platform/linux/registry_file.h"

#include <limits>
#include <utility>

#include "platform/text.h"

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

bool ParseValue(std::string_view line, RegistryValue& value) {
  return TakeQuoted(line, value.name) && TakeChar(line, ' ') && TakeType(line, value.type) &&
         TakeChar(line, ' ') && TakeQuoted(line, value.data) && line.empty();
}

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
  return path.front() != '\\' && path.back() != '\\' && path.find("\\\\") == std::string_view::npos;
}

RegistryTree::RegistryTree() { keys_.emplace(std::string(), RegistryKey{}); }

RegistryKey* RegistryTree::Find(std::string_view path) {
  const auto found = keys_.find(FoldAsciiCase(path));
  return found == keys_.end() ? nullptr : &found->second;
}

RegistryKey& RegistryTree::Create(std::string_view path) {
  RegistryKey* key = &keys_.find(std::string())->second;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view prefix = path.substr(0, end);
    RegistryKey* next = Find(prefix);
    if (next == nullptr) {
      std::string spelled = key->path;
      if (!spelled.empty()) spelled += '\\';
      spelled += path.substr(start, end - start);
      next =
          &keys_.emplace(FoldAsciiCase(prefix), RegistryKey{std::move(spelled), {}}).first->second;
    }
    key = next;
    start = end + 1;
  }
  return *key;
}

bool RegistryTree::HasSubkeys(std::string_view path) const {
  const std::string prefix = FoldAsciiCase(path) + '\\';
  const auto next = keys_.lower_bound(prefix);
  return next != keys_.end() && next->first.compare(0, prefix.size(), prefix) == 0;
}

void RegistryTree::Erase(std::string_view path) { keys_.erase(FoldAsciiCase(path)); }

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
  for (const auto& [folded, key] : tree.keys()) {
    out += "\n[";
    AppendEscaped(out, key.path);
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
  return out;
}

}  // namespace povupdate::backend
