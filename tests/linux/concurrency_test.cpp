// Several processes (or threads) using one registry store at once, and an
// update file replaced while it is walked: no reader sees part of a write.
// A process that only holds the lock makes writes fail, not wait for ever.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "library_support.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

constexpr int kWriters = 4;
constexpr int kReaders = 4;
constexpr int kPathsEach = 200;

// Memory that processes forked after its making share with the test.
template <typename T>
class SharedMemory {
 public:
  SharedMemory() {
    void* block =
        mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    value_ = new (block) T();
  }
  ~SharedMemory() {
    value_->~T();
    munmap(value_, sizeof(T));
  }
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  T& get() const { return *value_; }

 private:
  T* value_;
};

// Runs every body at once, each in a process of its own or a thread, and
// gives their results (a process that doesn't exit normally gives -1).
std::vector<int> RunAll(Workers kind, const std::vector<std::function<int()>>& bodies) {
  std::vector<int> results(bodies.size(), -1);
  if (kind == Workers::kThreads) {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      threads.emplace_back([&, i] { results[i] = bodies[i](); });
    }
    for (std::thread& thread : threads) thread.join();
    return results;
  }
  std::vector<pid_t> children;
  for (const auto& body : bodies) {
    const pid_t child = fork();
    if (child == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      _exit(body());
    }
    children.push_back(child);
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    if (children[i] > 0 && waitpid(children[i], &status, 0) == children[i] && WIFEXITED(status)) {
      results[i] = WEXITSTATUS(status);
    }
  }
  return results;
}

class ConcurrencyTest : public LibraryTest, public ::testing::WithParamInterface<Workers> {};

// Install path ----------------------------------------------------------------

const std::string kSeed = "/srv/seed";

std::string WriterDir(int writer) { return "/srv/writer" + std::to_string(writer) + "/"; }
std::string PathOf(int writer, int n) { return WriterDir(writer) + std::to_string(n); }

int SetPath(std::string path) {
  path.resize(path.size() + 8, '\0');  // room for "/Install"
  return SetSaveFilePath(path.data());
}

// What the readers and writers share.
struct InstallPathRun {
  std::atomic<int> writers_running{kWriters};
  std::array<std::atomic<int>, kReaders> reads{};
};

// Tells whether each value a reader gets in turn can be the stored one: the
// seed until a writer's value came, then writers' values, each writer's
// never older than one seen before.
class ReadChecker {
 public:
  bool Accept(const char* text) {
    if (text == nullptr) return false;
    if (kSeed + "/Install" == text) return !writer_seen_;
    for (int writer = 0; writer < kWriters; ++writer) {
      const std::string dir = WriterDir(writer);
      if (std::strncmp(text, dir.c_str(), dir.size()) != 0) continue;
      const int n = std::atoi(text + dir.size());
      if (n < last_[writer] || PathOf(writer, n) + "/Install" != text) return false;
      last_[writer] = n;
      writer_seen_ = true;
      return true;
    }
    return false;
  }

 private:
  std::array<int, kWriters> last_{};
  bool writer_seen_ = false;
};

int ReadUntilWritersEnd(InstallPathRun& run, int reader) {
  ReadChecker checker;
  bool last_round = false;
  while (!last_round) {
    last_round = run.writers_running == 0;
    char* path = GetSaveFilePath();
    const bool accepted = checker.Accept(path);
    const std::string text = TakeText(path);
    if (!accepted) {
      std::cerr << "reader " << reader << " got " << text << "\n";
      return 1;
    }
    ++run.reads[reader];
  }
  return 0;
}

int WritePaths(InstallPathRun& run, int writer) {
  int failures = 0;
  for (int n = 1; n <= kPathsEach; ++n) failures += SetPath(PathOf(writer, n)) != POVUPDATE_OK;
  --run.writers_running;
  return failures == 0 ? 0 : 1;
}

TEST_P(ConcurrencyTest, ReadersOfTheInstallPathSeeOnlyWholeStoredValues) {
  // With a value stored, a reader never stores the default.
  ASSERT_EQ(SetPath(kSeed), POVUPDATE_OK);
  SharedMemory<InstallPathRun> run;
  std::vector<std::function<int()>> bodies;
  for (int writer = 0; writer < kWriters; ++writer) {
    bodies.push_back([&run, writer] { return WritePaths(run.get(), writer); });
  }
  for (int reader = 0; reader < kReaders; ++reader) {
    bodies.push_back([&run, reader] { return ReadUntilWritersEnd(run.get(), reader); });
  }
  EXPECT_EQ(RunAll(GetParam(), bodies), std::vector<int>(kWriters + kReaders, 0));
  for (int reader = 0; reader < kReaders; ++reader) EXPECT_GT(run.get().reads[reader], 1);

  // The last value stored is some writer's last.
  const std::string last = TakeText(GetSaveFilePath());
  bool some_writers_last = false;
  for (int writer = 0; writer < kWriters; ++writer) {
    some_writers_last = some_writers_last || last == PathOf(writer, kPathsEach) + "/Install";
  }
  EXPECT_TRUE(some_writers_last) << last;
}

// Update file --------------------------------------------------------------

constexpr int kReplacedEntries = 20;

// Version `v` of an update file: entry n is section "<v>n", and each of its
// seven values is `v`.
std::string UpdateFileVersion(const std::string& v) {
  static const char* const kKeys[] = {"Version",     "DownLoadPath",    "MD5", "InstallType",
                                      "InstallPath", "InstallParmeter", "Size"};
  std::string index = "[SOFTWARE]\r\n";
  std::string entries;
  for (int n = 1; n <= kReplacedEntries; ++n) {
    const std::string name = v + std::to_string(n);
    index += std::to_string(n) + "=" + name + "\r\n";
    entries += "[" + name + "]\r\n";
    for (const char* key : kKeys) entries += std::string(key) + "=" + v + "\r\n";
  }
  return index + entries;
}

class ReplacedUpdateFileTest : public LibraryTest {};

// A publisher replaces the update file by rename, again and again, while a
// host walks it: every record comes whole from one version of the file.
TEST_F(ReplacedUpdateFileTest, NoRecordMixesTwoVersions) {
  const std::string versions[] = {UpdateFileVersion("a"), UpdateFileVersion("b")};
  WriteFile(UpdateFile(), versions[0]);
  std::atomic<bool> done{false};
  std::thread publisher([&] {
    const std::string next = ModuleDir() + "Update_6.1.ini.new";
    for (int round = 0; !done; ++round) {
      WriteFile(next, versions[round % 2]);
      rename(next.c_str(), UpdateFile().c_str());
    }
  });
  int mixed = 0;
  int cursor = 1;
  for (int call = 0; call < 2000; ++call) {
    Record record;
    ASSERT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record.get()), POVUPDATE_OK);
    if (cursor == -1) {
      cursor = 1;
      continue;
    }
    const std::array<std::string, 8> texts = record.Texts();
    const std::string& v = texts[1];
    const bool whole = texts[0] == v + std::to_string(cursor - 1) &&
                       std::all_of(texts.begin() + 1, texts.end(),
                                   [&](const std::string& text) { return text == v; });
    mixed += !whole;
  }
  done = true;
  publisher.join();
  EXPECT_EQ(mixed, 0);
}

INSTANTIATE_TEST_SUITE_P(Workers, ConcurrencyTest,
                         ::testing::Values(Workers::kProcesses, Workers::kThreads), PrintWorkers);

// Lock holders ----------------------------------------------------------------

class LockHolderTest : public LibraryTest {
 protected:
  std::string RegistryDir() const { return ModuleDir() + "registry"; }
};

// Anyone who may read a directory may flock() it. This one holds the locks
// of both files for half a minute and does nothing with them.
[[noreturn]] void HoldLocks(const std::vector<std::string>& directories, int ready_fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  for (const std::string& directory : directories) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
  }
  const char ready = 'r';
  if (write(ready_fd, &ready, 1) != 1) _exit(1);
  sleep(30);
  _exit(0);
}

TEST_F(LockHolderTest, WritesGiveUpOnAHolderThatDoesNothing) {
  WriteFile(LocalFile(), "[Viewer]\r\nVersion=1\r\n");
  ASSERT_EQ(SetPath(kSeed), POVUPDATE_OK);
  const std::string store = RegistryDir() + "/HKEY_LOCAL_MACHINE.txt";
  const std::string local_before = ReadFile(LocalFile());
  const std::string store_before = ReadFile(store);

  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  ASSERT_NE(holder, -1);
  if (holder == 0) HoldLocks({ModuleDir(), RegistryDir()}, ready[1]);
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the holder got no lock";
  close(ready[0]);

  int local_result = -1;
  std::thread local([&local_result] {
    char name[] = "Viewer";
    char version[] = "2";
    SoftwareInforRecord record{};
    record.Name = name;
    record.Version = version;
    local_result = UpdateLocalSoftwareInforToIni(&record);
  });
  const int registry_result = SetPath("/srv/other");
  local.join();
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);

  EXPECT_EQ(local_result, POVUPDATE_WRITE_FAILED);
  EXPECT_EQ(registry_result, POVUPDATE_VALUE_REFUSED);
  EXPECT_EQ(ReadFile(LocalFile()), local_before);
  EXPECT_EQ(ReadFile(store), store_before);
}

}  // namespace
}  // namespace povupdate::test
