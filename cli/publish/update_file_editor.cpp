#include "publish/update_file_editor.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "check/update_file_checker.h"
#include "interface/facts.h"
#include "platform/ini_document.h"
#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "publish/profile_edit.h"
#include "shared/file_access.h"
#include "shared/host_platform.h"
#include "shared/output.h"
#include "shared/update_file_entries.h"

namespace povupdate_cli {
namespace {

using povupdate::backend::IniDocument;

int Refuse(const std::string& message) { return ReportError(1, message + "; no file was changed"); }

// A value reads back as written when no read trims or unquotes it.
bool ReadsBackAsValue(const std::string& value) {
  const std::string line = "k=" + value;
  return !povupdate::HasLineBreak(value) && value.size() <= kMaxValue &&
         povupdate::ParseProfileLine(line).value == value;
}

// What keeps `name` from being read back as an entry: its header, and the
// index value naming it, must each give exactly `name`.
std::string NameProblem(const std::string& name) {
  if (name.empty()) return "an entry needs a name";
  if (povupdate::HasLineBreak(name)) return "the name holds a line break";
  if (name.size() > kMaxSectionName) {
    return "the name has more than " + std::to_string(kMaxSectionName) + " characters";
  }
  const std::string line = "[" + name + "]";
  const povupdate::ProfileLine header = povupdate::ParseProfileLine(line);
  if (header.name != name || !header.after_close.empty() || !ReadsBackAsValue(name)) {
    return "no section header can hold the name (']', blanks at its ends, or quotes around it)";
  }
  if (povupdate::EqualsIgnoringAsciiCase(name, kIndexSection))
    return "the index section is no entry";
  return "";
}

std::string TypeFromExtension(const std::string& installer) {
  const std::size_t dot = installer.find_last_of('.');
  const std::size_t separator = installer.find_last_of("/\\");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return "";
  const std::string extension = povupdate::FoldAsciiCase(installer.substr(dot + 1));
  for (const char* known : {"exe", "msi", "zip"}) {
    if (extension == known) return known;
  }
  return "";
}

// A file named without a directory is the one in the current directory, and
// each file has one name for its lock and in messages.
std::vector<std::string> AbsolutePaths(const std::vector<std::string>& given) {
  std::vector<std::string> paths;
  paths.reserve(given.size());
  for (const std::string& path : given) paths.push_back(std::filesystem::absolute(path).string());
  return paths;
}

std::size_t FindInIndex(const std::vector<std::string>& index, const std::string& name) {
  for (std::size_t i = 0; i < index.size(); ++i) {
    if (povupdate::EqualsIgnoringAsciiCase(index[i], name)) return i + 1;
  }
  return 0;
}

// An update file as the edit changes it, one key at a time, each change
// placed where Windows' profile service would place it.
class EditedFile {
 public:
  explicit EditedFile(const IniDocument& original) : original_(original) {}

  const IniDocument& document() const { return edited_ ? *edited_ : original_; }

  // A text given in the ANSI code page, as the file holds it: UTF-8 in a
  // UTF-16 file. False when the file can't hold it.
  bool Stored(const std::string& text, std::string& stored) const {
    stored = original_.IsUtf16() ? AnsiToUtf8(text) : text;
    return original_.CanHold(stored);
  }

  void Set(const std::string& section, const std::string& key,
           std::optional<std::string_view> value) {
    Replace(document().Edit(section, key, value));
  }
  void SetIndexKey(std::size_t number, std::optional<std::string_view> value) {
    Set(kIndexSection, std::to_string(number), value);
  }
  void RemoveSection(const std::string& section) { Replace(document().RemoveSection(section)); }

  // Whether the walk now delivers exactly `expected`; else `problem` names
  // the index key it reaches that it did not reach before the edit.
  bool WalksAs(const std::vector<std::string>& expected, std::string& problem) const {
    const std::vector<std::string> walked = WalkIndex(document());
    if (walked == expected) return true;
    std::size_t first = 0;
    while (first < walked.size() && first < expected.size() && walked[first] == expected[first]) {
      ++first;
    }
    problem = first < walked.size()
                  ? "has index key " + std::to_string(first + 1) + "=" + walked[first] +
                        " past the end of the update list: the edit would publish it again; "
                        "remove or renumber that key first"
                  : "has an index the edit can't keep whole";
    return false;
  }

  std::string Take() { return edited_ ? edited_->bytes() : original_.bytes(); }

 private:
  void Replace(std::string bytes) {
    edited_ = std::make_unique<const IniDocument>(std::move(bytes));
  }

  const IniDocument& original_;
  std::unique_ptr<const IniDocument> edited_;
};

}  // namespace

int SetEntry(const std::string& installer, EntryTexts entry, const std::vector<std::string>& paths,
             bool json) {
  const std::string name_problem = NameProblem(entry.name);
  if (!name_problem.empty()) return Refuse(name_problem);
  if (entry.install_type.empty()) entry.install_type = TypeFromExtension(installer);
  // The installer is digested before any file is locked.
  std::string md5;
  std::string sha256;
  std::uint64_t size = 0;
  std::string problem;
  if (!DigestRegularFile(installer, md5, sha256, size, problem)) {
    return Refuse("the installer " + installer + " " + problem);
  }
  const std::string size_text = std::to_string(size);
  using povupdate::kKeyNames;
  // Each key's text, in the record's order with SHA256 after MD5; the name
  // is the section's.
  const std::pair<const char*, const std::string*> keys[] = {
      {kKeyNames[povupdate::kVersion], &entry.version},
      {kKeyNames[povupdate::kDownLoadPath], &entry.url},
      {kKeyNames[povupdate::kMd5], &md5},
      {povupdate::kSha256Key, &sha256},
      {kKeyNames[povupdate::kInstallType], &entry.install_type},
      {kKeyNames[povupdate::kInstallPath], &entry.install_path},
      {kKeyNames[povupdate::kInstallParmeter], &entry.parameters},
      {kKeyNames[povupdate::kSize], &size_text}};
  for (const auto& [key, value] : keys) {
    if (!ReadsBackAsValue(*value)) {
      return Refuse(std::string(key) +
                    " can't be stored as given (a line break, blanks at its "
                    "ends, quotes around it, or more than " +
                    std::to_string(kMaxValue) + " characters)");
    }
  }
  const auto change = [&](const IniDocument& file, std::string& edited, std::string& refusal) {
    EditedFile text(file);
    std::string name;
    if (!text.Stored(entry.name, name)) {
      refusal = "is UTF-16LE text, and the name is not UTF-8";
      return false;
    }
    std::vector<std::pair<const char*, std::string>> values;
    for (const auto& [key, value] : keys) {
      values.emplace_back(key, std::string());
      if (!text.Stored(*value, values.back().second)) {
        refusal = "is UTF-16LE text, and " + std::string(key) + " is not UTF-8";
        return false;
      }
    }
    std::vector<std::string> index = WalkIndex(file);
    // The index first, so that a new file starts with it.
    if (FindInIndex(index, name) == 0) {
      index.push_back(name);
      text.SetIndexKey(index.size(), name);
    }
    for (const auto& [key, value] : values) text.Set(name, key, value);
    if (!text.WalksAs(index, refusal)) return false;
    edited = text.Take();
    return true;
  };
  return EditFiles(AbsolutePaths(paths), change,
                   "entry " + entry.name + " set (MD5 " + md5 + ", " + size_text + " bytes)", json);
}

int RemoveEntry(const std::string& name, const std::vector<std::string>& paths, bool json) {
  const auto change = [&](const IniDocument& file, std::string& edited, std::string& refusal) {
    EditedFile text(file);
    std::string stored;
    const std::vector<std::string> index = WalkIndex(file);
    if (!text.Stored(name, stored) || FindInIndex(index, stored) == 0) {
      refusal = "has no entry " + name + " in its index";
      return false;
    }
    // The entries after it move up one, so no gap ends the list early.
    std::vector<std::string> kept;
    for (const std::string& value : index) {
      if (!povupdate::EqualsIgnoringAsciiCase(value, stored)) kept.push_back(value);
    }
    for (std::size_t i = 0; i < index.size(); ++i) {
      if (i < kept.size() && kept[i] == index[i]) continue;
      text.SetIndexKey(i + 1,
                       i < kept.size() ? std::optional<std::string_view>(kept[i]) : std::nullopt);
    }
    text.RemoveSection(stored);
    if (!text.WalksAs(kept, refusal)) return false;
    edited = text.Take();
    return true;
  };
  return EditFiles(AbsolutePaths(paths), change, "entry " + name + " removed", json);
}

}  // namespace povupdate_cli
