#include "platform/ini_document.h"

#include <algorithm>

#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "platform/utf16_text.h"

namespace povupdate::backend {
namespace {

constexpr std::string_view kLineBreak = "\r\n";

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
      text_(utf16_ ? Utf8FromUtf16Le(Utf16LeUnits(utf16_bytes_)) : std::move(bytes)),
      limit_(std::min(text_.size(), kMostTextSize)) {}

std::size_t IniDocument::Footprint() const {
  return sizeof(*this) + utf16_bytes_.capacity() + text_.capacity() + index_footprint_.load();
}

template <typename Visit>
void IniDocument::ForEachLine(Visit visit) const {
  for (std::size_t begin = 0; begin < limit_;) {
    const std::size_t line_break = LineBreakFrom(text_, begin);
    const std::size_t end = NextLineAt(text_, line_break);
    if (end > limit_) return;
    const ProfileLine line =
        ParseProfileLine(std::string_view(text_).substr(begin, line_break - begin));
    if (!visit(static_cast<Offset>(begin), line_break, end, line)) return;
    begin = end;
  }
}

ProfileLine IniDocument::LineAt(Offset begin) const {
  return ParseProfileLine(
      std::string_view(text_).substr(begin, LineBreakFrom(text_, begin) - begin));
}

// Lines before the first section, and in a repeated section, are never read,
// so none of them is indexed.
void IniDocument::BuildIndex() const {
  // A build cut short by a lack of memory leaves nothing behind to mislead
  // the next one.
  section_index_ = NameIndex();
  key_index_ = NameIndex();
  section_starts_.clear();
  const auto section_hash = [this](Offset at) { return HashOf(LineAt(at).name); };
  // A key's section is the last indexed header before it.
  const auto key_hash = [this](Offset at) {
    return HashOf(LineAt(at).name,
                  *(std::upper_bound(section_starts_.begin(), section_starts_.end(), at) - 1));
  };
  Offset header = kNone;
  ForEachLine([&](Offset begin, std::size_t, std::size_t, const ProfileLine& line) {
    if (line.kind == ProfileLineKind::kSection) {
      const bool first = FindSection(line.name) == kNone;
      if (first) {
        section_index_.Add(HashOf(line.name), begin, section_hash);
        section_starts_.push_back(begin);
      }
      header = first ? begin : kNone;
    } else if (line.kind == ProfileLineKind::kKey && header != kNone &&
               FindKey(header, kNone, line.name) == kNone) {
      key_index_.Add(HashOf(line.name, header), begin, key_hash);
    }
    return true;
  });
  section_starts_.shrink_to_fit();
  index_footprint_ = section_index_.Footprint() + key_index_.Footprint() +
                     section_starts_.capacity() * sizeof(Offset);
}

IniDocument::Offset IniDocument::FindSection(std::string_view name) const {
  return section_index_.Find(HashOf(name), [&](Offset at) {
    const ProfileLine line = LineAt(at);
    return EqualsIgnoringAsciiCase(line.name, name);
  });
}

// A key line indexed after `header` and before the next indexed header lies
// in that section: the lines between a repeated header and the next one are
// not indexed.
IniDocument::Offset IniDocument::FindKey(Offset header, Offset next_header,
                                         std::string_view name) const {
  return key_index_.Find(HashOf(name, header), [&](Offset at) {
    return at > header && at < next_header && EqualsIgnoringAsciiCase(LineAt(at).name, name);
  });
}

std::optional<std::string_view> IniDocument::Find(std::string_view section,
                                                  std::string_view key) const {
  std::call_once(indexed_, [this] { BuildIndex(); });
  const Offset header = FindSection(TrimBlanks(section, kArgumentBlanks));
  if (header == kNone) return std::nullopt;
  const auto next = std::upper_bound(section_starts_.begin(), section_starts_.end(), header);
  const Offset line = FindKey(header, next == section_starts_.end() ? kNone : *next,
                              TrimBlanks(key, kArgumentBlanks));
  if (line == kNone) return std::nullopt;
  return LineAt(line).value;
}

IniDocument::Place IniDocument::Locate(std::string_view section, std::string_view key) const {
  Place place;
  bool inside = false;
  bool keyed = false;  // the section has a key line before this line
  ForEachLine([&](Offset begin, std::size_t line_break, std::size_t end, const ProfileLine& line) {
    if (line.kind == ProfileLineKind::kSection) {
      // Of same-named sections the first counts, and it ends at the next
      // header.
      if (inside) return false;
      inside = EqualsIgnoringAsciiCase(line.name, section);
      place.section_found = inside;
      place.insert_at = end;
      return true;
    }
    if (!inside) return true;
    // Windows puts a new key after the section's last key, before the
    // comments that follow it. Where it goes in a section of comments only
    // is not known; Wine puts it after them.
    if (line.kind == ProfileLineKind::kComment && !keyed) place.insert_at = end;
    if (line.kind != ProfileLineKind::kKey) return true;
    keyed = true;
    place.insert_at = end;
    // Of repeated keys the first counts.
    if (!EqualsIgnoringAsciiCase(line.name, key)) return true;
    place.key_found = true;
    place.key_begin = begin;
    place.value_begin = static_cast<std::size_t>(line.after_equals.data() - text_.data());
    place.line_break = line_break;
    return false;
  });
  return place;
}

bool IniDocument::CanHold(std::string_view text) const { return !utf16_ || IsUtf8(text); }

// A UTF-16 file of nothing but its byte-order mark counts as ending open:
// Windows starts what it adds to one with a line break.
bool IniDocument::EndsOpen() const {
  if (text_.empty()) return utf16_;
  return text_.back() != '\r' && text_.back() != '\n';
}

IniDocument::Splice IniDocument::SpliceFor(std::string_view section, std::string_view key,
                                           std::optional<std::string_view> value) const {
  section = TrimBlanks(section, kArgumentBlanks);
  key = TrimBlanks(key, kArgumentBlanks);
  Splice unchanged{0, 0, std::string()};
  const Place place = Locate(section, key);
  if (!place.section_found) {
    // A new section goes at the end, on a line of its own.
    if (!value) return unchanged;
    std::string lines(EndsOpen() ? kLineBreak : "");
    lines.append(1, '[').append(section).append(1, ']').append(kLineBreak);
    return Splice{text_.size(), 0, lines.append(KeyLineText(key, *value))};
  }
  if (!place.key_found) {
    if (!value) return unchanged;
    const std::size_t at = place.insert_at;
    // The section's last line may be the file's last, without a line break.
    const std::string_view lead = at == text_.size() && EndsOpen() ? kLineBreak : "";
    return Splice{at, 0, std::string(lead) + KeyLineText(key, *value)};
  }
  if (!value) {
    return Splice{place.key_begin, NextLineAt(text_, place.line_break) - place.key_begin, {}};
  }
  // The key keeps its spelling and the line its line break; a last line
  // without one gains one, as Windows rewrites it.
  std::string replaced(*value);
  if (place.line_break == text_.size()) replaced.append(kLineBreak);
  return Splice{place.value_begin, place.line_break - place.value_begin, std::move(replaced)};
}

std::string IniDocument::Edit(std::string_view section, std::string_view key,
                              std::optional<std::string_view> value) const {
  return Applied(SpliceFor(section, key, value));
}

std::string IniDocument::RemoveSection(std::string_view section) const {
  std::call_once(indexed_, [this] { BuildIndex(); });
  const Offset begin = FindSection(TrimBlanks(section, kArgumentBlanks));
  if (begin == kNone) return bytes();
  const std::string_view text(text_);
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
