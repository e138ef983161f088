#include "shared/version_compare.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "platform/text.h"

// The order follows the version comparators publishers already write for:
// PEP 440 (Python packaging: release numbers padded with zeros, so 1.0 is
// 1.0.0; alpha, beta and rc before the release, post after it), Gentoo's
// package manager rules (its suffixes _alpha < _beta < _pre < _rc <
// none < _p, and a letter after a number, "1.0.2b", following that number
// alone), PHP's version_compare (pl after the release, a word it doesn't
// know before it) and rpm's rpmvercmp (any byte but a digit or letter a
// separator, digit runs by value with leading zeros ignored).

namespace povupdate_cli {
namespace {

// Lowest first: the order in which components of different ranks compare.
enum class Rank { kPreRelease, kZero, kPostRelease, kNumber, kLetterSuffix };

// Their alphabetical order is also the order these comparators give them.
constexpr std::string_view kPreReleaseWords[] = {"alpha", "beta", "pre", "rc"};
constexpr std::string_view kPostReleaseWords[] = {"patch", "post", "pl"};

// ASCII only: what a byte above 0x7F means depends on the code page.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsComponentByte(char c) { return IsDigit(c) || IsLetter(c); }

template <std::size_t N>
bool IsOneOf(std::string_view word, const std::string_view (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words), [word](std::string_view listed) {
    return povupdate::EqualsIgnoringAsciiCase(word, listed);
  });
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Digit runs by value, however long: no run is converted to a number.
int CompareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return Sign(a.compare(b));
}

int CompareWords(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char a_folded = povupdate::FoldAsciiCase(a[i]);
    const char b_folded = povupdate::FoldAsciiCase(b[i]);
    if (a_folded != b_folded) return a_folded < b_folded ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

struct Component {
  Rank rank = Rank::kZero;  // as is a missing component
  std::string_view text;    // its digits or letters
};

int Compare(const Component& a, const Component& b) {
  if (a.rank != b.rank) return a.rank < b.rank ? -1 : 1;
  switch (a.rank) {
    case Rank::kZero:
      return 0;
    case Rank::kNumber:
      return CompareNumbers(a.text, b.text);
    default:
      return CompareWords(a.text, b.text);
  }
}

// The components of one version, one at a time.
class Components {
 public:
  explicit Components(std::string_view version) : version_(version) { SkipSeparators(); }

  bool done() const { return position_ == version_.size(); }

  // The next component; once done, a missing one.
  Component Next() {
    if (done()) return {};
    const std::size_t start = position_;
    const bool digits = IsDigit(version_[start]);
    while (!done() && (digits ? IsDigit(version_[position_]) : IsLetter(version_[position_]))) {
      ++position_;
    }
    const std::string_view text = version_.substr(start, position_ - start);
    const Rank rank = digits ? NumberRank(text) : WordRank(text, start);
    SkipSeparators();
    return {rank, text};
  }

 private:
  void SkipSeparators() {
    while (!done() && !IsComponentByte(version_[position_])) ++position_;
  }

  static Rank NumberRank(std::string_view digits) {
    return digits.find_first_not_of('0') == std::string_view::npos ? Rank::kZero : Rank::kNumber;
  }

  // The rank of the letter run `word`, which starts at `start`.
  Rank WordRank(std::string_view word, std::size_t start) const {
    if (IsOneOf(word, kPreReleaseWords)) return Rank::kPreRelease;
    if (IsOneOf(word, kPostReleaseWords)) return Rank::kPostRelease;
    const std::size_t end = start + word.size();
    const bool after_digit = start > 0 && IsDigit(version_[start - 1]);
    const bool before_digit = end < version_.size() && IsDigit(version_[end]);
    return after_digit && !before_digit ? Rank::kLetterSuffix : Rank::kPreRelease;
  }

  std::string_view version_;
  std::size_t position_ = 0;
};

}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  Components a_components(a);
  Components b_components(b);
  while (!a_components.done() || !b_components.done()) {
    const int order = Compare(a_components.Next(), b_components.Next());
    if (order != 0) return order;
  }
  return 0;
}

InstallState JudgeInstall(std::string_view offered, std::string_view installed) {
  if (installed.empty()) return InstallState::kNotInstalled;
  const int order = CompareVersions(offered, installed);
  if (order > 0) return InstallState::kUpdateAvailable;
  if (order < 0) return InstallState::kNewerInstalled;
  return InstallState::kUpToDate;
}

const char* InstallStateText(InstallState state) {
  switch (state) {
    case InstallState::kNotInstalled:
      return "not installed";
    case InstallState::kUpToDate:
      return "up to date";
    case InstallState::kUpdateAvailable:
      return "update available";
    case InstallState::kNewerInstalled:
      return "newer installed";
  }
  return "";
}

}  // namespace povupdate_cli
