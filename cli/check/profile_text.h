// An INI-format profile file read as Windows' profile services read it, for
// the update-file checker: every section and key a read can find, with its
// line number, handed over as the file is read so that nothing per line is
// kept.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "shared/findings.h"

#include "check/first_lines.h"
#include "platform/profile_syntax.h"

namespace povupdate_cli {

// Names match without regard to ASCII case, as the profile services match them.
struct FoldedLess {
  bool operator()(std::string_view a, std::string_view b) const;
};

// Receives what a read can find: the first section of each name (a read
// searches no further) and, in it, the first key of each name.
class ProfileVisitor {
 public:
  virtual ~ProfileVisitor() = default;
  virtual void Section(std::string_view name, int line) = 0;
  virtual void Key(std::string_view name, std::string_view value, int line) = 0;
  // After the keys of the section last given: its first key lines, for a
  // visitor that keeps them to Take().
  virtual void SectionEnd(FirstLines& keys) { static_cast<void>(keys); }
};

// The line of `text` that starts at `line`'s offset, as a read sees it.
povupdate::ProfileLine ProfileLineAt(std::string_view text, LineAt line);

// Reads the text of a profile file; every view handed out points into
// `text`, every offset counts from its start. `findings` gets the lines the
// profile services ignore, headers they read differently from how they look,
// repeated sections and keys, and a UTF-8 byte-order mark. Returns the first
// section of each name.
FirstLines ReadProfileText(std::string_view text, ProfileVisitor& visitor, Findings& findings);

// The text a read finds in a file's bytes: UTF-16LE after its byte-order
// mark becomes UTF-8, as the library reads it; any other file is its bytes.
std::string ProfileTextOf(std::string bytes);

}  // namespace povupdate_cli
