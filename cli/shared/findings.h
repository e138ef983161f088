// What the update-file checker reports: findings by line, of each kind at
// most a bounded number.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace povupdate_cli {

enum class Severity { kError, kWarning };

// A problem found in a file. Line 0 stands for the whole file.
struct Finding {
  int line = 0;
  Severity severity = Severity::kWarning;
  std::string message;
};

// The findings of one check. A hostile file can hold millions of the same
// mistake: of each kind only the first kMaxPerKind are kept, the rest counted.
class Findings {
 public:
  static constexpr std::size_t kMaxPerKind = 100;

  // `kind` names the kind of finding; a literal that lives as long as this.
  void Add(const char* kind, int line, Severity severity, std::string message);

  std::size_t errors() const { return errors_; }
  std::size_t warnings() const { return warnings_; }

  // Sorted by line; each kind with findings left out ends in one that says
  // how many.
  std::vector<Finding> Take();

 private:
  struct Kind {
    std::size_t count = 0;
    int last_kept_line = 0;
    Severity severity = Severity::kWarning;
  };
  std::map<std::string_view, Kind> kinds_;
  std::vector<Finding> kept_;
  std::size_t errors_ = 0;
  std::size_t warnings_ = 0;
};

}  // namespace povupdate_cli
