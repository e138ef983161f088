#include "check/update_file_checker.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace povupdate_cli {
namespace {

struct Expected {
  int line;
  Severity severity;
  const char* fragment;  // a part of the message
};

std::string Join(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& line : lines) text += line + end;
  return text;
}

void ExpectFindings(const std::string& text, const std::vector<Expected>& expected,
                    const std::string& root = "C:\\") {
  const std::vector<Finding> findings = CheckUpdateFile(text, root).Take();
  std::string all;
  for (const auto& f : findings) all += std::to_string(f.line) + ": " + f.message + "\n";
  ASSERT_EQ(findings.size(), expected.size()) << all;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(findings[i].line, expected[i].line) << all;
    EXPECT_EQ(findings[i].severity, expected[i].severity) << all;
    EXPECT_NE(findings[i].message.find(expected[i].fragment), std::string::npos) << all;
  }
}

constexpr Severity kError = Severity::kError;
constexpr Severity kWarning = Severity::kWarning;
const char* const kMd5 = "9e107d9d372bb6826bd81d3542a419d6";

TEST(CheckUpdateFile, FindsNothingInAWellFormedFile) {
  ExpectFindings(
      Join({"; offered updates", "[SOFTWARE]", "1=Viewer", "2=Codecs", "", "[Viewer]",
            "Version=1.0", "DownLoadPath=http://example.com/v.exe", std::string("MD5=") + kMd5,
            "InstallType=exe", "InstallPath=1Program Files\\Viewer", "InstallParmeter=/S",
            "Size=100", "[codecs]", "  downloadpath = \"http://example.com/c.msi\"  ",
            "md5='9E107D9D372BB6826BD81D3542A419D6'", "Size=0"}),
      {});
}

// The signature section is no entry and reads no entry keys; in a signed
// file every download carries its SHA256.
TEST(CheckUpdateFile, HoldsASignedFileToItsFormat) {
  const std::string signature =
      "[PovUpdate.Signature]\r\nFile=Update_6.1.ini\r\nSerial=1\r\n"
      "Expires=2099-01-01T00:00:00Z\r\nSignature=MEUC\r\n";
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "2=B", "3=PovUpdate.signature", "[A]",
                       "DownLoadPath=http://example.com/a.exe", "SHA256=ABC", "[B]",
                       "DownLoadPath=http://example.com/b.exe", "[C]",
                       "DownLoadPath=http://example.com/c.exe", "SHA256=" + std::string(64, 'a')}) +
                     signature,
                 {{4, kError, "names the signature section"},
                  {7, kError, "SHA256 'ABC' is not 64 lower-case"},
                  {8, kError, "[B] has a download but no SHA256"},
                  {10, kWarning, "[C] is never read"}});
}

TEST(CheckUpdateFile, ReportsIndexNumbersTheWalkNeverReaches) {
  // 3 is missing, so 4 is never asked for; an empty 2 ends the list as well.
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "2=B", "4=D", "[A]", "[B]", "[D]"}),
                 {{4, kError, "entry 4 is never delivered"}});
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "2=", "3=C", "[A]", "[C]"}),
                 {{4, kError, "which is empty"}});
  ExpectFindings(Join({"[SOFTWARE]", "01=A", "one=A", "[A]"}),
                 {{1, kWarning, "no entry 1"},
                  {2, kWarning, "index key '01' is never read"},
                  {3, kWarning, "index key 'one' is never read"},
                  {4, kWarning, "no index entry names it"}});
}

TEST(CheckUpdateFile, ReportsIndexValuesNamingMissingOrSharedSections) {
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "2=Gone", "3=a", "[A]"}),
                 {{3, kError, "section [Gone], which does not exist"},
                  {4, kWarning, "names [a] as entry 1 does"}});
  ExpectFindings(Join({"[Extra]", "Version=1"}), {{0, kError, "no [SOFTWARE] index section"},
                                                  {1, kWarning, "section [Extra] is never read"}});
}

TEST(CheckUpdateFile, OnlyTheFirstOfRepeatedSectionsAndKeysIsChecked) {
  // The repeats hold bad values, which no read ever sees.
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "[A]", "Size=1", "size=one", "[a]", "Size=two",
                       "[software]", "1=B"}),
                 {{5, kWarning, "key 'size' repeats the one on line 4"},
                  {6, kWarning, "section [a] repeats the one on line 3"},
                  {8, kWarning, "section [software] repeats the one on line 1"}});
}

TEST(CheckUpdateFile, ReportsTextsTheLibraryCuts) {
  const std::string long_name(260, 'n');
  ExpectFindings(Join({"[SOFTWARE]", "1=" + long_name, "[" + long_name + "]"}),
                 {{2, kError, "names a section of 260 characters"},
                  {2, kError, "does not exist"},  // the cut name names no section
                  {3, kError, "section name has 260 characters"},
                  {3, kWarning, "never read"}});
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "[A]", "DownLoadPath=" + std::string(2599, 'x'),
                       "InstallType=" + std::string(2600, 'x')}),
                 {{5, kError, "InstallType has 2600 characters"}});
}

TEST(CheckUpdateFile, MeasuresInstallPathsWithTheSystemDriveRoot) {
  const std::string text =
      Join({"[SOFTWARE]", "1=A", "[A]", "InstallPath=1" + std::string(257, 'p'), "[B]",
            "InstallPath=2" + std::string(300, 'p')});
  // "C:\" and 257 characters make 260; "/" and 257 make 258. Without the
  // marker the value is taken as it stands.
  ExpectFindings(text,
                 {{4, kError, "InstallPath becomes 260 characters"}, {5, kWarning, "never read"}});
  ExpectFindings(text, {{5, kWarning, "never read"}}, "/");
}

TEST(CheckUpdateFile, ReportsMalformedChecksumsAndSizes) {
  ExpectFindings(
      Join({"[SOFTWARE]", "1=A", "2=B", "3=C", "[A]", "MD5=9e107d9d372bb6826bd81d3542a419d",
            "Size=1.5", "[B]", "MD5=9e107d9d372bb6826bd81d3542a419dg", "Size=-1", "[C]",
            "MD5=", "Size=\"12'"}),
      {{6, kError, "is not 32 hexadecimal digits"},
       {7, kError, "'1.5' is not a whole number"},
       {9, kError, "is not 32 hexadecimal digits"},
       {10, kError, "'-1' is not a whole number"},
       {13, kError, "'\"12'' is not a whole number"}});
}

TEST(CheckUpdateFile, SuggestsTheKeyAMisspeltOneMeant) {
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "[A]", "InstallParameter=/S", "Download_Path=x",
                       "Homepage=x", "=x", "DOWNLOADPATH=y"}),
                 {{4, kWarning, "did you mean 'InstallParmeter'?"},
                  {5, kWarning, "did you mean 'DownLoadPath'?"},
                  {6, kWarning, "the keys are Version"},
                  {7, kWarning, "without a key name"}});
}

TEST(CheckUpdateFile, ReportsLinesTheProfileServicesIgnoreOrReadOtherwise) {
  ExpectFindings(Join({"Version=1", "[SOFTWARE]", "1=A", "[A] ; the viewer", "just text",
                       "# a comment?", "; a comment", "[B", "Version=2", "[C]x]"}),
                 {{1, kWarning, "before the first section"},
                  {4, kWarning, "after the section header's ']'"},
                  {5, kWarning, "not a section header"},
                  {6, kWarning, "only ';' starts a comment"},
                  {8, kWarning, "without ']'"},
                  {8, kWarning, "section [B] is never read"},
                  {10, kWarning, "after the section header's ']'"},
                  {10, kWarning, "section [C] is never read"}});
}

// The checker reads lines as the profile services do: a NUL ends a line,
// and tabs and vertical tabs before a header and around a name in the file
// don't count.
TEST(CheckUpdateFile, ReadsLinesAsTheProfileServicesDo) {
  using namespace std::string_literals;
  ExpectFindings(Join({"[SOFTWARE]", "1=A", "2=B", "3=C", "[\tA\t]", "Size=1\0x"s, "\v[B]",
                       "[\vC\v]", "\vSize\v=2"}),
                 {});
}

TEST(CheckUpdateFile, CountsLinesTheSameWhateverEndsThem) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    ExpectFindings(Join({"[SOFTWARE]", "", "1=Gone"}, end), {{3, kError, "[Gone]"}});
  }
  // No line end after the last line, and CR LF pairs mixed with lone ends.
  ExpectFindings("[SOFTWARE]\r\n\n\r1=Gone", {{4, kError, "[Gone]"}});
}

TEST(CheckUpdateFile, ReportsAByteOrderMarkByWhatItCosts) {
  ExpectFindings("\xEF\xBB\xBF" + Join({"[SOFTWARE]", "1=A", "[A]"}),
                 {{1, kError, "section [SOFTWARE] and its keys are lost"}});
  ExpectFindings("\xEF\xBB\xBF" + Join({"; updates", "[SOFTWARE]", "1=A", "[A]"}),
                 {{1, kWarning, "byte-order mark"}});
}

// The name is the URL's path's, never its query's or fragment's; what can't
// name a file in the downloads directory names none.
TEST(DownloadFileName, IsTheLastComponentOfTheUrlsPath) {
  using namespace std::string_literals;
  const std::pair<std::string, std::string> rows[] = {
      {"https://h/NotUploaded.exe?mirror=/PovViewer.exe", "NotUploaded.exe"},
      {"https://h/Missing.exe#/PovViewer.exe", "Missing.exe"},
      {"https://h/PovViewer.exe?sig=ab/cd", "PovViewer.exe"},
      {"https://h/a/Pov%20Viewer%2Eexe", "Pov Viewer.exe"},
      {"D:\\Setups\\Pov%20Viewer.exe", "Pov%20Viewer.exe"},
      {"https://updates.example.com", ""},
      {"https://updates.example.com/", ""},
      {"https://h/a/.", ""},
      {"https://h/a/%2E%2E", ""},
      {"https://h/a%2F..", ""},
      {"https://h/a%5C..", ""},
      {"https://h/C%3Aboot.ini", ""},
      {"https://h/a%00.exe", ""},
      {"https://h/a%1B.exe", ""},
      {"https://h/a%zz.exe", ""},
      {"https://h/a.exe%", ""},
  };
  for (const auto& [url, name] : rows) EXPECT_EQ(DownloadFileName(url), name) << url;
}

}  // namespace
}  // namespace povupdate_cli
