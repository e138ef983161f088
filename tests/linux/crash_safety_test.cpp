// Writers killed at random moments: the local configuration file and the
// registry store always hold what some sequence of complete writes left, and
// the temporary files of killed writers go with the next write. A write that
// succeeded is on the disk, its directory entry included.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "library_support.h"
#include "platform/linux/win32_api.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

// The directories (by inode) that fsync() was called on, while recording.
struct DirectorySyncs {
  std::mutex mutex;
  bool recording = false;
  std::set<ino_t> synced;
};

DirectorySyncs& Syncs() {
  static DirectorySyncs syncs;
  return syncs;
}

}  // namespace
}  // namespace povupdate::test

// Every fsync() of the test program passes through here on its way to the
// kernel, so that a test can see which directories a write flushed.
extern "C" int fsync(int fd) {
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    auto& syncs = povupdate::test::Syncs();
    const std::lock_guard<std::mutex> lock(syncs.mutex);
    if (syncs.recording) syncs.synced.insert(info.st_ino);
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace povupdate::test {
namespace {

// Records the directories flushed while it lives.
class SyncRecorder {
 public:
  SyncRecorder() { Set(true); }
  ~SyncRecorder() { Set(false); }
  SyncRecorder(const SyncRecorder&) = delete;
  SyncRecorder& operator=(const SyncRecorder&) = delete;

  bool Synced(const std::string& directory) {
    struct stat info {};
    EXPECT_EQ(stat(directory.c_str(), &info), 0) << directory;
    const std::lock_guard<std::mutex> lock(Syncs().mutex);
    return Syncs().synced.count(info.st_ino) != 0;
  }

 private:
  static void Set(bool recording) {
    const std::lock_guard<std::mutex> lock(Syncs().mutex);
    Syncs().recording = recording;
    Syncs().synced.clear();
  }
};

constexpr int kKills = 80;
constexpr int kItems = 8;
// A writer's run: up to a few writes of each kind under the sanitizers.
constexpr int kLongestRunMicroseconds = 60000;
constexpr char kInstallKey[] = "SOFTWARE\\DravuPovUpdate";
// The Linux store keeps HKEY_LOCAL_MACHINE in this file of its directory.
constexpr char kStoreName[] = "HKEY_LOCAL_MACHINE.txt";

// Every rewrite copies this section, so that a kill can land in the middle
// of writing the file's bytes.
const std::string kPadding = "[Padding]\r\nData=" + std::string(32 * 1024, 'p') + "\r\n";

// Write n (from 1) records version n of item (n - 1) % kItems.
std::string ItemName(int item) { return "Item" + std::to_string(item); }

// The local file after writes 1 to n.
std::string LocalBytesAfter(int n) {
  std::string bytes = kPadding;
  for (int item = 0; item < std::min(n, kItems); ++item) {
    const int last = item + 1 + (n - item - 1) / kItems * kItems;
    bytes += "[" + ItemName(item) + "]\r\nVersion=" + std::to_string(last) + "\r\n";
  }
  return bytes;
}

// Equality of two files' bytes, told without printing the padding.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  const std::size_t tail = std::min<std::size_t>(actual.size(), 60);
  return ::testing::AssertionFailure()
         << actual.size() << " bytes instead of " << expected.size() << ", ending in \""
         << actual.substr(actual.size() - tail) << "\"";
}

constexpr char kAppsDir[] = "/srv/apps/";

std::string InstallPathOf(int n) { return kAppsDir + std::to_string(n); }

int RecordVersion(int n) {
  const std::string name = ItemName((n - 1) % kItems);
  const std::string version = std::to_string(n);
  SoftwareInforRecord record{};
  record.Name = const_cast<char*>(name.c_str());
  record.Version = const_cast<char*>(version.c_str());
  return UpdateLocalSoftwareInforToIni(&record);
}

int SetInstallPath(int n) {
  std::string path = InstallPathOf(n);
  path.resize(path.size() + 8, '\0');  // room for "/Install"
  return SetSaveFilePath(path.data());
}

// The number of writes the local file holds, read through the library: the
// highest version recorded (0 for none); -1 when a read fails.
int RecordedWrites() {
  int highest = 0;
  for (int item = 0; item < kItems; ++item) {
    Record record;
    if (GetTheLocalSoftwareInforFromIni(ItemName(item).c_str(), record.get()) != POVUPDATE_OK) {
      return -1;
    }
    highest = std::max(highest, std::atoi(record.get()->Version));
  }
  return highest;
}

// Writes on after the `done` writes the files hold until killed: install
// path `done` (so that it catches up with the local file), then for each
// next n the local version and the install path. Exits with 1 on the first
// failed write.
[[noreturn]] void RunWriter(int done, int ready_fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const char ready = 'r';
  if (write(ready_fd, &ready, 1) != 1) _exit(1);
  if (done > 0 && SetInstallPath(done) != POVUPDATE_OK) _exit(1);
  for (int n = done + 1;; ++n) {
    if (RecordVersion(n) != POVUPDATE_OK || SetInstallPath(n) != POVUPDATE_OK) _exit(1);
  }
}

// The test's files on tmpfs, where fsync() returns at once: a kill then
// lands anywhere in a rewrite, not mostly in the wait for the disk (a
// process in fsync() dies only when it returns).
class OnTmpfs {
 protected:
  ScopedEnv tmpdir_{"TMPDIR", std::filesystem::is_directory("/dev/shm")
                                  ? "/dev/shm"
                                  : std::filesystem::temp_directory_path().c_str()};
};

// OnTmpfs comes first, so that the fixture's directory is made there.
class CrashSafetyTest : private OnTmpfs, public LibraryTest {
 protected:
  std::string RegistryDir() const { return ModuleDir() + "registry"; }
  std::string StoreFile() const { return RegistryDir() + "/" + kStoreName; }

  // Starts a writer after `done` writes, lets it run for `run_us`
  // microseconds and kills it.
  void KillWriterAfter(int done, int run_us) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      close(pipe_fds[0]);
      RunWriter(done, pipe_fds[1]);
    }
    close(pipe_fds[1]);
    char ready = 0;
    const bool started = read(pipe_fds[0], &ready, 1) == 1;
    close(pipe_fds[0]);
    if (started) std::this_thread::sleep_for(std::chrono::microseconds(run_us));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the writer stopped by itself: a write failed";
  }

  // The install path the store holds as the registry reads it: 0 when the
  // store, the key or the value is missing, -1 when it can't be read or is
  // not one a writer stored.
  int StoredInstallPath() {
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return 0;
    if (opened != ERROR_SUCCESS) return -1;
    char data[MAX_PATH] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS read =
        RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (read == ERROR_FILE_NOT_FOUND) return 0;
    if (read != ERROR_SUCCESS || type != REG_SZ) return -1;
    const std::string text(data, size);
    if (text.rfind(kAppsDir, 0) != 0) return -1;
    const int n = std::atoi(text.c_str() + std::strlen(kAppsDir));
    return n > 0 && text == InstallPathOf(n) + "/Install" + std::string(1, '\0') ? n : -1;
  }

  // The store's bytes after the library stored install path n (0: after it
  // only created the key) in an empty store.
  std::string StoreBytesAfter(int n) {
    TempDir scratch;
    const ScopedEnv registry("POVUPDATE_REGISTRY_DIR", scratch.path().string().c_str());
    if (n == 0) {
      HKEY key = nullptr;
      EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kInstallKey, &key), ERROR_SUCCESS);
      RegCloseKey(key);
    } else {
      EXPECT_EQ(SetInstallPath(n), POVUPDATE_OK);
    }
    return ReadFile(scratch.File(kStoreName));
  }

  // Names in the module and registry directories that are not the
  // library's files: temporary files of killed writers.
  std::set<std::string> Leftovers() const {
    std::set<std::string> names;
    for (const std::string& dir : {ModuleDir(), RegistryDir()}) {
      std::error_code ignored;
      for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
        names.insert(entry.path().filename().string());
      }
    }
    for (const char* own : {"PovConfig_6.1.ini", "registry", kStoreName}) names.erase(own);
    return names;
  }

  // Checks both files against the writes they hold and returns how many the
  // local file holds.
  int CheckFiles(int writes_before) {
    const int writes = RecordedWrites();
    EXPECT_GE(writes, writes_before) << "a complete write was lost";
    EXPECT_TRUE(SameBytes(ReadFile(LocalFile()), LocalBytesAfter(writes)));

    // The install path is stored after the local version of the same n.
    const int stored = StoredInstallPath();
    if (!FileExists(StoreFile())) {
      EXPECT_LE(writes, 1) << "the store is missing";
      return writes;
    }
    if (stored == 0) {
      EXPECT_LE(writes, 1) << "the install path is missing";
    } else {
      EXPECT_TRUE(stored == writes || stored == writes - 1)
          << "install path " << stored << " beside local version " << writes;
    }
    if (stored >= 0) {
      EXPECT_TRUE(SameBytes(ReadFile(StoreFile()), StoreBytesAfter(stored)));
    }
    return writes;
  }
};

TEST_F(CrashSafetyTest, KilledWritersLeaveCompleteFilesAndNoLastingTemporaryFiles) {
  WriteFile(LocalFile(), kPadding);
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> run_us(0, kLongestRunMicroseconds);

  int writes = 0;
  int kills_leaving_temporary_files = 0;
  for (int round = 0; round < kKills && !HasFailure(); ++round) {
    KillWriterAfter(writes, run_us(random));
    writes = CheckFiles(writes);
    kills_leaving_temporary_files += !Leftovers().empty();
  }
  // How often a kill landed in the middle of a rewrite; timing decides, so
  // it is reported, not required.
  RecordProperty("kills_leaving_temporary_files", kills_leaving_temporary_files);
  RecordProperty("writes", writes);
  ASSERT_GT(writes, 0) << "no writer got to write";

  // The next writes of each file clear what the killed writers left.
  ASSERT_EQ(RecordVersion(writes + 1), POVUPDATE_OK);
  ASSERT_EQ(SetInstallPath(writes + 1), POVUPDATE_OK);
  EXPECT_EQ(CheckFiles(writes + 1), writes + 1);
  EXPECT_EQ(Leftovers(), std::set<std::string>{});
}

// A rename is an entry in the directory: only once the directory is flushed
// does the replaced file survive a power loss.
TEST_F(CrashSafetyTest, SuccessfulWritesFlushTheirDirectories) {
  SyncRecorder recorder;
  ASSERT_EQ(RecordVersion(1), POVUPDATE_OK);
  ASSERT_EQ(SetInstallPath(1), POVUPDATE_OK);
  EXPECT_TRUE(recorder.Synced(ModuleDir())) << "the local configuration file's";
  EXPECT_TRUE(recorder.Synced(RegistryDir())) << "the registry store's";
}

}  // namespace
}  // namespace povupdate::test
