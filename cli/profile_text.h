// An INI-format profile file read as Windows' profile services read it, for
// the update-file checker: every section and key with its line number.
#pragma once

#include <string>
#include <vector>

namespace povupdate_cli {

enum class Severity { kError, kWarning };

// A problem found in a file. Line 0 stands for the whole file.
struct Finding {
  int line = 0;
  Severity severity = Severity::kWarning;
  std::string message;
};

struct ProfileKey {
  std::string name;
  std::string value;  // as a read delivers it: blanks and one pair of quotes removed
  int line = 0;
};

struct ProfileSection {
  std::string name;
  int line = 0;
  std::vector<ProfileKey> keys;  // in file order, repeats included
};

// `findings` gets the lines the profile services ignore, headers they read
// differently from how they look, and a UTF-8 byte-order mark.
std::vector<ProfileSection> ParseProfileText(const std::string& bytes,
                                             std::vector<Finding>& findings);

// Names match without regard to ASCII case, as the profile services match them.
std::string FoldCase(std::string text);

}  // namespace povupdate_cli
