// One profile (INI) file: its bytes, an index of its sections and keys, and
// edits of it, read and written the way Windows' profile services do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace povupdate::backend {

class IniDocument {
 public:
  explicit IniDocument(std::string bytes);
  // The index points into the bytes, so a document stays where it was made.
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  const std::string& bytes() const { return bytes_; }

  // The value of `key` in `section`, without its surrounding blanks and one
  // pair of quotes; nullopt when the section or the key is absent. Spaces
  // around either argument don't count.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  // The file's bytes with `key` of `section` set to `value`, or with the
  // key's line removed when `value` is nullopt. Every other byte is kept.
  std::string Edit(std::string_view section, std::string_view key,
                   std::optional<std::string_view> value) const;

 private:
  // Names compare without regard to ASCII case.
  struct FoldedHash {
    std::size_t operator()(std::string_view name) const;
  };
  struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  struct KeyName {
    std::uint32_t section;
    std::string_view name;
  };
  struct KeyNameHash {
    std::size_t operator()(const KeyName& key) const;
  };
  struct KeyNameEqual {
    bool operator()(const KeyName& a, const KeyName& b) const;
  };
  // Offsets into the bytes of one key line.
  struct KeyLine {
    std::size_t begin;        // the line's first byte
    std::size_t value_begin;  // just after the first '='
    std::size_t line_break;   // the line break, or the end of the file
    std::size_t end;          // just after the line break
    std::string_view value;   // as a read returns it
  };
  static constexpr std::uint32_t kUnreachable = UINT32_MAX;

  // `section` is the section that lines belong to while parsing:
  // kUnreachable before the first section and in a repeated one.
  void AddLine(std::size_t begin, std::size_t line_break, std::size_t end, std::uint32_t& section);
  std::uint32_t AddSection(std::string_view line, std::size_t end);
  void AddKey(std::uint32_t section, std::string_view line, std::size_t begin,
              std::size_t line_break, std::size_t end);
  bool EndsOpen() const;

  std::string bytes_;
  // Where a new key of each section goes: after its last key line, or after
  // its header when it has none. Only the first of same-named sections.
  std::vector<std::size_t> insert_at_;
  std::unordered_map<std::string_view, std::uint32_t, FoldedHash, FoldedEqual> sections_;
  std::unordered_map<KeyName, KeyLine, KeyNameHash, KeyNameEqual> keys_;
};

}  // namespace povupdate::backend
