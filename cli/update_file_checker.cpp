#include "update_file_checker.h"

#include <algorithm>
#include <map>

namespace povupdate_cli {
namespace {

constexpr const char* kIndexSection = "software";
// The library's buffers: a section name read from the index and a value
// arrive cut to these lengths; a path longer than kMaxPath breaks hosts.
constexpr std::size_t kMaxSectionName = 259;
constexpr std::size_t kMaxValue = 2599;
constexpr std::size_t kMaxPath = 259;
constexpr char kSystemDriveMarker = '1';
// Edits allowed between an unknown key and a known one to suggest it.
constexpr std::size_t kMaxSuggestionDistance = 2;

constexpr const char* kEntryKeys[] = {"Version",     "DownLoadPath",    "MD5", "InstallType",
                                      "InstallPath", "InstallParmeter", "Size"};

bool IsDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsMd5(const std::string& text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

// The library asks for "1", "2", ... as "%d" writes them: no sign, no
// leading zero. Numbers too long for that are never reached.
bool IsEntryNumber(const std::string& key) {
  return IsDigits(key) && key[0] != '0' && key.size() <= 18;
}

// Letters and digits only, in one case: "Download_Path" is "downloadpath".
std::string Normalize(const std::string& name) {
  std::string result;
  for (char c : FoldCase(name)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) result += c;
  }
  return result;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

const char* FindEntryKey(const std::string& name) {
  for (const char* key : kEntryKeys) {
    if (FoldCase(name) == FoldCase(key)) return key;
  }
  return nullptr;
}

const char* SuggestEntryKey(const std::string& name) {
  for (const char* key : kEntryKeys) {
    if (EditDistance(Normalize(name), Normalize(key)) <= kMaxSuggestionDistance) return key;
  }
  return nullptr;
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }
std::string Bracketed(const std::string& name) { return "[" + name + "]"; }

class Checker {
 public:
  explicit Checker(const std::string& drive_root) : drive_root_(drive_root) {}

  std::vector<Finding> Check(const std::string& bytes) {
    const std::vector<ProfileSection> sections = ParseProfileText(bytes, findings_);
    FindFirstSections(sections);
    const auto index = first_sections_.find(kIndexSection);
    if (index == first_sections_.end()) {
      Error(0, "there is no [SOFTWARE] index section, so hosts see an empty update list");
    } else {
      CheckIndex(*index->second);
    }
    for (const auto& [name, section] : first_sections_) {
      if (name != kIndexSection) CheckEntry(*section);
    }
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return std::move(findings_);
  }

 private:
  // Reads search only the first of sections with the same name.
  void FindFirstSections(const std::vector<ProfileSection>& sections) {
    for (const ProfileSection& section : sections) {
      if (section.name.size() > kMaxSectionName) {
        Error(section.line, "section name has " + std::to_string(section.name.size()) +
                                " characters; the index can name at most " +
                                std::to_string(kMaxSectionName));
      }
      const auto [first, inserted] = first_sections_.emplace(FoldCase(section.name), &section);
      if (!inserted) {
        Warn(section.line, "section " + Bracketed(section.name) + " repeats the one on line " +
                               std::to_string(first->second->line) + "; only the first is read");
      }
    }
  }

  // The keys a read can find: the first of each name.
  std::vector<const ProfileKey*> FirstKeys(const ProfileSection& section) {
    std::map<std::string, int> seen;
    std::vector<const ProfileKey*> keys;
    for (const ProfileKey& key : section.keys) {
      const auto [first, inserted] = seen.emplace(FoldCase(key.name), key.line);
      if (inserted) {
        keys.push_back(&key);
      } else {
        Warn(key.line, "key " + Quoted(key.name) + " repeats the one on line " +
                           std::to_string(first->second) + "; only the first is read");
      }
    }
    return keys;
  }

  void CheckIndex(const ProfileSection& index) {
    std::map<unsigned long long, const ProfileKey*> numbers;
    for (const ProfileKey* key : FirstKeys(index)) {
      if (IsEntryNumber(key->name)) {
        numbers.emplace(std::stoull(key->name), key);
      } else {
        Warn(key->line, "index key " + Quoted(key->name) +
                            " is never read: entries are numbered 1, 2, 3 and so on");
      }
    }
    // The walk ends at the first number that is missing or empty.
    unsigned long long end = 1;
    while (numbers.count(end) != 0 && !numbers[end]->value.empty()) ++end;
    if (end == 1) Warn(index.line, "the index has no entry 1, so hosts see an empty update list");

    for (const auto& [number, key] : numbers) {
      if (key->value.empty()) continue;
      const std::string entry = "entry " + std::to_string(number);
      if (number > end) {
        Error(key->line, entry + " is never delivered: the list ends before entry " +
                             std::to_string(end) + ", which is " +
                             (numbers.count(end) != 0 ? "empty" : "missing"));
      }
      std::string section = key->value;
      if (section.size() > kMaxSectionName) {
        Error(key->line, entry + " names a section of " + std::to_string(section.size()) +
                             " characters; it is cut to " + std::to_string(kMaxSectionName) +
                             " when read");
        section.resize(kMaxSectionName);
      }
      const std::string folded = FoldCase(section);
      if (first_sections_.count(folded) == 0) {
        Error(key->line, entry + " names section " + Bracketed(section) +
                             ", which does not exist: the entry arrives with every field empty");
      }
      const auto [first, inserted] = named_by_.emplace(folded, number);
      if (!inserted) {
        Warn(key->line, entry + " names " + Bracketed(section) + " as entry " +
                            std::to_string(first->second) + " does, so hosts get that entry twice");
      }
    }
  }

  void CheckEntry(const ProfileSection& section) {
    if (named_by_.count(FoldCase(section.name)) == 0) {
      Warn(section.line,
           "section " + Bracketed(section.name) + " is never read: no index entry names it");
    }
    for (const ProfileKey* key : FirstKeys(section)) {
      const char* known = FindEntryKey(key->name);
      if (known == nullptr) {
        WarnUnknownKey(*key);
      } else {
        CheckValue(known, *key);
      }
    }
  }

  void WarnUnknownKey(const ProfileKey& key) {
    if (key.name.empty()) {
      Warn(key.line, "a value without a key name is never read");
      return;
    }
    const char* suggestion = SuggestEntryKey(key.name);
    Warn(key.line,
         "unknown key " + Quoted(key.name) + " is never read" +
             (suggestion != nullptr ? "; did you mean " + Quoted(suggestion) + "?"
                                    : "; the keys are Version, DownLoadPath, MD5, InstallType, "
                                      "InstallPath, InstallParmeter and Size"));
  }

  void CheckValue(const std::string& known, const ProfileKey& key) {
    const std::string& value = key.value;
    if (value.size() > kMaxValue) {
      Error(key.line, known + " has " + std::to_string(value.size()) +
                          " characters; hosts get only the first " + std::to_string(kMaxValue));
    }
    if (known == "MD5" && !value.empty() && !IsMd5(value)) {
      Error(key.line, "MD5 " + Quoted(value) + " is not 32 hexadecimal digits");
    }
    if (known == "Size" && !value.empty() && !IsDigits(value)) {
      Error(key.line, "Size " + Quoted(value) + " is not a whole number of bytes");
    }
    if (known == "InstallPath" && !value.empty() && value[0] == kSystemDriveMarker) {
      const std::size_t expanded = drive_root_.size() + value.size() - 1;
      if (expanded > kMaxPath) {
        Error(key.line, "InstallPath becomes " + std::to_string(expanded) +
                            " characters long once its leading '1' is the system drive's "
                            "root; a path may have at most " +
                            std::to_string(kMaxPath));
      }
    }
  }

  void Error(int line, const std::string& message) {
    findings_.push_back({line, Severity::kError, message});
  }
  void Warn(int line, const std::string& message) {
    findings_.push_back({line, Severity::kWarning, message});
  }

  const std::string drive_root_;
  std::vector<Finding> findings_;
  std::map<std::string, const ProfileSection*> first_sections_;  // by folded name
  std::map<std::string, unsigned long long> named_by_;           // folded section name -> entry
};

}  // namespace

std::vector<Finding> CheckUpdateFile(const std::string& bytes, const std::string& drive_root) {
  return Checker(drive_root).Check(bytes);
}

}  // namespace povupdate_cli
