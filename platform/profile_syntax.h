// How Windows' profile services read the lines of an INI file. The Linux
// profile service, the library's check of the names it writes and the
// update-file checker of `povupdate check` all read through here, so that
// each agrees with what a read will find.
#pragma once

#include <cstddef>
#include <string_view>

namespace povupdate {

// The blanks each part of a line loses: Windows trims only spaces from the
// section and key a caller asks for (a tab there must match a tab), and
// space, tab and vertical tab before a line's first character, around the
// names in the file and around values.
inline constexpr std::string_view kArgumentBlanks = " ";
inline constexpr std::string_view kNameBlanks = " \t\v";
inline constexpr std::string_view kValueBlanks = " \t\v";

// `text` without the `blanks` at either end; still a view into `text`.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks);

// CR LF, LF and CR alone each end a line. The line starting at `begin`
// ends at LineBreakFrom (its line break, or the end of the text); the next
// one starts at NextLineAt.
std::size_t LineBreakFrom(std::string_view text, std::size_t begin);
std::size_t NextLineAt(std::string_view text, std::size_t line_break);

enum class ProfileLineKind {
  kBlank,
  kComment,  // starts with ';'
  kSection,  // starts with '['
  kKey,      // holds a '='
  kOther,    // none of these: never read
};

// One line as a read sees it. Every view points into the line.
struct ProfileLine {
  ProfileLineKind kind = ProfileLineKind::kBlank;
  // The line from its first character that isn't a name blank, up to a NUL.
  std::string_view text;
  // kSection: the name, which ends at the first ']' or, without one, at the
  // end of the line. kKey: the text before the first '='. Blanks trimmed.
  std::string_view name;
  // kSection: whether a ']' ends the name, and the text after it.
  bool closed = false;
  std::string_view after_close;
  // kKey: the text after the first '=' as it stands, and the value a read
  // returns: that text without its blanks and one pair of matching quotes.
  std::string_view after_equals;
  std::string_view value;
};

// `line` is one line without its line break.
ProfileLine ParseProfileLine(std::string_view line);

// Whether a write can make a section of `name` that a read of `name` finds:
// the header a write makes, "[name]" without the spaces around the name,
// must read back as that name.
bool IsStorableSectionName(std::string_view name);

}  // namespace povupdate
