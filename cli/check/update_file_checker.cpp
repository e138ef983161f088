#include "check/update_file_checker.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "check/profile_text.h"
#include "platform/signed_file.h"
#include "platform/text.h"

namespace povupdate_cli {
namespace {

// A path longer than this breaks hosts.
constexpr std::size_t kMaxPath = povupdate::kTextSize - 1;
using povupdate::kKeyNames;
using povupdate::kSystemDriveMarker;
// Edits allowed between an unknown key and a known one to suggest it.
constexpr std::size_t kMaxSuggestionDistance = 2;

// An entry's keys, in the order they are listed: the record's and SHA256.
constexpr const char* kEntryKeys[] = {kKeyNames[povupdate::kVersion],
                                      kKeyNames[povupdate::kDownLoadPath],
                                      kKeyNames[povupdate::kMd5],
                                      povupdate::kSha256Key,
                                      kKeyNames[povupdate::kInstallType],
                                      kKeyNames[povupdate::kInstallPath],
                                      kKeyNames[povupdate::kInstallParmeter],
                                      kKeyNames[povupdate::kSize]};

bool IsDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsSha256(const std::string& text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
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

// The entry's key `name` is, as kEntryKeys spells it; null when none.
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

// "Version, DownLoadPath, ... and Size".
std::string KeyList() {
  std::string list;
  for (const char* key : kEntryKeys) {
    if (!list.empty()) list += key == kEntryKeys[std::size(kEntryKeys) - 1] ? " and " : ", ";
    list += key;
  }
  return list;
}
std::string Bracketed(std::string_view name) { return "[" + std::string(name) + "]"; }

// The section an index line names, cut as a read cuts it.
std::string_view NamedSection(std::string_view text, LineAt line) {
  return ProfileLineAt(text, line).value.substr(0, kMaxSectionName);
}

struct KeyAt {
  std::string_view value;
  int line = 0;
};

// The keys of an entry section that say what its download is.
struct DownloadKeys {
  KeyAt path;
  KeyAt md5;
  KeyAt sha256;
  KeyAt size;
  int line = 0;
};

class Checker : public ProfileVisitor {
 public:
  Checker(const std::string& drive_root, const DownloadLookup& downloads)
      : drive_root_(drive_root), downloads_(downloads) {}

  Findings Check(std::string_view text) {
    text_ = text;
    const FirstLines sections = ReadProfileText(text, *this, findings_);
    if (!has_index_) {
      Error("no-index", 0,
            "there is no [SOFTWARE] index section, so hosts see an empty update list");
    } else {
      CheckIndex(sections);
    }
    sections.ForEach([&](LineAt line) {
      const std::string_view name = sections.Name(line);
      if (!povupdate::EqualsIgnoringAsciiCase(name, kIndexSection) &&
          !povupdate::EqualsIgnoringAsciiCase(name, povupdate::kSignatureSection) &&
          named_by_.Find(name).number == 0) {
        Warn("unnamed-section", line.number,
             "section " + Bracketed(name) + " is never read: no index entry names it");
      }
    });
    EndEntrySection();
    // A signed file promises each download's SHA-256.
    if (signed_) {
      for (const auto& [name, line] : without_sha256_) {
        Error("missing-sha256", line,
              "section " + Bracketed(name) +
                  " has a download but no SHA256: in a signed file every download carries one "
                  "(povupdate entry set writes it)");
      }
      // Beyond what the findings keep, only the count matters.
      for (std::size_t i = 0; i < more_without_sha256_; ++i) {
        Error("missing-sha256", 0, "a download without SHA256");
      }
    }
    if (downloads_) CheckDownloads();
    return std::move(findings_);
  }

  void Section(std::string_view name, int line) override {
    EndEntrySection();
    in_index_ = povupdate::EqualsIgnoringAsciiCase(name, kIndexSection);
    in_signature_ = povupdate::EqualsIgnoringAsciiCase(name, povupdate::kSignatureSection);
    signed_ = signed_ || in_signature_;
    section_line_ = line;
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
      if (!IsEntryNumber(std::string(name))) {
        Warn(
            "index-key", line,
            "index key " + Quoted(name) + " is never read: entries are numbered 1, 2, 3 and so on");
      }
      return;
    }
    if (in_signature_) return;  // read by verify-file and the library, not as an entry
    const char* known = FindEntryKey(std::string(name));
    if (known == nullptr) {
      WarnUnknownKey(name, line);
      return;
    }
    CheckValue(known, value, line);
    if (known == std::string_view(kKeyNames[povupdate::kDownLoadPath]) && !value.empty()) {
      has_download_ = true;
    }
    if (known == std::string_view(povupdate::kSha256Key) && !value.empty()) has_sha256_ = true;
    if (downloads_) {
      DownloadKeys& keys = download_keys_[section_];
      const std::string field = known;
      if (field == kKeyNames[povupdate::kDownLoadPath]) keys.path = {value, line};
      if (field == kKeyNames[povupdate::kMd5]) keys.md5 = {value, line};
      if (field == povupdate::kSha256Key) keys.sha256 = {value, line};
      if (field == kKeyNames[povupdate::kSize]) keys.size = {value, line};
    }
  }

 private:
  void EndEntrySection() {
    if (has_download_ && !has_sha256_) {
      if (without_sha256_.size() < Findings::kMaxPerKind) {
        without_sha256_.emplace_back(section_, section_line_);
      } else {
        ++more_without_sha256_;
      }
    }
    has_download_ = false;
    has_sha256_ = false;
  }

  // The first index section's keys: those that are entry numbers are the
  // entries, by number.
  void SectionEnd(FirstLines& keys) override {
    if (!in_index_) return;
    numbers_ = keys.Take();
    numbers_.erase(std::remove_if(numbers_.begin(), numbers_.end(),
                                  [&](LineAt key) { return !IsEntryNumber(Number(key)); }),
                   numbers_.end());
    // Without leading zeros, the shorter number is the smaller.
    std::sort(numbers_.begin(), numbers_.end(), [&](LineAt a, LineAt b) {
      const std::string_view x = ProfileLineAt(text_, a).name;
      const std::string_view y = ProfileLineAt(text_, b).name;
      return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
  }

  std::string Number(LineAt key) const { return std::string(ProfileLineAt(text_, key).name); }

  void CheckIndex(const FirstLines& sections) {
    // The walk ends at the first number that is missing or empty.
    std::size_t delivered = 0;
    while (delivered < numbers_.size() &&
           Number(numbers_[delivered]) == std::to_string(delivered + 1) &&
           !ProfileLineAt(text_, numbers_[delivered]).value.empty()) {
      ++delivered;
    }
    const unsigned long long end = delivered + 1;
    const bool end_is_empty =
        delivered < numbers_.size() && Number(numbers_[delivered]) == std::to_string(end);
    if (end == 1) {
      Warn("no-entry-1", sections.Find("SOFTWARE").number,
           "the index has no entry 1, so hosts see an empty update list");
    }
    end_ = end;
    named_by_ = FirstLines(text_, &NamedSection, numbers_.size());
    for (const LineAt key : numbers_) {
      const std::string_view value = ProfileLineAt(text_, key).value;
      if (value.empty()) continue;
      const unsigned long long number = std::stoull(Number(key));
      const std::string entry = "entry " + std::to_string(number);
      if (number > end) {
        Error("never-delivered", key.number,
              entry + " is never delivered: the list ends before entry " + std::to_string(end) +
                  ", which is " + (end_is_empty ? "empty" : "missing"));
      }
      const std::string_view section = NamedSection(text_, key);
      if (value.size() > kMaxSectionName) {
        Error("long-index-value", key.number,
              entry + " names a section of " + std::to_string(value.size()) +
                  " characters; it is cut to " + std::to_string(kMaxSectionName) + " when read");
      }
      if (povupdate::EqualsIgnoringAsciiCase(section, povupdate::kSignatureSection)) {
        Error("index-names-signature", key.number,
              entry + " names the signature section, which is no entry");
      }
      if (sections.Find(section).number == 0) {
        Error("missing-section", key.number,
              entry + " names section " + Bracketed(section) +
                  ", which does not exist: the entry arrives with every field empty");
      }
      const LineAt first = named_by_.Add(key);
      if (first.number != key.number) {
        Warn("shared-section", key.number,
             entry + " names " + Bracketed(section) + " as entry " + Number(first) +
                 " does, so hosts get that entry twice");
      }
    }
  }

  // Every entry a host is given, against the file its download names.
  void CheckDownloads() {
    named_by_.ForEach([&](LineAt key) {
      const unsigned long long number = std::stoull(Number(key));
      if (number >= end_) return;
      const std::string_view section = named_by_.Name(key);
      const auto found = download_keys_.find(section);
      if (found == download_keys_.end()) return;  // reported as missing
      const DownloadKeys& keys = found->second;
      const std::string name = DownloadFileName(std::string(keys.path.value));
      const std::string entry = "entry " + std::to_string(number) + " " + Bracketed(section);
      if (name.empty()) {
        Error("no-download", keys.path.line != 0 ? keys.path.line : keys.line,
              entry + " names no file to download");
        return;
      }
      const DownloadFacts facts = downloads_(name);
      if (!facts.found) {
        Error("missing-download", keys.path.line,
              entry + ": download " + Quoted(name) + " " + facts.problem);
        return;
      }
      for (const Mismatch& mismatch :
           DownloadMismatches(std::string(keys.md5.value), std::string(keys.size.value), facts,
                              std::string(keys.sha256.value))) {
        const std::string field = mismatch.field;
        const int line = field == kKeyNames[povupdate::kMd5] ? keys.md5.line
                         : field == povupdate::kSha256Key    ? keys.sha256.line
                                                             : keys.size.line;
        Error("download-mismatch", line != 0 ? line : keys.line,
              entry + ": download " + Quoted(name) +
                  " does not match: " + DescribeMismatch(mismatch));
      }
    });
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
                                    : "; the keys are " + KeyList()));
  }

  void CheckValue(std::string_view known, std::string_view value, int line) {
    if (value.size() > kMaxValue) {
      Error("long-value", line,
            std::string(known) + " has " + std::to_string(value.size()) +
                " characters; hosts get only the first " + std::to_string(kMaxValue));
    }
    const std::string text(value.substr(0, kMaxValue + 1));
    if (known == kKeyNames[povupdate::kMd5] && !text.empty() && !IsMd5(text)) {
      Error("bad-md5", line, "MD5 " + Quoted(text) + " is not 32 hexadecimal digits");
    }
    if (known == povupdate::kSha256Key && !text.empty() && !IsSha256(text)) {
      Error("bad-sha256", line,
            "SHA256 " + Quoted(text) + " is not 64 lower-case hexadecimal digits");
    }
    if (known == kKeyNames[povupdate::kSize] && !text.empty() && !IsDigits(text)) {
      Error("bad-size", line, "Size " + Quoted(text) + " is not a whole number of bytes");
    }
    if (known == kKeyNames[povupdate::kInstallPath] && !value.empty() &&
        value[0] == kSystemDriveMarker) {
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
  bool in_signature_ = false;
  bool signed_ = false;
  bool has_download_ = false;
  bool has_sha256_ = false;
  int section_line_ = 0;
  std::vector<std::pair<std::string_view, int>> without_sha256_;  // the first ones
  std::size_t more_without_sha256_ = 0;
  std::string_view text_;
  std::string_view section_;
  std::vector<LineAt> numbers_;  // the first index section's entries, by number
  unsigned long long end_ = 1;   // the first number not delivered
  // The entry line that first names each section.
  FirstLines named_by_{{}, &NamedSection, 0};
  std::map<std::string_view, DownloadKeys, FoldedLess> download_keys_;  // only with downloads
};

}  // namespace

Findings CheckUpdateFile(std::string bytes, const std::string& drive_root,
                         const DownloadLookup& downloads) {
  const std::string text = ProfileTextOf(std::move(bytes));
  return Checker(drive_root, downloads).Check(text);
}

std::vector<Mismatch> DownloadMismatches(const std::string& md5, const std::string& size,
                                         const DownloadFacts& found, const std::string& sha256) {
  std::vector<Mismatch> mismatches;
  if (povupdate::FoldAsciiCase(md5) != found.md5)
    mismatches.push_back({kKeyNames[povupdate::kMd5], md5, found.md5});
  if (!sha256.empty() && sha256 != found.sha256) {
    mismatches.push_back({povupdate::kSha256Key, sha256, found.sha256});
  }
  const std::string found_size = std::to_string(found.size);
  if (size != found_size) mismatches.push_back({kKeyNames[povupdate::kSize], size, found_size});
  return mismatches;
}

std::string DescribeMismatch(const Mismatch& mismatch) {
  return std::string(mismatch.field) + ": expected " + Quoted(mismatch.expected) + ", found " +
         Quoted(mismatch.found);
}

std::string DownloadFileName(const std::string& path) {
  std::string_view name = path;
  const std::size_t scheme = name.find("://");
  if (scheme == std::string_view::npos) {
    // A path on disk or a share: its last component, taken as it is.
    name = name.substr(name.find_last_of("/\\") + 1);
  } else {
    // A URL: its path ends at the query or fragment, and starts at the first
    // '/' after the host.
    name = name.substr(0, name.find_first_of("?#"));
    const std::size_t path_start = name.find('/', scheme + 3);
    if (path_start == std::string_view::npos) return "";
    name = name.substr(name.rfind('/') + 1);
  }
  std::string decoded;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%' || scheme == std::string_view::npos) {
      decoded += name[i];
      continue;
    }
    const std::string_view digits = name.substr(i + 1, 2);
    if (digits.size() < 2 || !std::isxdigit(static_cast<unsigned char>(digits[0])) ||
        !std::isxdigit(static_cast<unsigned char>(digits[1]))) {
      return "";
    }
    decoded += static_cast<char>(std::stoi(std::string(digits), nullptr, 16));
    i += 2;
  }
  // What can't be a file's name in a directory, on either system.
  const bool unsafe = std::any_of(decoded.begin(), decoded.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '/' || c == '\\' || c == ':';
  });
  if (unsafe || decoded == "." || decoded == "..") return "";
  return decoded;
}

}  // namespace povupdate_cli
