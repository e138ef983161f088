#include "platform/linux/ini_document.h"

#include <algorithm>

#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "platform/utf16_text.h"

namespace povupdate::backend {
namespace {

constexpr std::string_view kLineBreak = "\r\n";

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

// FNV-1a over the folded name, mixed with the section a key belongs to and
// finished as splitmix64 does, so that every bit of the result counts.
std::uint32_t HashOf(std::string_view name, std::uint32_t section = 0) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : name)
    hash = (hash ^ static_cast<unsigned char>(FoldAsciiCase(c))) * 1099511628211ull;
  hash ^= section * 0x9E3779B97F4A7C15ull;
  hash = (hash ^ (hash >> 30)) * 0xBF58476D1CE4E5B9ull;
  hash = (hash ^ (hash >> 27)) * 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>(hash ^ (hash >> 31));
}

// At most as many key lines as there are '=' and as there are lines, so
// that the index is built without growing and a long run of '=' in a value
// reserves nothing.
std::size_t KeyLineBound(const std::string& text) {
  std::size_t equals = 0;
  std::size_t lines = 1;
  for (const char c : text) {
    equals += c == '=';
    lines += c == '\n' || c == '\r';
  }
  return std::min(equals, lines);
}

// "key=value" and its line break, as every written line is.
std::string KeyLineText(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 1 + kLineBreak.size());
  line.append(key).append(1, '=').append(value).append(kLineBreak);
  return line;
}

// `whole` with `removed` bytes at `at` replaced by `inserted`, built in one
// allocation.
std::string Spliced(std::string_view whole, std::size_t at, std::size_t removed,
                    std::string_view inserted) {
  std::string result;
  result.reserve(whole.size() - removed + inserted.size());
  result.append(whole.substr(0, at)).append(inserted).append(whole.substr(at + removed));
  return result;
}

std::string_view Utf16LeUnits(const std::string& bytes) {
  return std::string_view(bytes).substr(kUtf16LeBom.size());
}

}  // namespace

IniDocument::IniDocument(std::string bytes)
    : utf16_(StartsWithUtf16LeBom(bytes)),
      utf16_bytes_(utf16_ ? std::move(bytes) : std::string()),
      // Only one of the two members takes the bytes: utf16_ decides which.
      // cppcheck-suppress accessMoved
      text_(utf16_ ? Utf8FromUtf16Le(Utf16LeUnits(utf16_bytes_)) : std::move(bytes)) {
  const std::size_t limit = std::min<std::size_t>(text_.size(), kNone - 1);
  const std::size_t most_keys = KeyLineBound(text_);
  keys_.reserve(most_keys);
  key_index_.Reserve(most_keys);
  std::uint32_t section = kNone;
  for (std::size_t begin = 0; begin < limit;) {
    const std::size_t line_break = LineBreakFrom(text_, begin);
    const std::size_t end = NextLineAt(text_, line_break);
    if (end > limit) break;
    AddLine(static_cast<Offset>(begin), static_cast<Offset>(line_break), static_cast<Offset>(end),
            section);
    begin = end;
  }
}

std::string_view IniDocument::View(Text text) const {
  return std::string_view(text_).substr(text.begin, text.size);
}

IniDocument::Text IniDocument::TextOf(std::string_view view) const {
  return Text{static_cast<Offset>(view.data() - text_.data()), static_cast<Offset>(view.size())};
}

void IniDocument::AddLine(Offset begin, Offset line_break, Offset end, std::uint32_t& section) {
  const ProfileLine line =
      ParseProfileLine(std::string_view(text_).substr(begin, line_break - begin));
  switch (line.kind) {
    case ProfileLineKind::kSection:
      section = AddSection(line.name, end);
      break;
    case ProfileLineKind::kComment:
      // Where Windows puts a new key after a section's trailing comments is
      // not known; Wine counts them as the section's entries and puts it
      // after them.
      if (section != kNone) sections_[section].insert_at = end;
      break;
    case ProfileLineKind::kKey:
      // Lines before the first section, and in a repeated section, are
      // never read.
      if (section != kNone) AddKey(section, line, begin, line_break, end);
      break;
    default:
      break;
  }
}

// Of same-named sections the first counts.
std::uint32_t IniDocument::AddSection(std::string_view name, Offset end) {
  if (FindSection(name) != kNone) return kNone;
  const auto index = static_cast<std::uint32_t>(sections_.size());
  sections_.push_back(Section{TextOf(name), end});
  section_index_.Add(HashOf(name), index);
  return index;
}

// Of repeated keys the first counts.
void IniDocument::AddKey(std::uint32_t section, const ProfileLine& line, Offset begin,
                         Offset line_break, Offset end) {
  sections_[section].insert_at = end;
  if (FindKey(section, line.name) != kNone) return;
  const Offset value_begin = TextOf(line.after_equals).begin;
  key_index_.Add(HashOf(line.name, section), static_cast<std::uint32_t>(keys_.size()));
  keys_.push_back(
      KeyLine{section, TextOf(line.name), TextOf(line.value), begin, value_begin, line_break});
}

std::uint32_t IniDocument::FindSection(std::string_view name) const {
  return section_index_.Find(
      HashOf(name), [&](std::uint32_t at) { return SameName(View(sections_[at].name), name); });
}

std::uint32_t IniDocument::FindKey(std::uint32_t section, std::string_view name) const {
  return key_index_.Find(HashOf(name, section), [&](std::uint32_t at) {
    return keys_[at].section == section && SameName(View(keys_[at].name), name);
  });
}

std::optional<std::string_view> IniDocument::Find(std::string_view section,
                                                  std::string_view key) const {
  const std::uint32_t found = FindSection(TrimBlanks(section, kArgumentBlanks));
  if (found == kNone) return std::nullopt;
  const std::uint32_t line = FindKey(found, TrimBlanks(key, kArgumentBlanks));
  if (line == kNone) return std::nullopt;
  return View(keys_[line].value);
}

bool IniDocument::EndsOpen() const {
  return !text_.empty() && text_.back() != '\r' && text_.back() != '\n';
}

IniDocument::Splice IniDocument::SpliceFor(std::string_view section, std::string_view key,
                                           std::optional<std::string_view> value) const {
  section = TrimBlanks(section, kArgumentBlanks);
  key = TrimBlanks(key, kArgumentBlanks);
  Splice unchanged{0, 0, std::string()};
  const std::uint32_t found = FindSection(section);
  if (found == kNone) {
    // A new section goes at the end, on a line of its own.
    if (!value) return unchanged;
    std::string lines(EndsOpen() ? kLineBreak : "");
    lines.append(1, '[').append(section).append(1, ']').append(kLineBreak);
    return Splice{text_.size(), 0, lines.append(KeyLineText(key, *value))};
  }
  const std::uint32_t line = FindKey(found, key);
  if (line == kNone) {
    if (!value) return unchanged;
    const std::size_t at = sections_[found].insert_at;
    // The section's last line may be the file's last, without a line break.
    const std::string_view lead = at == text_.size() && EndsOpen() ? kLineBreak : "";
    return Splice{at, 0, std::string(lead) + KeyLineText(key, *value)};
  }
  const KeyLine& old = keys_[line];
  if (!value) return Splice{old.begin, NextLineAt(text_, old.line_break) - old.begin, {}};
  // The key keeps its spelling and the line its line break.
  return Splice{old.value_begin, old.line_break - old.value_begin, std::string(*value)};
}

std::string IniDocument::Edit(std::string_view section, std::string_view key,
                              std::optional<std::string_view> value) const {
  return Applied(SpliceFor(section, key, value));
}

std::string IniDocument::RemoveSection(std::string_view section) const {
  const std::uint32_t found = FindSection(TrimBlanks(section, kArgumentBlanks));
  if (found == kNone) return bytes();
  const std::string_view text(text_);
  const std::size_t name = sections_[found].name.begin;
  const std::size_t begin = text.find_last_of("\r\n", name) + 1;  // npos + 1 is 0
  std::size_t end = NextLineAt(text, LineBreakFrom(text, begin));
  for (std::size_t at = end; at < text.size();) {
    const std::size_t line_break = LineBreakFrom(text, at);
    const ProfileLineKind kind = ParseProfileLine(text.substr(at, line_break - at)).kind;
    if (kind == ProfileLineKind::kSection) break;
    at = NextLineAt(text, line_break);
    if (kind == ProfileLineKind::kKey) end = at;
  }
  return Applied(Splice{begin, end - begin, {}});
}

std::string IniDocument::Applied(const Splice& splice) const {
  if (!utf16_) return Spliced(text_, splice.at, splice.removed, splice.inserted);
  // Only the edited characters are converted: every other byte of the file,
  // a stray surrogate or a last odd byte too, stays as it was.
  const std::string_view units = Utf16LeUnits(utf16_bytes_);
  const std::size_t at = Utf16LeOffsetOf(units, splice.at);
  const std::size_t removed = Utf16LeOffsetOf(units.substr(at), splice.removed);
  return Spliced(utf16_bytes_, kUtf16LeBom.size() + at, removed, Utf16LeFromUtf8(splice.inserted));
}

}  // namespace povupdate::backend
