#include "update_file_checker.h"

#include <algorithm>
#include <map>

#include "platform/text.h"
#include "profile_text.h"

namespace povupdate_cli {
namespace {

// A path longer than this breaks hosts.
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
  for (char c : povupdate::FoldAsciiCase(name)) {
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
    if (povupdate::EqualsIgnoringAsciiCase(name, key)) return key;
  }
  return nullptr;
}

const char* SuggestEntryKey(const std::string& name) {
  for (const char* key : kEntryKeys) {
    if (EditDistance(Normalize(name), Normalize(key)) <= kMaxSuggestionDistance) return key;
  }
  return nullptr;
}

std::string Quoted(std::string_view name) { return "'" + std::string(name) + "'"; }
std::string Bracketed(std::string_view name) { return "[" + std::string(name) + "]"; }

struct KeyAt {
  std::string_view value;
  int line = 0;
};

// The keys of an entry section that say what its download is.
struct DownloadKeys {
  KeyAt path;
  KeyAt md5;
  KeyAt size;
  int line = 0;
};

class Checker : public ProfileVisitor {
 public:
  Checker(const std::string& drive_root, const DownloadLookup& downloads)
      : drive_root_(drive_root), downloads_(downloads) {}

  Findings Check(std::string_view text) {
    const SectionLines sections = ReadProfileText(text, *this, findings_);
    if (!has_index_) {
      Error("no-index", 0,
            "there is no [SOFTWARE] index section, so hosts see an empty update list");
    } else {
      CheckIndex(sections);
    }
    for (const auto& [name, line] : sections) {
      if (!povupdate::EqualsIgnoringAsciiCase(name, kIndexSection) && named_by_.count(name) == 0) {
        Warn("unnamed-section", line,
             "section " + Bracketed(name) + " is never read: no index entry names it");
      }
    }
    if (downloads_) CheckDownloads();
    return std::move(findings_);
  }

  void Section(std::string_view name, int line) override {
    in_index_ = povupdate::EqualsIgnoringAsciiCase(name, kIndexSection);
    has_index_ = has_index_ || in_index_;
    if (name.size() > kMaxSectionName) {
      Error("long-section", line,
            "section name has " + std::to_string(name.size()) +
                " characters; the index can name at most " + std::to_string(kMaxSectionName));
    }
    section_ = name;
    if (downloads_ && !in_index_) download_keys_[name].line = line;
  }

  void Key(std::string_view name, std::string_view value, int line) override {
    if (in_index_) {
      AddIndexKey(name, value, line);
      return;
    }
    const char* known = FindEntryKey(std::string(name));
    if (known == nullptr) {
      WarnUnknownKey(name, line);
      return;
    }
    CheckValue(known, value, line);
    if (downloads_) {
      DownloadKeys& keys = download_keys_[section_];
      const std::string field = known;
      if (field == "DownLoadPath") keys.path = {value, line};
      if (field == "MD5") keys.md5 = {value, line};
      if (field == "Size") keys.size = {value, line};
    }
  }

 private:
  void AddIndexKey(std::string_view name, std::string_view value, int line) {
    if (IsEntryNumber(std::string(name))) {
      numbers_.emplace(std::stoull(std::string(name)), KeyAt{value, line});
    } else {
      Warn("index-key", line,
           "index key " + Quoted(name) + " is never read: entries are numbered 1, 2, 3 and so on");
    }
  }

  void CheckIndex(const SectionLines& sections) {
    // The walk ends at the first number that is missing or empty.
    unsigned long long end = 1;
    while (numbers_.count(end) != 0 && !numbers_[end].value.empty()) ++end;
    if (end == 1) {
      Warn("no-entry-1", index_line(sections),
           "the index has no entry 1, so hosts see an empty update list");
    }
    end_ = end;
    for (const auto& [number, key] : numbers_) {
      if (key.value.empty()) continue;
      const std::string entry = "entry " + std::to_string(number);
      if (number > end) {
        Error("never-delivered", key.line,
              entry + " is never delivered: the list ends before entry " + std::to_string(end) +
                  ", which is " + (numbers_.count(end) != 0 ? "empty" : "missing"));
      }
      std::string_view section = key.value;
      if (section.size() > kMaxSectionName) {
        Error("long-index-value", key.line,
              entry + " names a section of " + std::to_string(section.size()) +
                  " characters; it is cut to " + std::to_string(kMaxSectionName) + " when read");
        section = section.substr(0, kMaxSectionName);
      }
      if (sections.count(section) == 0) {
        Error("missing-section", key.line,
              entry + " names section " + Bracketed(section) +
                  ", which does not exist: the entry arrives with every field empty");
      }
      const auto [first, inserted] = named_by_.emplace(section, number);
      if (!inserted) {
        Warn("shared-section", key.line,
             entry + " names " + Bracketed(section) + " as entry " + std::to_string(first->second) +
                 " does, so hosts get that entry twice");
      }
    }
  }

  int index_line(const SectionLines& sections) const {
    const auto index = sections.find("SOFTWARE");
    return index == sections.end() ? 0 : index->second;
  }

  // Every entry a host is given, against the file its download names.
  void CheckDownloads() {
    for (const auto& [section, number] : named_by_) {
      if (number >= end_) continue;
      const auto found = download_keys_.find(section);
      if (found == download_keys_.end()) continue;  // reported as missing
      const DownloadKeys& keys = found->second;
      const std::string name = DownloadFileName(std::string(keys.path.value));
      const std::string entry = "entry " + std::to_string(number) + " " + Bracketed(section);
      if (name.empty()) {
        Error("no-download", keys.path.line != 0 ? keys.path.line : keys.line,
              entry + " names no file to download");
        continue;
      }
      const DownloadFacts facts = downloads_(name);
      if (!facts.found) {
        Error("missing-download", keys.path.line,
              entry + ": download " + Quoted(name) + " " + facts.problem);
        continue;
      }
      for (const Mismatch& mismatch :
           DownloadMismatches(std::string(keys.md5.value), std::string(keys.size.value), facts)) {
        const int line = mismatch.field == std::string("MD5") ? keys.md5.line : keys.size.line;
        Error("download-mismatch", line != 0 ? line : keys.line,
              entry + ": download " + Quoted(name) +
                  " does not match: " + DescribeMismatch(mismatch));
      }
    }
  }

  void WarnUnknownKey(std::string_view name, int line) {
    if (name.empty()) {
      Warn("no-key-name", line, "a value without a key name is never read");
      return;
    }
    const char* suggestion = SuggestEntryKey(std::string(name));
    Warn("unknown-key", line,
         "unknown key " + Quoted(name) + " is never read" +
             (suggestion != nullptr ? "; did you mean " + Quoted(suggestion) + "?"
                                    : "; the keys are Version, DownLoadPath, MD5, InstallType, "
                                      "InstallPath, InstallParmeter and Size"));
  }

  void CheckValue(const std::string& known, std::string_view value, int line) {
    if (value.size() > kMaxValue) {
      Error("long-value", line,
            known + " has " + std::to_string(value.size()) +
                " characters; hosts get only the first " + std::to_string(kMaxValue));
    }
    const std::string text(value.substr(0, kMaxValue + 1));
    if (known == "MD5" && !text.empty() && !IsMd5(text)) {
      Error("bad-md5", line, "MD5 " + Quoted(text) + " is not 32 hexadecimal digits");
    }
    if (known == "Size" && !text.empty() && !IsDigits(text)) {
      Error("bad-size", line, "Size " + Quoted(text) + " is not a whole number of bytes");
    }
    if (known == "InstallPath" && !value.empty() && value[0] == kSystemDriveMarker) {
      const std::size_t expanded = drive_root_.size() + value.size() - 1;
      if (expanded > kMaxPath) {
        Error("long-install-path", line,
              "InstallPath becomes " + std::to_string(expanded) +
                  " characters long once its leading '1' is the system drive's root; a path may "
                  "have at most " +
                  std::to_string(kMaxPath));
      }
    }
  }

  void Error(const char* kind, int line, std::string message) {
    findings_.Add(kind, line, Severity::kError, std::move(message));
  }
  void Warn(const char* kind, int line, std::string message) {
    findings_.Add(kind, line, Severity::kWarning, std::move(message));
  }

  const std::string drive_root_;
  const DownloadLookup& downloads_;
  Findings findings_;
  bool has_index_ = false;
  bool in_index_ = false;
  std::string_view section_;
  std::map<unsigned long long, KeyAt> numbers_;  // the first index section's
  unsigned long long end_ = 1;                   // the first number not delivered
  std::map<std::string_view, unsigned long long, FoldedLess> named_by_;  // section -> entry
  std::map<std::string_view, DownloadKeys, FoldedLess> download_keys_;   // only with downloads
};

}  // namespace

Findings CheckUpdateFile(std::string bytes, const std::string& drive_root,
                         const DownloadLookup& downloads) {
  const std::string text = ProfileTextOf(std::move(bytes));
  return Checker(drive_root, downloads).Check(text);
}

std::vector<Mismatch> DownloadMismatches(const std::string& md5, const std::string& size,
                                         const DownloadFacts& found) {
  std::vector<Mismatch> mismatches;
  if (povupdate::FoldAsciiCase(md5) != found.md5) mismatches.push_back({"MD5", md5, found.md5});
  const std::string found_size = std::to_string(found.size);
  if (size != found_size) mismatches.push_back({"Size", size, found_size});
  return mismatches;
}

std::string DescribeMismatch(const Mismatch& mismatch) {
  return std::string(mismatch.field) + ": expected " + Quoted(mismatch.expected) + ", found " +
         Quoted(mismatch.found);
}

std::string DownloadFileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  // A web address may end in a query or fragment that is no part of the file's name.
  const std::size_t query = name.find_first_of("?#");
  if (path.find("://") != std::string::npos && query != std::string::npos) name.resize(query);
  return name;
}

}  // namespace povupdate_cli
