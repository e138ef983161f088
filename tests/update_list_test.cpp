// Walking the update file through GetTheUpdateSoftwareInforFromIni.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

#include "library_support.h"
#include "platform/fault_injection.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

#ifdef _WIN32
const std::string kDriveRoot = "C:\\";
#else
const std::string kDriveRoot = "/";
#endif

using Texts = std::array<std::string, 8>;

class UpdateListTest : public LibraryTest {
 protected:
  // Delivers one entry; the record is cleared first.
  int Step(int& cursor) {
    record_.Clear();
    return GetTheUpdateSoftwareInforFromIni(&cursor, record_.get());
  }
  // Walks from 1 to the end, collecting each entry's texts.
  std::vector<Texts> Walk() {
    std::vector<Texts> entries;
    int cursor = 1;
    while (Step(cursor) == 0 && cursor != -1) entries.push_back(record_.Texts());
    return entries;
  }

  Record record_;
};

TEST_F(UpdateListTest, DeliversEntriesInIndexOrderUntilTheFirstGap) {
  WriteFile(UpdateFile(),
            "[SOFTWARE]\r\n1=Viewer\r\n2=Editor\r\n4=Never\r\n"
            "[Viewer]\r\nVersion=2.1\r\nDownLoadPath=http://example.com/v.exe\r\n"
            "MD5=0123456789abcdef0123456789abcdef\r\nInstallType=1\r\nInstallPath=D:\\Apps\r\n"
            "InstallParmeter=/S\r\nSize=1024\r\n"
            "[Editor]\r\nVersion=3.0\r\n[Never]\r\nVersion=9\r\n");
  int cursor = 1;
  ASSERT_EQ(Step(cursor), 0);
  EXPECT_EQ(cursor, 2);
  EXPECT_EQ(record_.Texts(),
            (Texts{"Viewer", "2.1", "http://example.com/v.exe", "0123456789abcdef0123456789abcdef",
                   "1", "D:\\Apps", "/S", "1024"}));
  ASSERT_EQ(Step(cursor), 0);
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(record_.Texts(), (Texts{"Editor", "3.0", "", "", "", "", "", ""}));

  // The end: the record keeps exactly what the host put there.
  char sentinel[] = "host's";
  record_.Clear();
  record_.get()->MD5 = sentinel;
  ASSERT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record_.get()), 0);
  EXPECT_EQ(cursor, -1);
  EXPECT_EQ(record_.get()->MD5, sentinel);
  EXPECT_EQ(record_.get()->Name, nullptr);
  record_.get()->MD5 = nullptr;

  // The list does not start over.
  EXPECT_EQ(Step(cursor), POVUPDATE_BAD_CURSOR);
  EXPECT_EQ(cursor, -1);
}

TEST_F(UpdateListTest, AnEmptyIndexValueEndsTheListLikeAnAbsentKey) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=A\r\n2=B\r\n3=\r\n4=D\r\n");
  EXPECT_EQ(Walk().size(), 2u);
}

TEST_F(UpdateListTest, NoFileOrNoIndexEndsTheListAtOnce) {
  int cursor = 1;
  EXPECT_EQ(Step(cursor), 0);
  EXPECT_EQ(cursor, -1);
  WriteFile(UpdateFile(), "[Viewer]\r\nVersion=1\r\n");
  cursor = 1;
  EXPECT_EQ(Step(cursor), 0);
  EXPECT_EQ(cursor, -1);
}

TEST_F(UpdateListTest, MissingSectionsAndKeysGiveEmptyTextsNeverNull) {
  WriteFile(UpdateFile(),
            "[SOFTWARE]\r\n1=Ghost\r\n2=Viewer\r\n3=Viewer\r\n[Viewer]\r\nVersion=2\r\n"
            "InstallPath=\r\n");
  const auto entries = Walk();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], (Texts{"Ghost", "", "", "", "", "", "", ""}));
  EXPECT_EQ(entries[1], (Texts{"Viewer", "2", "", "", "", "", "", ""}));
  EXPECT_EQ(entries[2], entries[1]) << "two numbers may name one section";
}

TEST_F(UpdateListTest, CursorsThatAreNoPositionReadNothing) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=Viewer\r\n");
  for (int start : {0, -1, -2, INT_MIN}) {
    int cursor = start;
    EXPECT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record_.get()), POVUPDATE_BAD_CURSOR);
    EXPECT_EQ(cursor, start);
    EXPECT_EQ(record_.get()->Name, nullptr);
  }
}

TEST_F(UpdateListTest, NullArgumentsAreRefusedWithoutTouchingAnything) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=Viewer\r\n");
  int cursor = 1;
  EXPECT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, nullptr), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(cursor, 1);
  EXPECT_EQ(GetTheUpdateSoftwareInforFromIni(nullptr, record_.get()), POVUPDATE_BAD_ARGUMENT);
  EXPECT_EQ(record_.get()->Name, nullptr);
}

TEST_F(UpdateListTest, LargeCursorsLookUpTheirOwnNumber) {
  WriteFile(UpdateFile(),
            "[SOFTWARE]\r\n100000000=Short\r\n1000000000=Billion\r\n2147483646=Last\r\n"
            "2147483647=Max\r\n");
  int cursor = 1000000000;
  ASSERT_EQ(Step(cursor), 0);
  EXPECT_EQ(record_.Texts()[0], "Billion");
  EXPECT_EQ(cursor, 1000000001);

  cursor = 2147483646;
  ASSERT_EQ(Step(cursor), 0);
  EXPECT_EQ(record_.Texts()[0], "Last");
  EXPECT_EQ(cursor, INT_MAX);
  // Delivering entry INT_MAX would leave no cursor for the next call: the
  // list ends there, with nothing delivered.
  record_.Clear();
  ASSERT_EQ(Step(cursor), 0);
  EXPECT_EQ(cursor, -1);
  EXPECT_EQ(record_.get()->Name, nullptr);
}

TEST_F(UpdateListTest, ALeadingOneOfTheInstallPathIsTheSystemDrive) {
  const struct {
    const char* stored;
    std::string delivered;
  } cases[] = {{"1Program Files\\App", kDriveRoot + "Program Files\\App"},
               {"1", kDriveRoot},
               {"11", kDriveRoot + "1"},
               {"D:\\Apps", "D:\\Apps"},
               {"21", "21"},
               {"", ""}};
  std::string file = "[SOFTWARE]\r\n";
  for (int i = 0; i < 6; ++i) file += std::to_string(i + 1) + "=E" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 6; ++i) {
    file += "[E" + std::to_string(i) + "]\r\nInstallPath=" + cases[i].stored + "\r\n";
  }
  WriteFile(UpdateFile(), file);
  const auto entries = Walk();
  ASSERT_EQ(entries.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(entries[i][5], cases[i].delivered) << cases[i].stored;
}

TEST_F(UpdateListTest, AnExpandedInstallPathIsNeverCut) {
  const std::string rest(258, 'p');
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=E\r\n[E]\r\nInstallPath=1" + rest + "\r\n");
  const auto entries = Walk();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0][5], kDriveRoot + rest);
}

TEST_F(UpdateListTest, ValuesAndNamesAreDeliveredUpToTheirLimits) {
  const std::string name259(259, 'n');
  const std::string name260 = std::string(259, 'm') + "X";
  const std::string value2599(2599, 'v');
  const std::string value2600 = std::string(2599, 'w') + "Y";
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=" + name259 + "\r\n2=" + name260 + "\r\n[" + name259 +
                              "]\r\nVersion=" + value2599 + "\r\nSize=" + value2600 + "\r\n[" +
                              name260.substr(0, 259) + "]\r\nVersion=cut name\r\n");
  const auto entries = Walk();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0][0], name259);
  EXPECT_EQ(entries[0][1], value2599);
  EXPECT_EQ(entries[0][7], value2600.substr(0, 2599));
  EXPECT_EQ(entries[1][0], name260.substr(0, 259)) << "a longer index value is cut";
  EXPECT_EQ(entries[1][1], "cut name") << "and the cut name is looked up";
}

TEST_F(UpdateListTest, ARecordFilledTwiceHoldsTheSecondCallsBlocks) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=A\r\n2=B\r\n");
  int cursor = 1;
  ASSERT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record_.get()), 0);
  SoftwareInforRecord first = *record_.get();
  ASSERT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record_.get()), 0);
  EXPECT_STREQ(record_.get()->Name, "B");
  EXPECT_STREQ(first.Name, "A") << "the first call's texts stay the host's";
  for (char* text : {first.Name, first.Version, first.DownLoadPath, first.MD5, first.InstallType,
                     first.InstallPath, first.InstallParmeter, first.Size}) {
    FreeBlock(text);
  }
}

// An "=value" line in an entry section matches the empty key name of the
// name slot; the section name replaces it without losing the block.
TEST_F(UpdateListTest, AnEmptyKeyLineDoesNotDisplaceTheName) {
  WriteFile(UpdateFile(), "[SOFTWARE]\r\n1=E\r\n[E]\r\n=stray\r\nVersion=1\r\n");
  const auto entries = Walk();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0][0], "E");
}

// Every allocation of a step is made to fail in turn: each failure has its
// code, and leaves the cursor and the host's record as they were.
TEST_F(UpdateListTest, EachFailedAllocationHasItsCodeAndChangesNothing) {
  WriteFile(UpdateFile(),
            "[SOFTWARE]\r\n1=Viewer\r\n[Viewer]\r\nVersion=2\r\nMD5=abc\r\nInstallPath=1x\r\n");
  std::set<int> codes;
  for (int n = 1;; ++n) {
    char sentinel[] = "host's";
    SoftwareInforRecord record{};
    for (char** field = &record.Name; field <= &record.Size; ++field) *field = sentinel;
    int cursor = 1;
    fault::FailAllocation(n);
    const int result = GetTheUpdateSoftwareInforFromIni(&cursor, &record);
    const bool triggered = fault::Triggered();
    fault::FailAllocation(0);
    if (!triggered) {
      ASSERT_EQ(result, 0);
      Record owner;
      *owner.get() = record;
      break;
    }
    codes.insert(result);
    EXPECT_EQ(cursor, 1) << "allocation " << n;
    for (char** field = &record.Name; field <= &record.Size; ++field) {
      EXPECT_EQ(*field, sentinel) << "allocation " << n;
    }
  }
  EXPECT_EQ(codes, (std::set<int>{POVUPDATE_NO_READ_BUFFER, POVUPDATE_NO_VALUE_COPY,
                                  POVUPDATE_NO_NAME_COPY}));
}

}  // namespace
}  // namespace povupdate::test
