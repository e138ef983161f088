// One profile (INI) file: its bytes, an index of its sections and keys, and
// edits of it, read and written the way Windows' profile services do. A file
// that starts with the UTF-16LE byte-order mark is UTF-16 text, which reads
// and edits see as UTF-8 (the Linux build's ANSI code page) and which stays
// UTF-16LE when edited; any other file is 8-bit text, taken byte for byte.
// The Linux profile service and the command-line host's editor of update
// files both build their files' new bytes here; a document keeps no state
// beyond its own bytes and index.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/name_index.h"
#include "platform/profile_syntax.h"

namespace povupdate::backend {

class IniDocument {
 public:
  explicit IniDocument(std::string bytes);
  // The index points into the text, so a document stays where it was made.
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // The most text a document indexes: offsets into it are 32-bit.
  static constexpr std::size_t kMostTextSize = NameIndex::kNone - 1;

  // The file's bytes, as on disk.
  const std::string& bytes() const { return utf16_ ? utf16_bytes_ : text_; }

  // Whether every line of the text is indexed; an edit of a document that
  // isn't would land where no read looks.
  bool IndexedWhole() const { return text_.size() <= kMostTextSize; }

  // Whether the file is UTF-16LE text, whose reads and edits are UTF-8.
  bool IsUtf16() const { return utf16_; }

  // Whether an edit stores `text` as it is given: a UTF-16 file holds
  // characters, and text that isn't UTF-8 names none.
  bool CanHold(std::string_view text) const;

  // The value of `key` in `section`, without its surrounding blanks and one
  // pair of quotes; nullopt when the section or the key is absent. Spaces
  // around either argument don't count. The first lookup indexes the file;
  // any thread may look up at any time.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  // The file's bytes with `key` of `section` set to `value`, or with the
  // key's line removed when `value` is nullopt. Every other byte is kept.
  // The arguments are UTF-8 for a UTF-16 file. Works without the index: an
  // edit copies the whole file anyway, and a write then never holds an
  // index beside the old bytes and the new.
  std::string Edit(std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) const;

  // The bytes of memory the document holds, its index included once built.
  std::size_t Footprint() const;
  // The file's bytes without `section`: its header and its lines up to its
  // last key (the blank lines and comments after it lead to what follows).
  // Every other byte is kept.
  std::string RemoveSection(std::string_view section) const;

 private:
  // Offsets into the text are 32-bit, which halves the index of a large
  // file; only the first 4 GiB of a file's text are read.
  using Offset = std::uint32_t;
  // Where an edit lands, found by reading the lines in order.
  struct Place {
    bool section_found = false;
    bool key_found = false;
    // Where a new key goes: after the section's last key line, else after
    // its last comment line, else after its header (blank lines and lines
    // without '=' don't count).
    std::size_t insert_at = 0;
    std::size_t key_begin = 0;    // the key line's first byte
    std::size_t value_begin = 0;  // just after its first '='
    std::size_t line_break = 0;   // its line break, or the end of the file
  };
  // An edit of the text: `removed` bytes at `at` give way to `inserted`.
  struct Splice {
    std::size_t at;
    std::size_t removed;
    std::string inserted;
  };
  static constexpr Offset kNone = NameIndex::kNone;

  // Calls `visit(begin, line_break, end, line)` for each whole line within
  // the limit, in order, while it returns true.
  template <typename Visit>
  void ForEachLine(Visit visit) const;
  ProfileLine LineAt(Offset begin) const;
  void BuildIndex() const;
  Offset FindSection(std::string_view name) const;
  // The first key line named `name` of the section whose header is at
  // `header`; `next_header` is that of the next section indexed (kNone for
  // none or not known yet).
  Offset FindKey(Offset header, Offset next_header, std::string_view name) const;
  Place Locate(std::string_view section, std::string_view key) const;
  bool EndsOpen() const;
  Splice SpliceFor(std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) const;
  std::string Applied(const Splice& splice) const;

  // Declared in this order: the text of a UTF-16 file is made from its bytes.
  bool utf16_;
  std::string utf16_bytes_;  // empty for an 8-bit file, whose bytes are its text
  std::string text_;
  std::size_t limit_;  // lines ending beyond it are never read
  // The index: only the first of same-named sections, and of same-named
  // keys of a section, are in it, as no later one is ever read. Each entry
  // is the offset of its line, which the line itself is parsed again from.
  mutable std::once_flag indexed_;
  mutable NameIndex section_index_;             // section header lines
  mutable NameIndex key_index_;                 // key lines, hashed with their section's header
  mutable std::vector<Offset> section_starts_;  // the indexed headers, in file order
  mutable std::atomic<std::size_t> index_footprint_{0};
};

}  // namespace povupdate::backend
