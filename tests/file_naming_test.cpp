// Which files the library works on, and the two file-name exports.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdio>

#include "config/os_version.h"
#include "config/text_trim.h"
#include "library_support.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

TEST(VersionTextTest, FormatsAsTheFileNamesNeedThem) {
  struct Case {
    double number;
    const char* formatted;
    const char* cut;
  };
  const double tenth = static_cast<double>(0.1f);
  const Case cases[] = {{5 + 1 * tenth, "5.100000", "5.1"},
                        {6 + 1 * tenth, "6.100000", "6.1"},
                        {6 + 2 * tenth, "6.200000", "6.2"},
                        {10.0, "10.000000", "10.0"},
                        {0.0, "0.000000", "0.0"},
                        {100 + 3 * tenth, "100.300000", "100.3"},
                        {4294967295.0, "4294967295.000000", "4294967295.0"}};
  for (const Case& c : cases) {
    char text[OsVersion::kNumberTextSize];
    OsVersion::FormatVersionNumber(c.number, text);
    EXPECT_STREQ(text, c.formatted);
    TextTrim().CutAfterPoint(text, 1);
    EXPECT_STREQ(text, c.cut);
  }
}

// The library formats without the C library's "%f", which (in the "C" locale the
// tests run in) is the reference, for every version a system may report.
TEST(VersionTextTest, FormatsAsPercentFDoes) {
  const double tenth = static_cast<double>(0.1f);
  const unsigned largest = 4294967295U;
  const unsigned majors[] = {0, 1, 5, 6, 9, 10, 11, 99, 100, 65535, 1000000, largest};
  // 5242880 and 15728640 put an exact tie at the sixth fraction digit.
  const unsigned minors[] = {0, 1, 2, 3, 9, 10, 11, 99, 12345, 5242880, 15728640, largest};
  for (unsigned major : majors) {
    for (unsigned minor : minors) {
      const double number = major + minor * tenth;
      char expected[64];
      std::snprintf(expected, sizeof expected, "%f", number);
      char text[OsVersion::kNumberTextSize];
      OsVersion::FormatVersionNumber(number, text);
      EXPECT_STREQ(text, expected) << major << "." << minor;
    }
  }
}

TEST(VersionTextTest, CutAfterPointLeavesShortTextsAlone) {
  char no_point[] = "12";
  char short_fraction[] = "1.";
  TextTrim trim;
  trim.CutAfterPoint(no_point, 1);
  trim.CutAfterPoint(short_fraction, 1);
  EXPECT_STREQ(no_point, "12");
  EXPECT_STREQ(short_fraction, "1.");
}

class FileNameTest : public LibraryTest {};

TEST_F(FileNameTest, NamesTheUpdateFileAfterTheSystemVersion) {
  char* first = GetTheFileName();
  char* second = GetTheFileName();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second) << "each call hands out a block of its own";
  EXPECT_EQ(TakeText(first), "Update_6.1.ini");
  EXPECT_EQ(TakeText(second), "Update_6.1.ini");
}

TEST_F(FileNameTest, DeletesTheUpdateFileReadOnlyOrNot) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n");
  MakeReadOnly(UpdateFile());
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  DeleteTheUpdateFile();
  EXPECT_FALSE(FileExists(UpdateFile()));
  EXPECT_TRUE(FileExists(LocalFile())) << "only the update file goes";
  DeleteTheUpdateFile();  // nothing left to delete: returns all the same
}

#ifndef _WIN32
// On Linux the version and the module directory come from the environment,
// so every naming case can be tried in one process.
TEST_F(FileNameTest, VersionsAndFailedQueries) {
  const struct {
    const char* version;
    const char* name;
  } cases[] = {{"10.0", "Update_10.0.ini"},   {"5.1", "Update_5.1.ini"},
               {"100.2", "Update_100.2.ini"}, {"6", "Update_0.0.ini"},
               {"6.10", "Update_0.0.ini"},    {"x.1", "Update_0.0.ini"},
               {"", "Update_0.0.ini"}};
  for (const auto& c : cases) {
    ScopedEnv version("POVUPDATE_OS_VERSION", c.version);
    EXPECT_EQ(TakeText(GetTheFileName()), c.name) << "version text '" << c.version << "'";
  }
  unsetenv("POVUPDATE_OS_VERSION");
  EXPECT_EQ(TakeText(GetTheFileName()), "Update_0.0.ini");
}

TEST_F(FileNameTest, TheUpdateFileIsFoundInTheModuleDirectory) {
  ScopedEnv version("POVUPDATE_OS_VERSION", "10.0");
  WriteFile(ModuleDir() + "Update_10.0.ini", "[SOFTWARE]\r\n1=Viewer\r\n");
  Record record;
  int cursor = 1;
  ASSERT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record.get()), 0);
  EXPECT_EQ(record.Texts()[0], "Viewer");
  DeleteTheUpdateFile();
  EXPECT_FALSE(FileExists(ModuleDir() + "Update_10.0.ini"));
}

// A directory that leaves no room for the file name gives no path at all:
// a path cut short would name another file.
TEST_F(FileNameTest, ATooLongModuleDirectoryNamesNoFile) {
  TempDir base;
  const std::string base_dir = base.path().string() + "/";
  const std::string file = "PovConfig_6.1.ini";
  // Directory plus separator plus file name: 260 characters, one too many.
  const std::string long_dir = base_dir + std::string(260 - file.size() - 1 - base_dir.size(), 'd');
  std::filesystem::create_directory(long_dir);
  ScopedEnv module("POVUPDATE_MODULE_DIR", long_dir.c_str());

  EXPECT_EQ(TakeText(GetTheFileName()), "Update_6.1.ini");
  SoftwareInforRecord record{};
  char name[] = "Viewer";
  char version[] = "2.0";
  record.Name = name;
  record.Version = version;
  EXPECT_EQ(UpdateLocalSoftwareInforToIni(&record), POVUPDATE_WRITE_FAILED);
  EXPECT_TRUE(std::filesystem::is_empty(long_dir));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(base.path()), {}), 1);

  Record read;
  EXPECT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", read.get()), 0);
  EXPECT_EQ(read.Texts()[1], "");
  DeleteTheUpdateFile();
}

TEST_F(FileNameTest, TheLongestDirectoryThatFitsIsUsed) {
  TempDir base;
  const std::string base_dir = base.path().string() + "/";
  const std::string file = "PovConfig_6.1.ini";
  const std::string dir = base_dir + std::string(259 - file.size() - 1 - base_dir.size(), 'd');
  std::filesystem::create_directory(dir);
  ScopedEnv module("POVUPDATE_MODULE_DIR", dir.c_str());
  SoftwareInforRecord record{};
  char name[] = "Viewer";
  char version[] = "2.0";
  record.Name = name;
  record.Version = version;
  EXPECT_EQ(UpdateLocalSoftwareInforToIni(&record), 0);
  EXPECT_TRUE(FileExists(dir + "/" + file));
}

// A host that lies directly in "/", as in many container images.
TEST_F(FileNameTest, TheRootIsAModuleDirectoryLikeAnyOther) {
  ScopedEnv module("POVUPDATE_MODULE_DIR", "/");
  EXPECT_EQ(TakeText(GetSaveFilePath()), "/Install");
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Neither a directory in the update file's place nor the file a symbolic
// link in its place leads to is changed; the link itself goes.
TEST_F(FileNameTest, DeletingTheUpdateFileChangesNothingElse) {
  TempDir outside;
  const std::string target = outside.File("elsewhere.ini");
  WriteFile(target, "[SOFTWARE]\r\n");
  MakeReadOnly(target);
  ASSERT_EQ(symlink(target.c_str(), UpdateFile().c_str()), 0);
  DeleteTheUpdateFile();
  EXPECT_FALSE(std::filesystem::is_symlink(UpdateFile()));
  EXPECT_EQ(ModeOf(target), 0444u);
  EXPECT_EQ(ReadFile(target), "[SOFTWARE]\r\n");

  ASSERT_TRUE(std::filesystem::create_directory(UpdateFile()));
  ASSERT_EQ(chmod(UpdateFile().c_str(), 0555), 0);
  DeleteTheUpdateFile();
  EXPECT_EQ(ModeOf(UpdateFile()), 0555u);
}
#endif

}  // namespace
}  // namespace povupdate::test
