// The first line of each name among the lines of one text, kept in eight
// bytes a name, so that a file of millions of names costs a check a few bytes
// for each byte of the lines that hold them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace povupdate_cli {

// A line of a text: where it starts and its number (the first is 1).
// Number 0 stands for no line.
struct LineAt {
  std::uint32_t offset = 0;
  int number = 0;
};

// Names match without regard to ASCII case, as the profile services match
// them. Most names sit in one array sorted by name; the latest few in a small
// hash table, merged into the array whenever it fills.
class FirstLines {
 public:
  // The name a line stands for: a view into `text`.
  using NameOf = std::string_view (*)(std::string_view text, LineAt line);

  // `most` bounds how many names there will be: room for that many is set
  // aside once and touched only as it fills, so that the array never stands
  // in memory twice while it grows.
  FirstLines(std::string_view text, NameOf name_of, std::size_t most);

  // The first line of `line`'s name: `line` itself when it is the first.
  LineAt Add(LineAt line);
  // The first line of `name`, or no line.
  LineAt Find(std::string_view name) const;
  std::string_view Name(LineAt line) const { return name_of_(text_, line); }

  // Every first line, in no particular order; the table is left empty.
  std::vector<LineAt> Take();
  void Clear();

  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const LineAt line : sorted_) visit(line);
    for (const LineAt line : recent_) {
      if (line.number != 0) visit(line);
    }
  }

 private:
  std::size_t SlotOf(std::string_view name) const;
  void Merge();

  std::string_view text_;
  NameOf name_of_;
  std::size_t most_;
  std::vector<LineAt> sorted_;  // by name
  std::vector<LineAt> recent_;  // open addressing; number 0 marks a free slot
  std::size_t recent_count_ = 0;
};

}  // namespace povupdate_cli
