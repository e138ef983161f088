// GetPrivateProfileStringA and WritePrivateProfileStringA against what
// Windows does, row by row. The Linux build runs its own services, the
// Windows build the system's (Wine's, under Wine). Rows where Wine 8 is
// known to differ from Windows say how, and are skipped under Wine.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

using namespace std::string_literals;

constexpr DWORD kGuardSize = 8;
constexpr char kGuardByte = '\x7e';

bool UnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

#define SKIP_WHERE_WINE_DIFFERS(row)                              \
  if ((row).wine != nullptr && UnderWine()) {                     \
    GTEST_SKIP() << "known Wine difference: Wine " << (row).wine; \
  }

// Some Windows versions write into the section and key strings they are
// given, so they are passed in writable buffers.
DWORD Read(std::string section, std::string key, const char* fallback, char* buffer, DWORD size,
           const std::string& path) {
  return GetPrivateProfileStringA(section.data(), key.data(), fallback, buffer, size, path.c_str());
}

std::string Read(const std::string& section, const std::string& key, const std::string& path) {
  char buffer[256];
  const DWORD length = Read(section, key, "(none)", buffer, sizeof buffer, path);
  return std::string(buffer, length);
}

BOOL Write(std::string section, std::string key, const char* value, const std::string& path) {
  return WritePrivateProfileStringA(section.data(), key.data(), value, path.c_str());
}

struct ReadCase {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  const char* fallback;
  DWORD size;
  std::string expected;
  const char* wine = nullptr;  // how Wine 8 differs, when it does
};

void PrintTo(const ReadCase& row, std::ostream* out) { *out << row.name; }

constexpr char kNone[] = "(none)";
constexpr char kTabArgument[] = "strips tabs from the section and key it is given";
constexpr char kPreSection[] = "reads the lines before the first section as section \"\"";
constexpr char kCommentKeys[] = "reads ';' lines as keys";

const ReadCase kReadCases[] = {
    // Finding the section and the key.
    {"NamesIgnoreCase", "[Sec]\r\nKey=Value\r\n", "sEC", "kEY", kNone, 64, "Value"},
    {"SpacesAroundArgumentsIgnored", "[Sec]\r\nKey=Value\r\n", "  Sec  ", " Key ", kNone, 64,
     "Value"},
    {"TabBeforeKeyArgumentCounts", "[Sec]\r\nKey=Value\r\n", "Sec", "\tKey", kNone, 64, kNone,
     kTabArgument},
    {"TabAfterSectionArgumentCounts", "[Sec]\r\nKey=Value\r\n", "Sec\t", "Key", kNone, 64, kNone,
     kTabArgument},
    {"KeyMatchesWholeName", "[s]\r\n10=a\r\n01=b\r\n1x=c\r\n", "s", "1", kNone, 64, kNone},
    {"SectionMatchesWholeName", "[sec2]\r\nk=1\r\n", "sec", "k", kNone, 64, kNone},
    {"KeyOfLaterSectionNotFound", "[a]\r\n[b]\r\nk=1\r\n", "a", "k", kNone, 64, kNone},
    {"QuotesBelongToSectionName", "[\"Q\"]\r\nk=1\r\n", "\"Q\"", "k", kNone, 64, "1"},
    {"KeyNameKeepsInnerSpaces", "[s]\r\na key=1\r\n", "s", "a key", kNone, 64, "1"},
    {"KeyNameKeepsSemicolon", "[s]\r\nk;semi=2\r\n", "s", "k;semi", kNone, 64, "2"},
    {"BlanksAroundKeyNameIgnored", "[s]\r\n \t Key \t = v\r\n", "s", "key", kNone, 64, "v"},
    {"FirstOfDuplicateKeysWins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", kNone, 64, "1"},
    {"FirstOfDuplicateSectionsWins", "[s]\r\na=1\r\n[S]\r\na=2\r\n", "s", "a", kNone, 64, "1"},
    {"LaterDuplicateSectionNotSearched", "[s]\r\na=1\r\n[S]\r\nb=2\r\n", "s", "b", kNone, 64,
     kNone},
    {"EmptyKeyMatchesEmptyName", "[s]\r\nk=w\r\n=v\r\n", "s", "", kNone, 64, "v"},
    {"EmptyKeyWithoutEmptyName", "[s]\r\nk=v\r\n", "s", "", kNone, 64, kNone},

    // Values.
    {"ValueKeepsItsCase", "[s]\r\nk=MiXed\r\n", "s", "k", kNone, 64, "MiXed"},
    {"ValueBlanksTrimmed", "[s]\r\nk= \t\v in ner \t\v\r\n", "s", "k", kNone, 64, "in ner"},
    {"DoubleQuotesRemoved", "[s]\r\nk=\"quoted\"\r\n", "s", "k", kNone, 64, "quoted"},
    {"SingleQuotesRemoved", "[s]\r\nk='quoted'\r\n", "s", "k", kNone, 64, "quoted"},
    {"BlanksInsideQuotesKept", "[s]\r\nk=  \"  x  \"  \r\n", "s", "k", kNone, 64, "  x  "},
    {"OnlyOuterQuotesRemoved", "[s]\r\nk=\"\"x\"\"\r\n", "s", "k", kNone, 64, "\"x\""},
    {"MismatchedQuotesKept", "[s]\r\nk=\"x'\r\n", "s", "k", kNone, 64, "\"x'"},
    {"OneSidedQuoteKept", "[s]\r\nk=\"x\r\n", "s", "k", kNone, 64, "\"x"},
    {"InnerQuotesKept", "[s]\r\nk=a \"b\" c\r\n", "s", "k", kNone, 64, "a \"b\" c"},
    {"LoneQuoteKept", "[s]\r\nk=\"\r\n", "s", "k", kNone, 64, "\""},
    {"EmptyQuotesGiveEmpty", "[s]\r\nk=\"\"\r\n", "s", "k", kNone, 64, ""},
    {"LaterEqualsBelongToValue", "[s]\r\nEq==x\r\n", "s", "Eq", kNone, 64, "=x"},
    {"NoEndOfLineComments", "[s]\r\nk=first ; note\r\n", "s", "k", kNone, 64, "first ; note"},
    {"EmptyValueIsNotAbsent", "[s]\r\nk=\r\n", "s", "k", kNone, 64, ""},
    {"BlankValueIsNotAbsent", "[s]\r\nk=   \r\n", "s", "k", kNone, 64, ""},
    {"ValueBytesUnchanged", "[s]\r\nk=\xC3\xA9t\xC3\xA9\r\n", "s", "k", kNone, 64,
     "\xC3\xA9t\xC3\xA9"},

    // Section lines.
    {"SectionNameEndsAtFirstBracket", "[x]y]\r\nk=1\r\n", "x", "k", kNone, 64, "1",
     "ends a section name at the last ']'"},
    {"TextAfterBracketIgnored", "[x] ; note\r\nk=1\r\n", "x", "k", kNone, 64, "1"},
    {"KeyGluedToBracketIgnored", "[x]k=glued\r\nk=1\r\n", "x", "k", kNone, 64, "1"},
    {"BracketWithoutCloseStartsSection", "[open  \r\nk=1\r\n", "open", "k", kNone, 64, "1",
     "takes a '[' line without ']' for a key"},
    {"BlanksAroundSectionNameIgnored", "  [ Spaced Name ]\r\nk=1\r\n", "Spaced Name", "k", kNone,
     64, "1"},
    {"VerticalTabBeforeSectionIgnored", "[a]\r\nk=0\r\n\v[b]\r\nk=1\r\n", "b", "k", kNone, 64, "1"},
    {"VerticalTabsInsideBracketsIgnored", "[\vb\v]\r\nk=1\r\n", "b", "k", kNone, 64, "1"},
    {"VerticalTabsAroundKeyNameIgnored", "[s]\r\n\vk\v=1\r\n", "s", "k", kNone, 64, "1"},
    {"EmptySectionName", "k=pre\r\n[]\r\nk=empty\r\n", "", "k", kNone, 64, "empty", kPreSection},
    {"LinesBeforeFirstSectionUnreadable", "k=pre\r\n[s]\r\nk=1\r\n", "", "k", kNone, 64, kNone,
     kPreSection},
    {"LinesBeforeFirstSectionUnreadableAsBlankSection", "k=pre\r\n[s]\r\nk=1\r\n", "  ", "k", kNone,
     64, kNone, kPreSection},

    // Other lines.
    {"LineWithoutEqualsIsNoKey", "[s]\r\nlonely\r\nk=1\r\n", "s", "lonely", kNone, 64, kNone},
    {"LineWithoutEqualsKeepsSection", "[s]\r\nlonely\r\nk=1\r\n", "s", "k", kNone, 64, "1"},
    {"CommentLineIsNoKey", "[s]\r\n;k=c\r\nk=1\r\n", "s", "k", kNone, 64, "1"},
    {"SemicolonKeyNeverFound", "[s]\r\n  ;k=c\r\n", "s", ";k", kNone, 64, kNone, kCommentKeys},
    {"HashStartsNoComment", "[s]\r\n#k=1\r\n", "s", "#k", kNone, 64, "1"},
    {"SlashesStartNoComment", "[s]\r\n//k=2\r\n", "s", "//k", kNone, 64, "2"},

    // Line ends and encoding.
    {"LfLineEnds", "[s]\nk=1\nj=2\n", "s", "j", kNone, 64, "2"},
    {"CrLineEnds", "[s]\rk=1\rj=2\r", "s", "j", kNone, 64, "2"},
    {"MixedLineEnds", "[s]\r\nk=1\nj=2\ri=3\r\n", "s", "i", kNone, 64, "3"},
    {"NoFinalLineBreak", "[s]\r\nk=last", "s", "k", kNone, 64, "last"},
    {"BlankLinesIgnored", "\r\n  \r\n[s]\r\n\r\n \t \r\nk=1\r\n", "s", "k", kNone, 64, "1"},
    {"Utf8BomNotRecognised", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", kNone, 64, kNone,
     "recognises a UTF-8 BOM"},
    {"Utf8BomBeforeCommentLosesNothing", "\xEF\xBB\xBF; c\r\n[s]\r\nk=1\r\n", "s", "k", kNone, 64,
     "1"},

    // The buffer: size - 1 characters and a NUL, nothing at or past buffer[size].
    {"ValueCutToSizeMinusOne", "[s]\r\nk=val1\r\n", "s", "k", kNone, 4, "val"},
    {"ValueFitsExactly", "[s]\r\nk=val1\r\n", "s", "k", kNone, 5, "val1"},
    {"SizeOneGivesEmptyString", "[s]\r\nk=val1\r\n", "s", "k", kNone, 1, ""},
    {"SizeZeroTouchesNothing", "[s]\r\nk=val1\r\n", "s", "k", kNone, 0, ""},
    {"DefaultCutToSizeMinusOne", "[s]\r\n", "s", "k", "(default)", 4, "(de"},
    {"QuotedValueCutAfterUnquoting", "[s]\r\nk=\"abcdef\"\r\n", "s", "k", kNone, 4, "abc"},

    // The default.
    {"NullDefaultIsEmpty", "[s]\r\n", "s", "k", nullptr, 64, ""},
    {"DefaultTrailingSpacesDropped", "[s]\r\n", "s", "k", "def  ", 64, "def"},
    {"DefaultLeadingBlanksKept", "[s]\r\n", "s", "k", "  def", 64, "  def"},
    {"DefaultTrailingTabKept", "[s]\r\n", "s", "k", "def\t", 64, "def\t"},
    {"AllSpaceDefaultIsEmpty", "[s]\r\n", "s", "k", "   ", 64, "", "leaves one space"},
    {"DefaultQuotesKept", "[s]\r\n", "s", "k", "\"q\"", 64, "\"q\"",
     "strips quotes from the default"},
};

class ProfileReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileReadTest, ReadsAsWindowsDoes) {
  const ReadCase& row = GetParam();
  SKIP_WHERE_WINE_DIFFERS(row);
  TempDir dir;
  const std::string path = dir.File("profile.ini");
  WriteFile(path, row.file);
  std::string buffer(row.size + kGuardSize, kGuardByte);

  const DWORD length = Read(row.section, row.key, row.fallback, &buffer[0], row.size, path);

  EXPECT_EQ(length, row.expected.size());
  if (row.size > 0) {
    EXPECT_EQ(buffer.substr(0, length), row.expected);
    EXPECT_EQ(buffer[length], '\0');
  }
  EXPECT_EQ(buffer.substr(row.size), std::string(kGuardSize, kGuardByte));
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileReadTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct Change {
  const char* section;
  const char* key;
  const char* value;  // nullptr deletes
};

struct WriteCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file yet
  std::vector<Change> changes;
  std::string after;
  const char* wine = nullptr;  // how Wine 8 differs, when it does
  // What Wine 8 leaves instead, where that is checked rather than skipped.
  std::optional<std::string> wine_after = std::nullopt;
};

void PrintTo(const WriteCase& row, std::ostream* out) { *out << row.name; }

constexpr char kCommentsEndSection[] =
    "puts a new key after the comments that follow its section's last key";
constexpr char kWholeRewrite[] =
    "rewrites the whole file from its parse: blank lines and text after ']' dropped, "
    "\"key=value\" lines, CRLF everywhere";

const WriteCase kWriteCases[] = {
    // Layout of what is added.
    {"NewFileLayout", std::nullopt, {{"s", "k", "v"}}, "[s]\r\nk=v\r\n"},
    {"NewKeysFollowInCallOrder",
     std::nullopt,
     {{"s", "a", "1"}, {"s", "b", "2"}, {"t", "c", "3"}},
     "[s]\r\na=1\r\nb=2\r\n[t]\r\nc=3\r\n"},
    {"NewKeyAfterLastKeyOfItsSection",
     "[a]\r\nk1=1\r\n[b]\r\nx=1\r\n",
     {{"a", "k2", "2"}},
     "[a]\r\nk1=1\r\nk2=2\r\n[b]\r\nx=1\r\n"},
    // A new key goes after the section's last key, before the comments
    // after it; Wine counts the comments as the section's entries.
    {"NewKeyBeforeCommentsAfterLastKey",
     "[a]\r\nk1=1\r\n; note\r\n\r\n[b]\r\nx=1\r\n",
     {{"a", "k2", "2"}},
     "[a]\r\nk1=1\r\nk2=2\r\n; note\r\n\r\n[b]\r\nx=1\r\n",
     kCommentsEndSection,
     "[a]\r\nk1=1\r\n; note\r\nk2=2\r\n[b]\r\nx=1\r\n"},
    {"NewKeyAfterLastKeyAmongComments",
     "[S]\r\n;c1\r\nb=1\r\n;c2\r\na=1\r\nz=\r\n;x\r\n",
     {{"S", "y", ""}},
     "[S]\r\n;c1\r\nb=1\r\n;c2\r\na=1\r\nz=\r\ny=\r\n;x\r\n",
     kCommentsEndSection,
     "[S]\r\n;c1\r\nb=1\r\n;c2\r\na=1\r\nz=\r\n;x\r\ny=\r\n"},
    {"NewKeysBeforeSemicolonKeysWritten",
     std::nullopt,
     {{"S", "z", ""}, {"S", ";y", ""}, {"S", "a", ""}, {"S", ";b", ""}, {"S", ";c", ""}},
     "[S]\r\nz=\r\na=\r\n;c=\r\n;b=\r\n;y=\r\n",
     kCommentsEndSection,
     "[S]\r\nz=\r\n;y=\r\na=\r\n;b=\r\n;c=\r\n"},
    // Where Windows puts a new key in a section of comments only is not
    // known; this follows Wine: after them.
    {"NewKeyAfterCommentsOfCommentOnlySectionAsWine",
     "[a]\r\n; note\r\n[b]\r\nx=1\r\n",
     {{"a", "k", "v"}},
     "[a]\r\n; note\r\nk=v\r\n[b]\r\nx=1\r\n"},
    {"NewKeyInSectionWithoutKeys",
     "[a]\r\n[b]\r\nx=1\r\n",
     {{"a", "k", "v"}},
     "[a]\r\nk=v\r\n[b]\r\nx=1\r\n"},
    {"ReplacedLastLineWithoutLineBreakGainsOne",
     "[S]\r\nk=v",
     {{"s", "K", "v2"}},
     "[S]\r\nk=v2\r\n"},
    {"NewSectionInUtf16FileOfOnlyItsBom",
     "\xFF\xFE"s,
     {{"s", "k", "v"}},
     "\xFF\xFE\r\0\n\0[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s,
     "writes no line break before the first section",
     "\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s},
    {"NewKeyAfterLastLineWithoutLineBreak",
     "[a]\r\nk=1",
     {{"a", "j", "2"}},
     "[a]\r\nk=1\r\nj=2\r\n"},
    {"NewSectionAtEnd", "[a]\r\nk=1\r\n", {{"b", "x", "y"}}, "[a]\r\nk=1\r\n[b]\r\nx=y\r\n"},
    {"VerticalTabsAroundNamesMatchInWrites",
     "[a]\r\nk=1\r\n\v[\vb\v]\r\n\vx\v=1\r\n",
     {{"b", "x", "2"}},
     "[a]\r\nk=1\r\n\v[\vb\v]\r\n\vx\v=2\r\n",
     kWholeRewrite},
    {"NewSectionAfterMissingLineBreak",
     "[a]\r\nk=1",
     {{"b", "x", "y"}},
     "[a]\r\nk=1\r\n[b]\r\nx=y\r\n"},
    {"NewSectionInLfFile",
     "[a]\nk=1\n",
     {{"b", "x", "y"}},
     "[a]\nk=1\n[b]\r\nx=y\r\n",
     kWholeRewrite},
    {"SpacesAroundNamesNotWritten",
     std::nullopt,
     {{"  s  ", "  k  ", "v"}},
     "[s]\r\nk=v\r\n",
     "keeps trailing spaces of new names"},
    {"SemicolonKeyWrittenAsIs", "[s]\r\n", {{"s", ";k", "v"}}, "[s]\r\n;k=v\r\n"},
    {"Utf8BomSectionGetsSecondCopy",
     "\xEF\xBB\xBF[s]\r\nk=1\r\n",
     {{"s", "k", "2"}},
     "\xEF\xBB\xBF[s]\r\nk=1\r\n[s]\r\nk=2\r\n",
     "recognises a UTF-8 BOM and edits the first section"},

    // Values.
    {"ValueWrittenVerbatim",
     std::nullopt,
     {{"s", "k", " \t\"x\" \t"}},
     "[s]\r\nk= \t\"x\" \t\r\n",
     "drops the leading blanks of a value it writes"},
    {"EmptyValueWritten", std::nullopt, {{"s", "k", ""}}, "[s]\r\nk=\r\n"},
    {"ValueWithLineBreakWrittenRaw",
     std::nullopt,
     {{"s", "k", "a\r\nb=c"}},
     "[s]\r\nk=a\r\nb=c\r\n"},

    // Changing what is there.
    {"ValueReplacedInPlaceKeepingNameSpelling",
     "[Sec]\r\nKey=old\r\nnext=1\r\n",
     {{"sec", "KEY", "New"}},
     "[Sec]\r\nKey=New\r\nnext=1\r\n"},
    {"ReplaceKeepsEveryOtherByte",
     "; head\r\n\r\n[Sec] trailing\n  KEY = old ; c\n\n#x\r\nother=1\r[x]\r\n",
     {{"sec", "key", "new"}},
     "; head\r\n\r\n[Sec] trailing\n  KEY =new\n\n#x\r\nother=1\r[x]\r\n",
     kWholeRewrite},
    {"BytesBeforeFirstSectionKept",
     "ab\0cd\r\n[s]\r\nk=1\r\n"s,
     {{"s", "k", "2"}},
     "ab\0cd\r\n[s]\r\nk=2\r\n"s,
     "cuts a line at a NUL byte"},
    {"DuplicateSectionWritesFirstCopy",
     "[s]\r\na=1\r\n[S]\r\nb=2\r\n",
     {{"s", "b", "3"}},
     "[s]\r\na=1\r\nb=3\r\n[S]\r\nb=2\r\n"},

    // Deleting.
    {"DeleteRemovesFirstOccurrence",
     "[s]\r\na=1\r\nb=2\r\nA=3\r\n",
     {{"s", "a", nullptr}},
     "[s]\r\nb=2\r\nA=3\r\n"},
    {"DeleteKeepsEmptySection", "[s]\r\na=1\r\n[t]\r\n", {{"S", "A", nullptr}}, "[s]\r\n[t]\r\n"},
    {"DeleteAbsentChangesNothing",
     "[s]\r\na=1\r\n",
     {{"s", "b", nullptr}, {"t", "a", nullptr}},
     "[s]\r\na=1\r\n"},
    {"DeleteOnMissingFileLeavesEmptyFile",
     std::nullopt,
     {{"s", "k", nullptr}},
     "",
     "creates no file"},
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWriteTest, WritesAsWindowsDoes) {
  const WriteCase& row = GetParam();
  const bool wine_checked = row.wine_after && UnderWine();
  if (!wine_checked) SKIP_WHERE_WINE_DIFFERS(row);
  TempDir dir;
  const std::string path = dir.File("profile.ini");
  if (row.before) WriteFile(path, *row.before);

  for (const Change& change : row.changes) {
    EXPECT_TRUE(Write(change.section, change.key, change.value, path)) << change.key;
  }

  ASSERT_TRUE(FileExists(path));
  EXPECT_EQ(ReadFile(path), wine_checked ? *row.wine_after : row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProfileWriteTest, ::testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ProfileServiceTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("profile.ini"); }

  TempDir dir_;
};

TEST_F(ProfileServiceTest, WrittenValuesReadBackAsWindowsReadsThem) {
  ASSERT_TRUE(Write("s", "quoted", " \t\"x y\" \t", Path()));
  ASSERT_TRUE(Write("s", "empty", "", Path()));
  ASSERT_TRUE(Write("s", "broken", "a\r\nb=c", Path()));
  ASSERT_TRUE(Write("s", "gone", "1", Path()));
  ASSERT_TRUE(Write("s", "gone", nullptr, Path()));

  EXPECT_EQ(Read("s", "quoted", Path()), "x y");
  EXPECT_EQ(Read("s", "empty", Path()), "");
  EXPECT_EQ(Read("s", "broken", Path()), "a");
  EXPECT_EQ(Read("s", "b", Path()), "c");
  EXPECT_EQ(Read("s", "gone", Path()), kNone);
}

TEST_F(ProfileServiceTest, ReplacedValueReadsBack) {
  ASSERT_TRUE(Write("s", "k", "first", Path()));
  EXPECT_EQ(Read("s", "k", Path()), "first");
  ASSERT_TRUE(Write("S", "K", "second value", Path()));
  EXPECT_EQ(Read("s", "k", Path()), "second value");
}

TEST_F(ProfileServiceTest, SemicolonKeyIsWrittenButNeverRead) {
  if (UnderWine()) GTEST_SKIP() << "known Wine difference: Wine " << kCommentKeys;
  ASSERT_TRUE(Write("s", ";k", "v", Path()));
  EXPECT_EQ(Read("s", ";k", Path()), kNone);
}

TEST_F(ProfileServiceTest, MissingFileReadsAsDefault) {
  SetLastError(0);
  EXPECT_EQ(Read("s", "k", Path()), kNone);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProfileServiceTest, DirectoryReadsAsDefaultAndCannotBeWritten) {
  const std::string directory = dir_.path().string();
  EXPECT_EQ(Read("s", "k", directory), kNone);
  EXPECT_FALSE(Write("s", "k", "v", directory));
}

TEST_F(ProfileServiceTest, EmptyFileNameFails) {
  EXPECT_EQ(Read("s", "k", ""), kNone);
  SetLastError(0);
  EXPECT_FALSE(Write("s", "k", "v", ""));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(ProfileServiceTest, MissingDirectoryFailsWrite) {
  const std::string path = (dir_.path() / "absent" / "profile.ini").string();
  SetLastError(0);
  EXPECT_FALSE(Write("s", "k", "v", path));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(FileExists(dir_.File("absent")));
}

TEST_F(ProfileServiceTest, ReadOnlyFileIsNotWritten) {
  const std::string before = "[s]\r\nk=1\r\n";
  WriteFile(Path(), before);
  MakeReadOnly(Path());

  const BOOL written = Write("s", "k", "2", Path());

  if (written && UnderWine()) {
    GTEST_SKIP() << "known Wine difference: Wine run as root ignores the read-only attribute";
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(Path()), before);
  EXPECT_EQ(Read("s", "k", Path()), "1");
}

TEST_F(ProfileServiceTest, CreatingFileReportsFileNotFound) {
  if (UnderWine()) GTEST_SKIP() << "known Wine difference: Wine reports 0 after creating a file";
  SetLastError(0);
  EXPECT_TRUE(Write("s", "k", "v", Path()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ProfileServiceTest, CutReportsMoreData) {
  if (UnderWine()) GTEST_SKIP() << "known Wine difference: Wine reports 0 for a cut value";
  WriteFile(Path(), "[s]\r\nk=val1\r\n");
  char buffer[4];
  SetLastError(0);
  EXPECT_EQ(Read("s", "k", kNone, buffer, sizeof buffer, Path()), 3u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
}

}  // namespace
}  // namespace povupdate::test
