#include "version_compare.h"

#include <algorithm>
#include <vector>

namespace povupdate_cli {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The fields of a dotted-number version, or false when it is not one.
bool SplitDottedNumbers(const std::string& version, std::vector<std::string>& fields) {
  std::string field;
  for (std::size_t i = 0; i <= version.size(); ++i) {
    if (i == version.size() || version[i] == '.') {
      if (field.empty()) return false;
      fields.push_back(field);
      field.clear();
    } else if (IsDigit(version[i])) {
      field += version[i];
    } else {
      return false;
    }
  }
  return true;
}

// Compares two digit strings by value, however long they are.
int CompareNumbers(const std::string& a, const std::string& b) {
  const std::size_t a_start = std::min(a.find_first_not_of('0'), a.size());
  const std::size_t b_start = std::min(b.find_first_not_of('0'), b.size());
  const std::size_t a_length = a.size() - a_start;
  const std::size_t b_length = b.size() - b_start;
  if (a_length != b_length) return a_length < b_length ? -1 : 1;
  return a.compare(a_start, a_length, b, b_start, b_length);
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

VersionOrder CompareVersions(const std::string& a, const std::string& b) {
  std::vector<std::string> a_fields;
  std::vector<std::string> b_fields;
  if (!SplitDottedNumbers(a, a_fields) || !SplitDottedNumbers(b, b_fields)) {
    return {Sign(a.compare(b)), true};
  }
  const std::size_t count = std::max(a_fields.size(), b_fields.size());
  a_fields.resize(count, "0");
  b_fields.resize(count, "0");
  for (std::size_t i = 0; i < count; ++i) {
    const int order = CompareNumbers(a_fields[i], b_fields[i]);
    if (order != 0) return {Sign(order), false};
  }
  return {0, false};
}

InstallVerdict JudgeInstall(const std::string& offered, const std::string& installed) {
  if (installed.empty()) return {};
  const VersionOrder order = CompareVersions(offered, installed);
  InstallState state = InstallState::kUpToDate;
  if (order.order > 0) state = InstallState::kUpdateAvailable;
  if (order.order < 0) state = InstallState::kNewerInstalled;
  return {state, order.compared_as_text};
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
