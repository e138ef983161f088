#include "version_compare.h"

#include <gtest/gtest.h>

namespace povupdate_cli {
namespace {

struct OrderCase {
  const char* a;
  const char* b;
  int order;
  bool as_text;
};

TEST(CompareVersions, OrdersDottedNumbersFieldByFieldAndEverythingElseAsText) {
  const OrderCase cases[] = {
      {"1.2.10", "1.2.9", 1, false},  // as text "1.2.10" would come first
      {"1.2.9", "1.2.10", -1, false},
      {"1.2", "1.2.0.0", 0, false},  // missing fields count as 0
      {"1.2.0.1", "1.2", 1, false},
      {"01.002", "1.2", 0, false},  // leading zeros don't count
      {"2", "10", -1, false},
      {"123456789012345678901234.1", "123456789012345678901233.9", 1, false},
      {"2024b", "2024a", 1, true},
      {"1.2a", "1.2", 1, true},
      {"1..2", "1.2", -1, true},  // an empty field is not a number
      {".1", "0.1", -1, true},
      {"1.", "1", 1, true},
      {"v1.10", "v1.9", -1, true},  // plain text: '1' < '9'
      {"", "1", -1, true},
  };
  for (const auto& c : cases) {
    const VersionOrder result = CompareVersions(c.a, c.b);
    EXPECT_EQ(result.order, c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(result.compared_as_text, c.as_text) << c.a << " vs " << c.b;
  }
}

TEST(JudgeInstall, NamesTheStateOfEachPair) {
  EXPECT_EQ(JudgeInstall("1.0", "").state, InstallState::kNotInstalled);
  EXPECT_EQ(JudgeInstall("1.0", "1.0.0").state, InstallState::kUpToDate);
  EXPECT_EQ(JudgeInstall("2.4.10", "2.4.9").state, InstallState::kUpdateAvailable);
  EXPECT_EQ(JudgeInstall("2.4.9", "2.4.10").state, InstallState::kNewerInstalled);

  const InstallVerdict text = JudgeInstall("2024b", "2024a");
  EXPECT_EQ(text.state, InstallState::kUpdateAvailable);
  EXPECT_TRUE(text.compared_as_text);
  EXPECT_FALSE(JudgeInstall("2024b", "").compared_as_text);
}

}  // namespace
}  // namespace povupdate_cli
