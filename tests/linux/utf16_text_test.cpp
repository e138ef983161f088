// UTF-16LE profile files: the conversion to and from UTF-8 at its edges,
// reads and edits of such files, and the profile services keeping them
// UTF-16LE.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/ini_document.h"
#include "platform/linux/win32_api.h"
#include "platform/utf16_text.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

using namespace std::string_literals;
using backend::IniDocument;
using backend::Utf16LeFromUtf8;
using backend::Utf16LeOffsetOf;
using backend::Utf8FromUtf16Le;

constexpr char kBom[] = "\xFF\xFE";
constexpr char kReplacement[] = "\xEF\xBF\xBD";
constexpr char kReplacementUnit[] = "\xFD\xFF";

// ASCII text as UTF-16LE code units, spelt out independently of the code
// under test.
std::string Units(std::string_view ascii) {
  std::string units;
  for (const char c : ascii) units.append(1, c).append(1, '\0');
  return units;
}

std::string Utf16File(std::string_view ascii) { return kBom + Units(ascii); }

// Each character at the edges of the UTF-8 lengths and around the
// surrogates, first as UTF-16LE and then as UTF-8.
const std::string kEdgeUnits =
    "\x00\x00\x7F\x00\x80\x00\xFF\x07\x00\x08\xFF\xD7\x00\xE0\xFF\xFF"
    "\x00\xD8\x00\xDC\xFF\xDB\xFF\xDF"s;
const std::string kEdgeText =
    "\x00\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"
    "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"s;

TEST(Utf16ProfileTextTest, EdgeCharactersConvertBothWays) {
  EXPECT_EQ(Utf8FromUtf16Le(kEdgeUnits), kEdgeText);
  EXPECT_EQ(Utf16LeFromUtf8(kEdgeText), kEdgeUnits);
  EXPECT_EQ(Utf8FromUtf16Le(""), "");
  EXPECT_EQ(Utf16LeFromUtf8(""), "");
}

TEST(Utf16ProfileTextTest, UnpairedSurrogatesReadAsReplacement) {
  const std::string high = "\x3D\xD8";
  const std::string low = "\x00\xDE"s;
  EXPECT_EQ(Utf8FromUtf16Le(high), kReplacement);
  EXPECT_EQ(Utf8FromUtf16Le(high + Units("A")), kReplacement + "A"s);
  EXPECT_EQ(Utf8FromUtf16Le(high + high + low), kReplacement + "\xF0\x9F\x98\x80"s);
  EXPECT_EQ(Utf8FromUtf16Le(low + high), kReplacement + std::string(kReplacement));
}

TEST(Utf16ProfileTextTest, OddLastByteIsLeftOut) {
  EXPECT_EQ(Utf8FromUtf16Le(Units("AB") + "C"), "AB");
  EXPECT_EQ(Utf8FromUtf16Le("C"), "");
  // A high surrogate cut in half is no partner for the one before it.
  EXPECT_EQ(Utf8FromUtf16Le("\x3D\xD8\x00"s), kReplacement);
  EXPECT_EQ(Utf16LeOffsetOf(Units("AB") + "C", 99), 4u);
}

TEST(Utf16ProfileTextTest, IllFormedUtf8WritesOneReplacementPerMaximalPart) {
  const struct {
    std::string text;
    std::string units;
  } rows[] = {
      {"\x80", kReplacementUnit},
      {"\xE2\x82", kReplacementUnit},  // cut short
      {"\xE2\x82"
       "A",
       kReplacementUnit + Units("A")},                                 // cut short
      {"\xC0\x80", kReplacementUnit + std::string(kReplacementUnit)},  // overlong
      {"\xE0\x9F\xBF", std::string(kReplacementUnit) + kReplacementUnit + kReplacementUnit},
      {"\xED\xA0\x80", std::string(kReplacementUnit) + kReplacementUnit + kReplacementUnit},
      {"\xF4\x90\x80\x80", std::string(kReplacementUnit) + kReplacementUnit + kReplacementUnit +
                               kReplacementUnit},  // past U+10FFFF
      {"\xF8"
       "A",
       kReplacementUnit + Units("A")},
      {"\xF0\x9F\x98", kReplacementUnit},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Utf16LeFromUtf8(row.text), row.units) << testing::PrintToString(row.text);
  }
}

TEST(Utf16ProfileTextTest, Utf8OffsetsMapToTheirCodeUnits) {
  // "a", U+00E9, U+20AC, U+1F600, "b": UTF-8 offsets 0 1 3 6 10, end 11.
  const std::string units = Units("a") + "\xE9\x00\xAC\x20\x3D\xD8\x00\xDE"s + Units("b");
  const struct {
    std::size_t utf8;
    std::size_t units;
  } rows[] = {{0, 0},   {1, 2},   {3, 4}, {6, 6},
              {10, 10}, {11, 12}, {2, 4},  // inside U+00E9: the next character
              {7, 10},                     // inside U+1F600
              {99, 12}};
  for (const auto& row : rows) EXPECT_EQ(Utf16LeOffsetOf(units, row.utf8), row.units) << row.utf8;
}

TEST(IniDocumentUtf16Test, ReadsUtf16AsUtf8) {
  const std::string file = Utf16File("[Sec]\r\nName=") + "\xE9\x00t\x00\xE9\x00"s +
                           Units("\r\nSmile = \"") + "\x3D\xD8\x00\xDE"s + Units("\"\r\n");
  const IniDocument document(file);

  EXPECT_EQ(document.bytes(), file);
  EXPECT_EQ(document.Find("sec", "name"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(document.Find("Sec", "Smile"), "\xF0\x9F\x98\x80");
  EXPECT_FALSE(document.Find("Sec", "Other"));
}

TEST(IniDocumentUtf16Test, EditsStayUtf16WithTheBom) {
  const IniDocument document(Utf16File("[s]\r\nk=1\r\nj=2\r\n"));

  EXPECT_EQ(document.Edit("s", "k", "\xE2\x82\xAC"),
            Utf16File("[s]\r\nk=") + "\xAC\x20" + Units("\r\nj=2\r\n"));
  EXPECT_EQ(document.Edit("s", "n", "3"), Utf16File("[s]\r\nk=1\r\nj=2\r\nn=3\r\n"));
  EXPECT_EQ(document.Edit("t", "x", "y"), Utf16File("[s]\r\nk=1\r\nj=2\r\n[t]\r\nx=y\r\n"));
  EXPECT_EQ(document.Edit("s", "k", std::nullopt), Utf16File("[s]\r\nj=2\r\n"));
  EXPECT_EQ(document.Edit("s", "absent", std::nullopt), document.bytes());
}

// Only the edited characters are converted, so what a read shows as U+FFFD
// or leaves out stays in the file as it was, and UTF-16 added after a last
// odd byte is not shifted out of step.
TEST(IniDocumentUtf16Test, EditsKeepStraySurrogatesAndOddLastByte) {
  const std::string stray = "\x00\xD8"s;
  const std::string head = Utf16File("[s]\r\nbad=") + stray + Units("\r\nk=1");
  const IniDocument document(head + "Z");

  EXPECT_EQ(document.Find("s", "bad"), kReplacement);
  EXPECT_EQ(document.Edit("s", "k", "22"),
            Utf16File("[s]\r\nbad=") + stray + Units("\r\nk=22\r\n") + "Z");
  EXPECT_EQ(document.Edit("t", "x", "y"), head + Units("\r\n[t]\r\nx=y\r\n") + "Z");
  EXPECT_EQ(document.Edit("s", "bad", std::nullopt), Utf16File("[s]\r\nk=1") + "Z");
  EXPECT_EQ(document.Edit("s", "absent", std::nullopt), head + "Z");
}

TEST(IniDocumentUtf16Test, OnlyTheUtf16LeBomMakesAUtf16File) {
  EXPECT_EQ(IniDocument(kBom).Edit("s", "k", "v"), Utf16File("\r\n[s]\r\nk=v\r\n"));
  // Neither a lone 0xFF nor the UTF-16BE byte-order mark is recognised.
  EXPECT_EQ(IniDocument("\xFF").Edit("s", "k", "v"), "\xFF\r\n[s]\r\nk=v\r\n");
  EXPECT_EQ(IniDocument("\xFE\xFF").Edit("s", "k", "v"), "\xFE\xFF\r\n[s]\r\nk=v\r\n");
  EXPECT_EQ(IniDocument("[s]\r\nk=\xE9\r\n").Edit("s", "j", "\xE9"), "[s]\r\nk=\xE9\r\nj=\xE9\r\n");
}

class Utf16ProfileServiceTest : public ::testing::Test {
 protected:
  std::string Read(const char* key) const {
    char buffer[64];
    const DWORD length =
        GetPrivateProfileStringA("s", key, "(none)", buffer, sizeof buffer, path_.c_str());
    return std::string(buffer, length);
  }
  BOOL Write(const char* key, const char* value) const {
    return WritePrivateProfileStringA("s", key, value, path_.c_str());
  }

  TempDir dir_;
  const std::string path_ = dir_.File("profile.ini");
};

TEST_F(Utf16ProfileServiceTest, WritesKeepTheFileUtf16) {
  WriteFile(path_, Utf16File("[s]\r\nk=1\r\n"));
  ASSERT_EQ(Read("k"), "1");

  ASSERT_TRUE(Write("k", "\xC3\xA9"));
  ASSERT_TRUE(Write("n", "2"));

  EXPECT_EQ(ReadFile(path_), Utf16File("[s]\r\nk=") + "\xE9\x00"s + Units("\r\nn=2\r\n"));
  EXPECT_EQ(Read("k"), "\xC3\xA9");
  EXPECT_EQ(Read("n"), "2");
}

// The cache compares the bytes on disk, not the text they decode to: the
// same text in UTF-16 is another file.
TEST_F(Utf16ProfileServiceTest, SameTextInUtf16IsAChangedFile) {
  WriteFile(path_, "[s]\r\nk=1\r\n");
  ASSERT_EQ(Read("k"), "1");
  WriteFile(path_, Utf16File("[s]\r\nk=1\r\n"));

  ASSERT_TRUE(Write("k", "2"));

  EXPECT_EQ(ReadFile(path_), Utf16File("[s]\r\nk=2\r\n"));
}

}  // namespace
}  // namespace povupdate::test
