// Reading and recording installed versions in the local configuration file.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "library_support.h"
#include "platform/fault_injection.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

using Texts = std::array<std::string, 8>;

class LocalConfigTest : public LibraryTest {
 protected:
  int Set(const char* name, const char* version) {
    SoftwareInforRecord record{};
    record.Name = const_cast<char*>(name);
    record.Version = const_cast<char*>(version);
    return UpdateLocalSoftwareInforToIni(&record);
  }
  std::string Get(const char* name) {
    Record record;
    EXPECT_EQ(GetTheLocalSoftwareInforFromIni(name, record.get()), 0);
    return record.Texts()[1];
  }
};

TEST_F(LocalConfigTest, ReadingAnUnknownItemGivesEmptyTextsAndCreatesNothing) {
  Record record;
  ASSERT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", record.get()), 0);
  EXPECT_EQ(record.Texts(), (Texts{"Viewer", "", "", "", "", "", "", ""}));
  EXPECT_FALSE(FileExists(LocalFile()));

  WriteFile(LocalFile(), "[Viewer]\r\nVersion=\r\n[Other]\r\nVersion=1\r\n");
  EXPECT_EQ(Get("Viewer"), "") << "an empty value reads like a missing one";
  EXPECT_EQ(Get("Missing"), "");
}

TEST_F(LocalConfigTest, AVersionRecordedIsReadBack) {
  ASSERT_EQ(Set("Viewer", "2.1"), 0);
  EXPECT_EQ(Get("Viewer"), "2.1");
  EXPECT_EQ(ReadFile(LocalFile()), "[Viewer]\r\nVersion=2.1\r\n");
  ASSERT_EQ(Set("Viewer", "2.2"), 0);
  ASSERT_EQ(Set("Editor", ""), 0);
  EXPECT_EQ(ReadFile(LocalFile()), "[Viewer]\r\nVersion=2.2\r\n[Editor]\r\nVersion=\r\n")
      << "an empty version is written as an empty value, never a removal";
}

TEST_F(LocalConfigTest, AWriteChangesOnlyTheItemsVersionLine) {
  const std::string before =
      "; recorded by the updater\r\n[Viewer]\r\nPath=C:\\V\r\nVersion=1.0\r\nChannel=beta\r\n\r\n"
      "[Editor]\r\nVersion=3\r\n";
  WriteFile(LocalFile(), before);
  ASSERT_EQ(Set("viewer", "1.1"), 0) << "names match without regard to case";
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine rewrites the whole file and drops blank lines; Windows keeps them";
  }
  std::string after = before;
  after.replace(after.find("1.0"), 3, "1.1");
  EXPECT_EQ(ReadFile(LocalFile()), after);
}

TEST_F(LocalConfigTest, TheWriteLeavesTheRecordAndAcceptsNullFields) {
  char name[] = "Viewer";
  char version[] = "5";
  SoftwareInforRecord record{};
  record.Name = name;
  record.Version = version;
  const SoftwareInforRecord before = record;
  ASSERT_EQ(UpdateLocalSoftwareInforToIni(&record), 0);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
  EXPECT_STREQ(name, "Viewer");
  EXPECT_STREQ(version, "5");
}

TEST_F(LocalConfigTest, AReadOnlyFileIsWrittenAndStaysWritable) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  MakeReadOnly(LocalFile());
  ASSERT_EQ(Set("Viewer", "2"), 0);
  EXPECT_EQ(Get("Viewer"), "2");
  EXPECT_FALSE(IsReadOnly(LocalFile()));
}

TEST_F(LocalConfigTest, LongValuesAreReadBackCut) {
  const std::string value(3000, 'v');
  ASSERT_EQ(Set("Viewer", value.c_str()), 0);
  EXPECT_EQ(Get("Viewer"), value.substr(0, 2599));
}

TEST_F(LocalConfigTest, NullAndUnsafeArgumentsAreRefusedAndNothingIsWritten) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  Record record;
  EXPECT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", nullptr), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(GetTheLocalSoftwareInforFromIni(nullptr, record.get()), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(record.get()->Name, nullptr);
  EXPECT_EQ(UpdateLocalSoftwareInforToIni(nullptr), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(Set(nullptr, "2"), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(Set("Viewer", nullptr), POVUPDATE_BAD_ARGUMENT) << "a null value would delete the key";
  EXPECT_EQ(Set("Viewer", "2\r\n[Injected]"), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(Set("Viewer]\nVersion=9\n[X", "2"), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(Set("Viewer", "2\r"), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(ReadFile(LocalFile()), "[Viewer]\r\nVersion=1\r\n");
}

TEST_F(LocalConfigTest, AWriteTheFileRefusesIsReported) {
  std::filesystem::create_directory(LocalFile());  // a directory where the file should be
  EXPECT_EQ(Set("Viewer", "2"), POVUPDATE_WRITE_FAILED);
  Record record;
  EXPECT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", record.get()), 0);
  EXPECT_EQ(record.Texts()[1], "");
}

// Each allocation of a call is made to fail in turn.
template <typename Call>
std::set<int> FailEachAllocation(Call call) {
  std::set<int> codes;
  for (int n = 1;; ++n) {
    fault::FailAllocation(n);
    const int result = call();
    const bool triggered = fault::Triggered();
    fault::FailAllocation(0);
    if (!triggered) {
      EXPECT_EQ(result, 0);
      return codes;
    }
    codes.insert(result);
  }
}

TEST_F(LocalConfigTest, EachFailedAllocationOfTheReadHasItsCode) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=7\r\n");
  char sentinel[] = "host's";
  const auto codes = FailEachAllocation([&] {
    SoftwareInforRecord record{};
    for (char** field = &record.Name; field <= &record.Size; ++field) *field = sentinel;
    const int result = GetTheLocalSoftwareInforFromIni("Viewer", &record);
    if (result != 0) {
      for (char** field = &record.Name; field <= &record.Size; ++field) {
        EXPECT_EQ(*field, sentinel) << "a failed read leaves the record untouched";
      }
    } else {
      Record owner;
      *owner.get() = record;
    }
    return result;
  });
  EXPECT_EQ(codes, (std::set<int>{POVUPDATE_NO_READ_BUFFER, POVUPDATE_NO_VALUE_COPY,
                                  POVUPDATE_NO_NAME_COPY}));
}

TEST_F(LocalConfigTest, EachFailedAllocationOfTheWriteIsRefusedAndWritesNothing) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  const auto codes = FailEachAllocation([&] {
    const int result = Set("Viewer", "2");
    if (result != 0) {
      EXPECT_EQ(ReadFile(LocalFile()), "[Viewer]\r\nVersion=1\r\n");
    }
    return result;
  });
  EXPECT_EQ(codes, (std::set<int>{POVUPDATE_BAD_ARGUMENT}));
}

}  // namespace
}  // namespace povupdate::test
