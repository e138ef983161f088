// The conformance corpus: update files and local configuration files as they
// are met in the field, one directory per case under tests/conformance/cases,
// each run through the exports and held to the results Windows gives.
// tests/conformance/README.md describes the files of a case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "library_support.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

namespace fs = std::filesystem;

const char* const kProfileFiles[] = {"Update_6.1.ini", "PovConfig_6.1.ini"};
const char* const kFieldNames[] = {"Name",        "Version",     "DownLoadPath",    "MD5",
                                   "InstallType", "InstallPath", "InstallParmeter", "Size"};
constexpr int kInstallPathField = 5;
// A run of one printable character at least this long is written \{count*c}.
constexpr std::size_t kShortestRun = 16;
// A walk still going after this many calls has lost its way.
constexpr int kLongestWalk = 10000;

fs::path CasesDir() {
  std::string dir = POVUPDATE_SOURCE_DIR;
#ifdef _WIN32
  // Wine shows the Unix file system as drive Z:.
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
  return fs::path(dir) / "tests" / "conformance" / "cases";
}

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(CasesDir(), error)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A text in double quotes, with C's escapes for '\', '"' and every byte
// outside printable ASCII, and long runs of one character counted.
std::string Quote(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t run = 1;
    while (i + run < text.size() && text[i + run] == text[i]) ++run;
    if (run >= kShortestRun && c > ' ' && c < 0x7F && c != '\\' && c != '"') {
      out += "\\{" + std::to_string(run) + "*" + text[i] + "}";
      i += run;
      continue;
    }
    ++i;
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < ' ' || c >= 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Reads one text in Quote's form; false when there is none.
bool ReadQuoted(std::istream& in, std::string& text) {
  char c = '\0';
  if (!(in >> c) || c != '"') return false;
  text.clear();
  while (in.get(c) && c != '"') {
    if (c != '\\') {
      text += c;
    } else if (!in.get(c)) {
      return false;
    } else if (c == 'r' || c == 'n' || c == 't') {
      text += c == 'r' ? '\r' : c == 'n' ? '\n' : '\t';
    } else if (c == 'x') {
      char hex[3] = {};
      if (!in.get(hex[0]) || !in.get(hex[1])) return false;
      text += static_cast<char>(std::strtol(hex, nullptr, 16));
    } else if (c == '{') {
      std::size_t count = 0;
      char star = '\0', repeated = '\0', close = '\0';
      if (!(in >> count) || !in.get(star) || !in.get(repeated) || !in.get(close)) return false;
      if (star != '*' || close != '}') return false;
      text.append(count, repeated);
    } else {
      text += c;
    }
  }
  return static_cast<bool>(in);
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string DriveRoot() {
#ifdef _WIN32
  char dir[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir, std::min<UINT>(length, 3));
#else
  return "/";
#endif
}

// The eight fields of a record the library filled; nothing for one it left
// alone. The system drive's root differs between systems, so it is shown as
// <ROOT> before the rest of an install path.
void DumpRecord(Record& record, std::string& dump) {
  char** fields = record.Fields();
  if (std::all_of(fields, fields + 8, [](const char* field) { return field == nullptr; })) return;
  const std::string root = DriveRoot();
  for (int i = 0; i < 8; ++i) {
    dump += std::string("    ") + kFieldNames[i] + ": ";
    if (fields[i] == nullptr) {
      dump += "null\n";
      continue;
    }
    std::string text = fields[i];
    if (i == kInstallPathField && !root.empty() && text.compare(0, root.size(), root) == 0) {
      dump += "<ROOT>";
      text.erase(0, root.size());
    }
    dump += Quote(text) + "\n";
  }
}

// One call of the update-list export from `cursor`.
int CallFrom(int cursor, int& after, std::string& dump) {
  Record record;
  after = cursor;
  const int result = GetTheUpdateSoftwareInforFromIni(&after, record.get());
  dump += "  " + std::to_string(cursor) + " -> result " + std::to_string(result) + ", cursor " +
          std::to_string(after) + "\n";
  DumpRecord(record, dump);
  return result;
}

void Walk(std::string& dump) {
  int cursor = 1;
  for (int call = 0; call < kLongestWalk; ++call) {
    int after = cursor;
    if (CallFrom(cursor, after, dump) != 0 || after == -1 || after == cursor) return;
    cursor = after;
  }
  dump += "  (walk stopped)\n";
}

void Get(std::string name, std::string& dump) {
  Record record;
  const int result = GetTheLocalSoftwareInforFromIni(name.c_str(), record.get());
  dump += "  result " + std::to_string(result) + "\n";
  DumpRecord(record, dump);
}

void Set(std::string name, std::string version, std::string& dump) {
  SoftwareInforRecord record{};
  record.Name = name.data();
  record.Version = version.data();
  dump += "  result " + std::to_string(UpdateLocalSoftwareInforToIni(&record)) + "\n";
}

// Performs one line of actions.txt and writes it and its outcome to `dump`.
void Perform(const std::string& line, std::string& dump) {
  std::istringstream in(line);
  std::string verb, name, version;
  int cursor = 0;
  in >> verb;
  dump += line + "\n";
  if (verb == "walk") {
    Walk(dump);
  } else if (verb == "cursor" && in >> cursor) {
    CallFrom(cursor, cursor, dump);
  } else if (verb == "get" && ReadQuoted(in, name)) {
    Get(name, dump);
  } else if (verb == "set" && ReadQuoted(in, name) && ReadQuoted(in, version)) {
    Set(name, version, dump);
  } else {
    ADD_FAILURE() << "unreadable action: " << line;
  }
}

class ConformanceCase : public LibraryTest, public ::testing::WithParamInterface<std::string> {
 protected:
  std::string CaseFile(const std::string& name) const {
    return (CasesDir() / GetParam() / name).string();
  }
  bool Has(const std::string& name) const { return FileExists(CaseFile(name)); }
  // "expected-wine.txt" for "expected.txt", and so on.
  static std::string WineVariant(const std::string& expected) {
    return "expected-wine" + expected.substr(std::strlen("expected"));
  }
  std::string Expected(const std::string& name, bool wine) const {
    return wine && Has(WineVariant(name)) ? WineVariant(name) : name;
  }
  bool HasWineResults() const {
    for (const auto& entry : fs::directory_iterator(CasesDir() / GetParam())) {
      if (entry.path().filename().string().rfind("expected-wine", 0) == 0) return true;
    }
    return false;
  }
};

TEST_P(ConformanceCase, GivesWindowsResults) {
  // Under Wine, a case that meets a known difference of Wine's is held to
  // what Wine does where that is recorded, and skipped where it is not.
  const bool wine = RunningUnderWine() && Has("wine-differs.txt");
  if (wine && !HasWineResults()) GTEST_SKIP() << ReadFile(CaseFile("wine-differs.txt"));
  for (const char* file : kProfileFiles) {
    if (Has(file)) WriteFile(ModuleDir() + file, ReadFile(CaseFile(file)));
  }

  std::istringstream actions(ReadFile(CaseFile("actions.txt")));
  std::string dump;
  for (std::string line; std::getline(actions, line);) {
    line = WithoutCarriageReturns(line);
    if (!line.empty() && line[0] != '#') Perform(line, dump);
  }
  EXPECT_EQ(dump, WithoutCarriageReturns(ReadFile(CaseFile(Expected("expected.txt", wine)))));

  // A file without an expected-<file> is left as it was, or not created.
  for (const char* file : kProfileFiles) {
    const std::string expected = Expected("expected-" + std::string(file), wine);
    const std::string original = Has(expected) ? expected : file;
    if (Has(original)) {
      EXPECT_EQ(Quote(ReadFile(ModuleDir() + file)), Quote(ReadFile(CaseFile(original)))) << file;
    } else {
      EXPECT_FALSE(FileExists(ModuleDir() + file)) << file;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Conformance, ConformanceCase, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace povupdate::test
