#include "shared/version_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace povupdate_cli {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

struct OrderCase {
  std::string a;
  std::string b;
  int order;
};

TEST(CompareVersions, OrdersVersionsAsPeopleReadThem) {
  const OrderCase cases[] = {
      // Mixed versions that byte-by-byte comparison got wrong.
      {"1.0.0", "1.0.0-rc1", 1},  // the release follows its candidate
      {"2.4.10-beta", "2.4.9", 1},
      {"10.0b", "9.0b", 1},
      {"1.0", "1.0b2", 1},
      // Numbers by value, a missing component as 0.
      {"1.2.10", "1.2.9", 1},
      {"2", "10", -1},
      {"1.2", "1.2.0.0", 0},
      {"1.2.0.1", "1.2", 1},
      {"1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.1", "1", 1},
      {"01.002", "1.2", 0},
      {"007", "7", 0},
      {"1." + std::string(300, '0') + "1", "1.1", 0},
      {"123456789012345678901234567890.1", "123456789012345678901234567889.9", 1},
      {std::string(5000, '9'), "1" + std::string(5000, '0'), -1},
      // Empty versions and separators only: all components missing.
      {"", "", 0},
      {"", "0.0", 0},
      {"", "1", -1},
      {"", "rc1", 1},
      {"...", "", 0},
      {"-._+ ~/", "0", 0},
      {"1..2", "1.2", 0},
      // Pre-releases, the release, post-releases, the next release.
      {"1.0-alpha", "1.0-beta", -1},
      {"1.0-beta", "1.0-pre", -1},
      {"1.0pre1", "1.0rc1", -1},
      {"1.0-rc1", "1.0", -1},
      {"1.0-rc2", "1.0-rc10", -1},
      {"1.0RC1", "1.0-rc1", 0},
      {"1.0-ALPHA", "1.0alpha", 0},
      {"1.0", "1.0.0", 0},
      {"1.0", "1.0-patch1", -1},
      {"1.0pl1", "1.0", 1},
      {"1.0-post2", "1.0.1", -1},
      {"1.0-patch1", "1.0.1", -1},
      {"2.0 build 5", "2.0", -1},  // a word not known is a pre-release
      {"0.0.0", "alpha", 1},
      // A letter right after a number and before no digit is a suffix.
      {"1.0.2", "1.0.2a", -1},
      {"1.0.2a", "1.0.2b", -1},
      {"1.0.2b", "1.0.3", -1},
      {"1.0.2B", "1.0.2b", 0},
      {"2024b", "2024a", 1},
      {"1.0a", "1.0.1", 1},  // outranks any number in its place
      {"1.0a1", "1.0", -1},  // before a digit: a pre-release
      {"1.0.a", "1.0", -1},  // not right after a digit: a pre-release
      {"v1.10", "v1.9", 1},
      // Bytes outside ASCII only separate components.
      {"1.0\xe9", "1.0", 0},
      {"1\xc3\xa9"
       "2",
       "1.2", 0},
      {"1.0\xff"
       "beta",
       "1.0-beta", 0},
      {"\x80\xfe", "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(CompareVersions(c.a, c.b)), c.order) << "'" << c.a << "' vs '" << c.b << "'";
    EXPECT_EQ(Sign(CompareVersions(c.b, c.a)), -c.order) << "'" << c.b << "' vs '" << c.a << "'";
  }
}

TEST(JudgeInstall, NamesTheStateOfEachPair) {
  EXPECT_EQ(JudgeInstall("1.0", ""), InstallState::kNotInstalled);
  EXPECT_EQ(JudgeInstall("1.0RC1", "1.0-rc1"), InstallState::kUpToDate);
  EXPECT_EQ(JudgeInstall("1.0.0", "1.0.0-rc1"), InstallState::kUpdateAvailable);
  EXPECT_EQ(JudgeInstall("1.0b2", "1.0"), InstallState::kNewerInstalled);
}

// A version made of the pieces the order tells apart.
std::string RandomVersion(std::mt19937& random) {
  static const char* const kPieces[] = {
      "0",     "00",   "1",  "2",     "10",   "007",   "a", "b", "B", "rc", "RC", "pre",
      "alpha", "beta", "pl", "patch", "post", "build", ".", ".", "-", "_",  " ",  "\xe9"};
  std::uniform_int_distribution<int> length(0, 6);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
  std::string version;
  for (int n = length(random); n > 0; --n) version += kPieces[piece(random)];
  return version;
}

TEST(CompareVersions, IsATotalOrderOnRandomVersions) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  constexpr std::size_t kCount = 120;
  std::vector<std::string> versions;
  for (std::size_t i = 0; i < kCount; ++i) versions.push_back(RandomVersion(random));
  std::vector<int> order(kCount * kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    for (std::size_t j = 0; j < kCount; ++j) {
      order[i * kCount + j] = Sign(CompareVersions(versions[i], versions[j]));
    }
  }
  for (std::size_t i = 0; i < kCount; ++i) {
    ASSERT_EQ(order[i * kCount + i], 0) << versions[i];
    for (std::size_t j = 0; j < kCount; ++j) {
      ASSERT_EQ(order[i * kCount + j], -order[j * kCount + i]) << versions[i] << " " << versions[j];
      if (order[i * kCount + j] > 0) continue;
      for (std::size_t k = 0; k < kCount; ++k) {
        // a <= b and b <= c: a <= c, and a < c unless both are equalities.
        if (order[j * kCount + k] > 0) continue;
        ASSERT_EQ(order[i * kCount + k], std::min(order[i * kCount + j], order[j * kCount + k]))
            << versions[i] << " " << versions[j] << " " << versions[k];
      }
    }
  }
}

}  // namespace
}  // namespace povupdate_cli
