// Several writers recording versions in one local configuration file at
// once, each in a process of its own or a thread: no write is lost. On
// Windows a write waits for the file's lock, and not for ever.
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <algorithm>
#include <cctype>
#include <future>
#include <optional>

#include "platform/profile_write_lock.h"
#endif

#include "library_support.h"
#include "recorded_items.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

constexpr int kWriters = 4;

// Items each writer records, or POVUPDATE_TEST_ITEMS_EACH. Every write parses
// the whole file, which grows with each item, so a run under valgrind asks
// for fewer; so does Wine, whose service is many times slower.
int ItemsEach() {
  const char* text = std::getenv("POVUPDATE_TEST_ITEMS_EACH");
  if (text != nullptr && std::atoi(text) > 0) return std::atoi(text);
#ifdef _WIN32
  return 250;
#else
  return 1000;
#endif
}

std::vector<int> RunWriters(Workers kind) {
  if (kind == Workers::kProcesses) {
    std::vector<std::vector<std::string>> arguments;
    for (int writer = 0; writer < kWriters; ++writer) {
      arguments.push_back({std::to_string(writer), std::to_string(ItemsEach())});
    }
    return RunAtOnce(ExecutableDir() + POVUPDATE_ITEM_WRITER_FILE, arguments);
  }
  std::vector<int> results(kWriters, -1);
  std::vector<std::thread> threads;
  for (int writer = 0; writer < kWriters; ++writer) {
    threads.emplace_back(
        [&results, writer] { results[writer] = RecordItems(writer, ItemsEach()); });
  }
  for (std::thread& thread : threads) thread.join();
  return results;
}

class ConcurrentWritesTest : public LibraryTest, public ::testing::WithParamInterface<Workers> {};

TEST_P(ConcurrentWritesTest, WritersOfDistinctItemsLoseNone) {
  EXPECT_EQ(RunWriters(GetParam()), std::vector<int>(kWriters, 0));

  std::size_t expected_size = 0;
  int lost = 0;
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int item = 0; item < ItemsEach(); ++item) {
      Record record;
      const bool found = GetTheLocalSoftwareInforFromIni(ItemName(writer, item).c_str(),
                                                         record.get()) == POVUPDATE_OK &&
                         record.Texts()[1] == VersionOf(writer, item);
      lost += !found;
      expected_size +=
          ("[" + ItemName(writer, item) + "]\r\nVersion=" + VersionOf(writer, item) + "\r\n")
              .size();
    }
  }
  EXPECT_EQ(lost, 0) << "of " << kWriters * ItemsEach();
  EXPECT_EQ(ReadFile(LocalFile()).size(), expected_size) << "no section is written twice";
}

INSTANTIATE_TEST_SUITE_P(Workers, ConcurrentWritesTest,
                         ::testing::Values(Workers::kProcesses, Workers::kThreads), PrintWorkers);

#ifdef _WIN32
// A thread of the test holding a file's lock stands for another process's
// write of the file; the Linux build's lock holders are in
// linux/concurrency_test.cpp.
class WriteLockTest : public LibraryTest {
 protected:
  int RecordViewer() {
    char name[] = "Viewer";
    char version[] = "2";
    SoftwareInforRecord record{};
    record.Name = name;
    record.Version = version;
    return UpdateLocalSoftwareInforToIni(&record);
  }
};

TEST_F(WriteLockTest, WritesGiveUpOnAHolderOfTheFileHoweverSpelt) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  MakeReadOnly(LocalFile());
  std::string spelling = LocalFile();
  std::transform(spelling.begin(), spelling.end(), spelling.begin(), [](char c) {
    return c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  std::promise<bool> taken;
  std::promise<void> released;
  std::thread holder([&] {
    const ProfileWriteLock lock(spelling.c_str());
    taken.set_value(lock.held());
    released.get_future().wait();
  });
  EXPECT_TRUE(taken.get_future().get()) << spelling;
  const int result = RecordViewer();
  released.set_value();
  holder.join();

  EXPECT_EQ(result, POVUPDATE_WRITE_FAILED);
  EXPECT_EQ(ReadFile(LocalFile()), "[Viewer]\r\nVersion=1\r\n");
  EXPECT_TRUE(IsReadOnly(LocalFile()));
}

TEST_F(WriteLockTest, ALockLeftByAHolderThatEndedIsTaken) {
  std::optional<ProfileWriteLock> left;
  std::thread([&] { left.emplace(LocalFile().c_str()); }).join();
  ASSERT_TRUE(left->held());
  EXPECT_EQ(RecordViewer(), POVUPDATE_OK);
  Record record;
  ASSERT_EQ(GetTheLocalSoftwareInforFromIni("Viewer", record.get()), POVUPDATE_OK);
  EXPECT_EQ(record.Texts()[1], "2");
}
#endif

}  // namespace
}  // namespace povupdate::test
