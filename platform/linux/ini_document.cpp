#include "platform/linux/ini_document.h"

namespace povupdate::backend {
namespace {

// Windows trims only spaces from the section and key it is given (a tab
// there must match a tab), space and tab around the names in the file, and
// space, tab and vertical tab around values.
constexpr std::string_view kArgumentBlanks = " ";
constexpr std::string_view kNameBlanks = " \t";
constexpr std::string_view kValueBlanks = " \t\v";
constexpr std::string_view kLineBreak = "\r\n";

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view value) {
  if (value.size() < 2 || value.front() != value.back()) return value;
  if (value.front() != '"' && value.front() != '\'') return value;
  return value.substr(1, value.size() - 2);
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t LineBreakFrom(const std::string& bytes, std::size_t begin) {
  std::size_t at = begin;
  while (at < bytes.size() && bytes[at] != '\r' && bytes[at] != '\n') ++at;
  return at;
}

// CR LF, LF and CR alone each end a line.
std::size_t LineEndAt(const std::string& bytes, std::size_t line_break) {
  if (line_break == bytes.size()) return line_break;
  const bool crlf =
      bytes[line_break] == '\r' && line_break + 1 < bytes.size() && bytes[line_break + 1] == '\n';
  return line_break + (crlf ? 2 : 1);
}

// "key=value" and its line break, as every written line is.
std::string KeyLineText(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 1 + kLineBreak.size());
  line.append(key).append(1, '=').append(value).append(kLineBreak);
  return line;
}

}  // namespace

std::size_t IniDocument::FoldedHash::operator()(std::string_view name) const {
  std::size_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(Fold(c))) * 1099511628211ull;
  }
  return hash;
}

bool IniDocument::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

std::size_t IniDocument::KeyNameHash::operator()(const KeyName& key) const {
  return FoldedHash()(key.name) ^ (std::size_t{key.section} * 0x9E3779B97F4A7C15ull);
}

bool IniDocument::KeyNameEqual::operator()(const KeyName& a, const KeyName& b) const {
  return a.section == b.section && FoldedEqual()(a.name, b.name);
}

IniDocument::IniDocument(std::string bytes) : bytes_(std::move(bytes)) {
  std::uint32_t section = kUnreachable;
  for (std::size_t begin = 0; begin < bytes_.size();) {
    const std::size_t line_break = LineBreakFrom(bytes_, begin);
    const std::size_t end = LineEndAt(bytes_, line_break);
    AddLine(begin, line_break, end, section);
    begin = end;
  }
}

void IniDocument::AddLine(std::size_t begin, std::size_t line_break, std::size_t end,
                          std::uint32_t& section) {
  std::string_view text(bytes_.data() + begin, line_break - begin);
  // A NUL ends the line's text, as it does for Wine; what Windows does with
  // one is not known.
  text = text.substr(0, text.find('\0'));
  const std::size_t first = text.find_first_not_of(kNameBlanks);
  if (first == std::string_view::npos) return;
  switch (text[first]) {
    case '[':
      section = AddSection(text.substr(first + 1), end);
      break;
    case ';':
      break;  // a comment
    default:
      // Lines before the first section, and in a repeated section, are
      // never read.
      if (section != kUnreachable) AddKey(section, text.substr(first), begin, line_break, end);
  }
}

// The name ends at the first ']'; without one it runs to the end of the line.
std::uint32_t IniDocument::AddSection(std::string_view line, std::size_t end) {
  const std::string_view name = Trim(line.substr(0, line.find(']')), kNameBlanks);
  const auto index = static_cast<std::uint32_t>(insert_at_.size());
  if (!sections_.emplace(name, index).second) return kUnreachable;
  insert_at_.push_back(end);
  return index;
}

// The key is the text before the first '='; a line without one is no key.
// Of repeated keys the first counts.
void IniDocument::AddKey(std::uint32_t section, std::string_view line, std::size_t begin,
                         std::size_t line_break, std::size_t end) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  insert_at_[section] = end;
  const auto value_begin = static_cast<std::size_t>(line.data() + equals + 1 - bytes_.data());
  const std::string_view value = Unquote(Trim(line.substr(equals + 1), kValueBlanks));
  keys_.emplace(KeyName{section, Trim(line.substr(0, equals), kNameBlanks)},
                KeyLine{begin, value_begin, line_break, end, value});
}

std::optional<std::string_view> IniDocument::Find(std::string_view section,
                                                  std::string_view key) const {
  const auto found = sections_.find(Trim(section, kArgumentBlanks));
  if (found == sections_.end()) return std::nullopt;
  const auto line = keys_.find(KeyName{found->second, Trim(key, kArgumentBlanks)});
  if (line == keys_.end()) return std::nullopt;
  return line->second.value;
}

bool IniDocument::EndsOpen() const {
  return !bytes_.empty() && bytes_.back() != '\r' && bytes_.back() != '\n';
}

std::string IniDocument::Edit(std::string_view section, std::string_view key,
                              std::optional<std::string_view> value) const {
  section = Trim(section, kArgumentBlanks);
  key = Trim(key, kArgumentBlanks);
  std::string edited(bytes_);
  const auto found = sections_.find(section);
  if (found == sections_.end()) {
    // A new section goes at the end, on a line of its own.
    if (!value) return edited;
    if (EndsOpen()) edited.append(kLineBreak);
    edited.append(1, '[').append(section).append(1, ']').append(kLineBreak);
    return edited.append(KeyLineText(key, *value));
  }
  const auto line = keys_.find(KeyName{found->second, key});
  if (line == keys_.end()) {
    if (!value) return edited;
    const std::size_t at = insert_at_[found->second];
    // The section's last line may be the file's last, without a line break.
    const std::string_view lead = at == bytes_.size() && EndsOpen() ? kLineBreak : "";
    return edited.insert(at, std::string(lead) + KeyLineText(key, *value));
  }
  const KeyLine& old = line->second;
  if (!value) return edited.erase(old.begin, old.end - old.begin);
  // The key keeps its spelling and the line its line break.
  return edited.replace(old.value_begin, old.line_break - old.value_begin, *value);
}

}  // namespace povupdate::backend
