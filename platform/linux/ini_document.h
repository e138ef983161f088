// One profile (INI) file: its bytes, an index of its sections and keys, and
// edits of it, read and written the way Windows' profile services do. A file
// that starts with the UTF-16LE byte-order mark is UTF-16 text, which reads
// and edits see as UTF-8 (the ANSI code page here) and which stays UTF-16LE
// when edited; any other file is 8-bit text, taken byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/name_index.h"
#include "platform/profile_syntax.h"

namespace povupdate::backend {

class IniDocument {
 public:
  explicit IniDocument(std::string bytes);
  // The index points into the text, so a document stays where it was made.
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // The file's bytes, as on disk.
  const std::string& bytes() const { return utf16_ ? utf16_bytes_ : text_; }

  // The value of `key` in `section`, without its surrounding blanks and one
  // pair of quotes; nullopt when the section or the key is absent. Spaces
  // around either argument don't count.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  // The file's bytes with `key` of `section` set to `value`, or with the
  // key's line removed when `value` is nullopt. Every other byte is kept.
  // The arguments are UTF-8 for a UTF-16 file.
  std::string Edit(std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) const;

  // The file's bytes without `section`: its header and its lines up to its
  // last key (the blank lines and comments after it lead to what follows).
  // Every other byte is kept.
  std::string RemoveSection(std::string_view section) const;

 private:
  // Offsets into the text are 32-bit, which halves the index of a large
  // file; only the first 4 GiB of a file's text are read.
  using Offset = std::uint32_t;
  struct Text {
    Offset begin;
    Offset size;
  };
  struct Section {
    Text name;
    // Where a new key goes: after the section's last key or comment line,
    // or after its header when it has neither (blank lines and lines
    // without '=' don't count).
    Offset insert_at;
  };
  struct KeyLine {
    std::uint32_t section;
    Text name;
    Text value;          // as a read returns it
    Offset begin;        // the line's first byte
    Offset value_begin;  // just after the first '='
    Offset line_break;   // the line break, or the end of the file
  };
  // An edit of the text: `removed` bytes at `at` give way to `inserted`.
  struct Splice {
    std::size_t at;
    std::size_t removed;
    std::string inserted;
  };
  static constexpr std::uint32_t kNone = NameIndex::kNone;

  // `section` is the section that lines belong to while parsing: kNone
  // before the first section and in a repeated one.
  void AddLine(Offset begin, Offset line_break, Offset end, std::uint32_t& section);
  std::uint32_t AddSection(std::string_view name, Offset end);
  void AddKey(std::uint32_t section, const ProfileLine& line, Offset begin, Offset line_break,
              Offset end);
  std::uint32_t FindSection(std::string_view name) const;
  std::uint32_t FindKey(std::uint32_t section, std::string_view name) const;
  std::string_view View(Text text) const;
  Text TextOf(std::string_view view) const;
  bool EndsOpen() const;
  Splice SpliceFor(std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) const;
  std::string Applied(const Splice& splice) const;

  // Declared in this order: the text of a UTF-16 file is made from its bytes.
  bool utf16_;
  std::string utf16_bytes_;  // empty for an 8-bit file, whose bytes are its text
  std::string text_;
  // Only the first of same-named sections, and of same-named keys of a
  // section, are kept: no later one is ever read or written.
  std::vector<Section> sections_;
  std::vector<KeyLine> keys_;
  NameIndex section_index_;
  NameIndex key_index_;
};

}  // namespace povupdate::backend
