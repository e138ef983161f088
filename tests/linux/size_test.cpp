// A large update file: 100,000 entries in 50 MB are walked to the end in
// memory bounded by a small multiple of the file, and names and values at
// their limits are delivered as the limits say wherever they stand in it.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "library_support.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

using Texts = std::array<std::string, 8>;

constexpr int kEntries = 100000;
constexpr std::size_t kLeastFileSize = std::size_t{50} << 20;
// Room for the file's bytes, its index and the library's working blocks.
constexpr std::size_t kMostMemoryPerFileByte = 4;

// The longest section name and value a walk delivers whole.
constexpr std::size_t kNameLimit = 259;
constexpr std::size_t kValueLimit = 2599;

// One entry: the name its index line gives, the section name and the seven
// values in the file, and what the walk delivers for it.
struct Entry {
  std::string indexed;
  Texts in_file;
  Texts delivered;
};

// Most entries are ordinary, about 540 bytes each; the first, the middle
// and the last one hold names and values at the limits and one past them.
Entry EntryAt(int n) {
  const std::string name = "Entry" + std::to_string(n);
  Entry entry;
  entry.indexed = name;
  entry.in_file = {name,
                   "1." + std::to_string(n),
                   "http://downloads.example.com/" + std::string(300, 'd') + "/" + name + ".exe",
                   "0123456789abcdef0123456789" + std::to_string(100000 + n),
                   "1",
                   "D:\\Apps\\" + name,
                   "/S /norestart",
                   std::to_string(n * 1000)};
  if (n == 1 || n == kEntries) {
    entry.indexed = std::string(kNameLimit - 1, 'n') + std::to_string(n % 10);
    entry.in_file[0] = entry.indexed;
    for (std::size_t field = 1; field < 8; ++field) {
      entry.in_file[field] = std::string(kValueLimit, 'v');
    }
    entry.in_file[7] += "X";  // one past the limit
  } else if (n == kEntries / 2) {
    // An index value one past the name limit is cut, and the cut name is
    // the section looked up.
    entry.indexed = std::string(kNameLimit, 'm') + "X";
    entry.in_file[0] = entry.indexed.substr(0, kNameLimit);
  }
  entry.delivered = entry.in_file;
  entry.delivered[7] = entry.delivered[7].substr(0, kValueLimit);
  return entry;
}

std::string UpdateFileBytes() {
  std::string bytes = "[SOFTWARE]\r\n";
  bytes.reserve(kLeastFileSize + (kLeastFileSize >> 2));
  for (int n = 1; n <= kEntries; ++n) {
    bytes.append(std::to_string(n)).append("=").append(EntryAt(n).indexed).append("\r\n");
  }
  static const char* const kKeys[8] = {
      "",    "Version", "DownLoadPath", "MD5", "InstallType", "InstallPath", "InstallParmeter",
      "Size"};
  for (int n = 1; n <= kEntries; ++n) {
    const Entry entry = EntryAt(n);
    bytes.append("[").append(entry.in_file[0]).append("]\r\n");
    for (int field = 1; field < 8; ++field) {
      bytes.append(kKeys[field]).append("=").append(entry.in_file[field]).append("\r\n");
    }
  }
  return bytes;
}

// A line of /proc/self/status in kB, as "VmHWM".
long StatusKilobytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

// What a walk in a child process found.
struct WalkReport {
  int entries = 0;
  int mismatches = 0;
  int first_mismatch = 0;
  int last_result = -1;
  int last_cursor = 0;
  long peak_growth_kb = -1;
};

// Walks the list from 1 to its end, comparing each entry with EntryAt(),
// and measures how far the peak resident size rose during the walk.
WalkReport Walk() {
  WalkReport report;
  // Resets the peak to the present size (Linux 4.0 and later).
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before_kb = StatusKilobytes("VmRSS");
  int cursor = 1;
  for (;;) {
    Record record;
    report.last_result = GetTheUpdateSoftwareInforFromIni(&cursor, record.get());
    report.last_cursor = cursor;
    if (report.last_result != POVUPDATE_OK || cursor == -1) break;
    ++report.entries;
    if (record.Texts() != EntryAt(report.entries).delivered && report.mismatches++ == 0) {
      report.first_mismatch = report.entries;
    }
  }
  report.peak_growth_kb = StatusKilobytes("VmHWM") - before_kb;
  return report;
}

// Writes the file into `dir`, walks it and exits with 0 when the walk
// delivered every entry as written and stayed within the memory bound; tells
// what it found on stderr. The exit skips destructors, so `dir` (the
// process's own test directory) is removed here.
[[noreturn]] void WalkALargeFile(const std::string& dir, const std::string& path) {
  std::size_t file_size = 0;
  {
    const std::string bytes = UpdateFileBytes();
    file_size = bytes.size();
    std::ofstream(path, std::ios::binary) << bytes;
  }
  const WalkReport report = Walk();
  std::fprintf(stderr,
               "%zu bytes; %d entries, %d wrong (first: %d); last result %d, cursor %d; peak "
               "grew by %ld kB\n",
               file_size, report.entries, report.mismatches, report.first_mismatch,
               report.last_result, report.last_cursor, report.peak_growth_kb);
  const bool walked = file_size >= kLeastFileSize && report.entries == kEntries &&
                      report.mismatches == 0 && report.last_result == POVUPDATE_OK &&
                      report.last_cursor == -1;
  const bool bounded =
      report.peak_growth_kb >= 0 &&
      static_cast<std::size_t>(report.peak_growth_kb) * 1024 <= kMostMemoryPerFileByte * file_size;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::_Exit(walked && bounded ? 0 : 1);
}

class SizeTest : public LibraryTest {};

TEST_F(SizeTest, AFiftyMegabyteListIsWalkedToTheEndInBoundedMemory) {
  // A process started afresh, whose peak size is its own, and without
  // AddressSanitizer's quarantine, which holds on to freed blocks (up to
  // 256 MB) that would count as the library's.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  const std::string options = asan_options == nullptr ? "" : std::string(asan_options) + ":";
  const ScopedEnv no_quarantine("ASAN_OPTIONS", (options + "quarantine_size_mb=0").c_str());
  EXPECT_EXIT(WalkALargeFile(ModuleDir(), UpdateFile()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace povupdate::test
