// The profile cache against files changed behind its back, and profile
// writes that replace files whole and lose nothing to concurrent writers.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/profile_cache.h"
#include "platform/linux/win32_api.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

using backend::IniDocument;
using backend::ProfileCache;
using backend::ProfileSnapshot;
using backend::ReadStatus;

timespec Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

// A clock a day ahead: every file looks long settled, so the cache trusts
// whatever the stamps prove and nothing else is left to catch a change.
timespec DayAhead() {
  timespec now = Now();
  now.tv_sec += 24 * 60 * 60;
  return now;
}

// A clock a day behind: every file's ctime lies ahead of it, as after the
// clock was set back.
timespec DayBehind() {
  timespec now = Now();
  now.tv_sec -= 24 * 60 * 60;
  return now;
}

bool Later(const timespec& a, const timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

struct stat StatOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status;
}

// Waits until the file system's clock has moved past the file's ctime, so
// that the next change of the file gets a ctime of its own.
void WaitForNewStamps(const std::string& path) {
  const timespec changed = StatOf(path).st_ctim;
  const std::string probe = path + ".probe";
  for (int tries = 0; tries < 5000; ++tries) {
    WriteFile(probe, "x");
    if (Later(StatOf(probe).st_ctim, changed)) {
      unlink(probe.c_str());
      return;
    }
    usleep(1000);
  }
  FAIL() << "the file system's clock does not move";
}

// Changes the bytes of the file itself and sets its times back, as a program
// hiding its change would: same inode, same size, same mtime.
void RewriteInPlaceKeepingTimes(const std::string& path, const std::string& bytes) {
  const struct stat before = StatOf(path);
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), 0);
  const int truncated = ftruncate(fd, static_cast<off_t>(bytes.size()));
  close(fd);
  ASSERT_EQ(written, static_cast<ssize_t>(bytes.size()));
  ASSERT_EQ(truncated, 0);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Puts a new file with `bytes` and the old file's times in its place by
// rename.
void ReplaceKeepingTimes(const std::string& path, const std::string& bytes) {
  const struct stat before = StatOf(path);
  const std::string other = path + ".other";
  WriteFile(other, bytes);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
  ASSERT_EQ(rename(other.c_str(), path.c_str()), 0);
}

// Writes "[s]\r\nk=aaaa\r\n" and maps its first 16 bytes shared, writable.
void* MapNewFile(const std::string& path) {
  WriteFile(path, "[s]\r\nk=aaaa\r\n");
  const int fd = open(path.c_str(), O_RDWR);
  if (fd < 0) return MAP_FAILED;
  void* mapped = mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  return mapped;
}

std::string ValueIn(const ProfileSnapshot& file) {
  if (file.status != ReadStatus::kOk) return "(unreadable)";
  const auto value = file.document->Find("s", "k");
  return value ? std::string(*value) : "(none)";
}

class ProfileCacheTest : public ::testing::Test {
 protected:
  TempDir dir_;
  const std::string path_ = dir_.File("profile.ini");
  ProfileCache trusting_{DayAhead};
};

TEST_F(ProfileCacheTest, UnchangedFileIsParsedOnce) {
  WriteFile(path_, "[s]\r\nk=1\r\n");
  const ProfileSnapshot first = trusting_.Load(path_);
  const ProfileSnapshot second = trusting_.Load(path_);
  EXPECT_EQ(ValueIn(second), "1");
  EXPECT_EQ(first.document, second.document);
}

TEST_F(ProfileCacheTest, TouchedFileWithSameBytesKeepsItsParse) {
  WriteFile(path_, "[s]\r\nk=1\r\n");
  const ProfileSnapshot first = trusting_.Load(path_);
  WaitForNewStamps(path_);
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), nullptr, 0), 0);
  EXPECT_EQ(trusting_.Load(path_).document, first.document);
}

TEST_F(ProfileCacheTest, SameSizeRewriteWithTimesSetBackIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ASSERT_EQ(ValueIn(trusting_.Load(path_)), "aaaa");
  const struct stat before = StatOf(path_);
  WaitForNewStamps(path_);

  RewriteInPlaceKeepingTimes(path_, "[s]\r\nk=bbbb\r\n");

  const struct stat after = StatOf(path_);
  ASSERT_EQ(after.st_ino, before.st_ino);
  ASSERT_EQ(after.st_size, before.st_size);
  ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(ValueIn(trusting_.Load(path_)), "bbbb");
}

TEST_F(ProfileCacheTest, ReplacementByRenameIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ASSERT_EQ(ValueIn(trusting_.Load(path_)), "aaaa");
  ReplaceKeepingTimes(path_, "[s]\r\nk=bbbb\r\n");
  EXPECT_EQ(ValueIn(trusting_.Load(path_)), "bbbb");
}

TEST_F(ProfileCacheTest, TruncationIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ASSERT_EQ(ValueIn(trusting_.Load(path_)), "aaaa");
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);
  EXPECT_EQ(ValueIn(trusting_.Load(path_)), "(none)");
}

TEST_F(ProfileCacheTest, DeletionIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ASSERT_EQ(ValueIn(trusting_.Load(path_)), "aaaa");
  ASSERT_EQ(unlink(path_.c_str()), 0);
  EXPECT_EQ(trusting_.Load(path_).status, ReadStatus::kMissing);
}

TEST_F(ProfileCacheTest, DirectoryInThePlaceOfTheFileIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ASSERT_EQ(ValueIn(trusting_.Load(path_)), "aaaa");
  ASSERT_EQ(unlink(path_.c_str()), 0);
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  EXPECT_EQ(trusting_.Load(path_).status, ReadStatus::kFailed);
}

// With the real clock, a file just changed is never trusted on its stamps:
// a second change within the same time stamp granule is still seen.
TEST_F(ProfileCacheTest, ChangesWithinOneStampGranuleAreSeen) {
  ProfileCache cache(Now);
  for (int round = 0; round < 20; ++round) {
    WriteFile(path_, "[s]\r\nk=aaaa\r\n");
    ASSERT_EQ(ValueIn(cache.Load(path_)), "aaaa");
    RewriteInPlaceKeepingTimes(path_, "[s]\r\nk=bbbb\r\n");
    ASSERT_EQ(ValueIn(cache.Load(path_)), "bbbb") << "round " << round;
  }
}

// Stores through a shared mapping to a page already dirty change the file
// without touching its stamps at all; right after a read that is still seen,
// because the file has not settled.
TEST_F(ProfileCacheTest, ChangeWithoutNewStampsRightAfterReadIsSeen) {
  ProfileCache cache(Now);
  void* mapped = MapNewFile(path_);
  ASSERT_NE(mapped, MAP_FAILED);
  char* bytes = static_cast<char*>(mapped);
  bytes[9] = 'x';  // dirties the page: the file gets new stamps
  ASSERT_EQ(ValueIn(cache.Load(path_)), "aaxa");
  const struct stat before = StatOf(path_);

  bytes[10] = 'y';  // the page is dirty already: the stamps stay

  const struct stat after = StatOf(path_);
  EXPECT_EQ(ValueIn(cache.Load(path_)), "aaxy");
  munmap(mapped, 16);
  if (after.st_ctim.tv_nsec != before.st_ctim.tv_nsec) {
    GTEST_SKIP() << "the page was written back in between: the stamps changed after all";
  }
}

// A change that leaves the stamps alone (a store through a shared mapping to
// a page already dirty) is seen only by reading the file again: with the
// file's ctime ahead of the clock the stamps alone are trusted, so the file is
// read once, not on every load. A change that gets a ctime still shows.
TEST_F(ProfileCacheTest, ChangeTimeAheadOfTheClockIsNoReasonToReadAgain) {
  ProfileCache cache(DayBehind);
  void* mapped = MapNewFile(path_);
  ASSERT_NE(mapped, MAP_FAILED);
  char* bytes = static_cast<char*>(mapped);
  bytes[9] = 'x';
  ASSERT_EQ(ValueIn(cache.Load(path_)), "aaxa");
  const struct stat before = StatOf(path_);

  bytes[10] = 'y';

  const struct stat after = StatOf(path_);
  const std::string unread = ValueIn(cache.Load(path_));
  munmap(mapped, 16);
  if (after.st_ctim.tv_nsec != before.st_ctim.tv_nsec) {
    GTEST_SKIP() << "the page was written back in between: the stamps changed after all";
  }
  EXPECT_EQ(unread, "aaxa");
  WaitForNewStamps(path_);
  WriteFile(path_, "[s]\r\nk=bbbb\r\n");
  EXPECT_EQ(ValueIn(cache.Load(path_)), "bbbb");
}

// The cache is bounded by the bytes it holds, not by a count of files.
TEST_F(ProfileCacheTest, ManySmallFilesAreAllKept) {
  std::vector<std::string> paths;
  std::vector<ProfileSnapshot> first;
  for (int i = 0; i < 40; ++i) {
    paths.push_back(dir_.File("small" + std::to_string(i) + ".ini"));
    WriteFile(paths.back(), "[s]\r\nk=" + std::to_string(i) + "\r\n");
    first.push_back(trusting_.Load(paths.back()));
  }
  for (int i = 0; i < 40; ++i) EXPECT_EQ(trusting_.Load(paths[i]).document, first[i].document) << i;
}

TEST_F(ProfileCacheTest, FilesBeyondTheByteBoundAreNotKept) {
  ProfileCache cache(DayAhead, 64 << 10);
  const std::string a = dir_.File("a.ini");
  const std::string b = dir_.File("b.ini");
  const std::string large = dir_.File("large.ini");
  WriteFile(a, "[s]\r\nk=" + std::string(40 << 10, 'a') + "\r\n");
  WriteFile(b, "[s]\r\nk=" + std::string(40 << 10, 'b') + "\r\n");
  WriteFile(large, "[s]\r\nk=" + std::string(80 << 10, 'c') + "\r\n");
  const ProfileSnapshot first_a = cache.Load(a);
  EXPECT_EQ(cache.Load(a).document, first_a.document);
  cache.Load(b);
  EXPECT_NE(cache.Load(a).document, first_a.document);
  const ProfileSnapshot first_large = cache.Load(large);
  EXPECT_NE(cache.Load(large).document, first_large.document);
  EXPECT_EQ(ValueIn(cache.Load(large)).size(), std::size_t{80} << 10);
}

std::string Read(const std::string& path, const char* key = "k") {
  char buffer[64];
  const DWORD length =
      GetPrivateProfileStringA("s", key, "(none)", buffer, sizeof buffer, path.c_str());
  return std::string(buffer, length);
}

// The same changes seen through the service and its process-wide cache, once
// right after the file was read and once after the file has settled, when
// its cached parse is trusted on its stamps.
class ProfileChangeTest : public ::testing::TestWithParam<bool> {
 protected:
  void ReadAndMaybeSettle(const std::string& expected) {
    ASSERT_EQ(Read(path_), expected);
    ASSERT_EQ(Read(path_), expected);
    if (GetParam()) usleep(200 * 1000);
  }

  TempDir dir_;
  const std::string path_ = dir_.File("profile.ini");
};

TEST_P(ProfileChangeTest, EveryChangeIsSeen) {
  WriteFile(path_, "[s]\r\nk=aaaa\r\n");
  ReadAndMaybeSettle("aaaa");
  RewriteInPlaceKeepingTimes(path_, "[s]\r\nk=bbbb\r\n");
  ReadAndMaybeSettle("bbbb");
  ReplaceKeepingTimes(path_, "[s]\r\nk=cccc\r\n");
  ReadAndMaybeSettle("cccc");
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);
  ReadAndMaybeSettle("(none)");
  WriteFile(path_, "[s]\r\nk=dddd\r\n");
  ReadAndMaybeSettle("dddd");
  ASSERT_EQ(unlink(path_.c_str()), 0);
  ReadAndMaybeSettle("(none)");
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  ReadAndMaybeSettle("(none)");
  ASSERT_EQ(rmdir(path_.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "eeee", path_.c_str()));
  ReadAndMaybeSettle("eeee");
}

INSTANTIATE_TEST_SUITE_P(Timing, ProfileChangeTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return std::string(info.param ? "Settled" : "JustRead");
                         });

class ProfileWriteFileTest : public ::testing::Test {
 protected:
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempDir dir_;
  const std::string path_ = dir_.File("profile.ini");
};

TEST_F(ProfileWriteFileTest, WritesLeaveNoTemporaryFile) {
  // What a writer that died would have left.
  WriteFile(dir_.File(".profile.ini.povupdate-new"), "[s]\r\nk=half");
  for (const char* key : {"a", "b", "c"}) {
    ASSERT_TRUE(WritePrivateProfileStringA("s", key, "v", path_.c_str()));
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"profile.ini"});
}

TEST_F(ProfileWriteFileTest, WriteKeepsPermissions) {
  WriteFile(path_, "[s]\r\nk=1\r\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "2", path_.c_str()));
  EXPECT_EQ(StatOf(path_).st_mode & 07777, 0640u);
}

TEST_F(ProfileWriteFileTest, WriteThroughSymbolicLinkKeepsLink) {
  const std::string target = dir_.File("target.ini");
  WriteFile(target, "[s]\r\nk=1\r\n");
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "2", path_.c_str()));
  struct stat link {};
  ASSERT_EQ(lstat(path_.c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(ReadFile(target), "[s]\r\nk=2\r\n");
}

constexpr int kKeysPerWriter = 500;

// Records this writer's keys; true when every write succeeded.
bool RecordKeys(const std::string& path, int writer) {
  bool all = true;
  for (int i = 0; i < kKeysPerWriter; ++i) {
    const std::string key = "w" + std::to_string(writer) + "_" + std::to_string(i);
    const std::string value = std::to_string(i * 7);
    all = WritePrivateProfileStringA("s", key.c_str(), value.c_str(), path.c_str()) && all;
  }
  return all;
}

void ExpectEveryKey(const std::string& path, int writers) {
  for (int writer = 0; writer < writers; ++writer) {
    for (int i = 0; i < kKeysPerWriter; ++i) {
      const std::string key = "w" + std::to_string(writer) + "_" + std::to_string(i);
      ASSERT_EQ(Read(path, key.c_str()), std::to_string(i * 7)) << key;
    }
  }
}

TEST_F(ProfileWriteFileTest, WritersInTwoProcessesLoseNothing) {
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(RecordKeys(path_, writer) ? 0 : 1);
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ExpectEveryKey(path_, 2);
}

TEST_F(ProfileWriteFileTest, WritersInTwoThreadsLoseNothing) {
  std::atomic<bool> all{true};
  std::vector<std::thread> threads;
  for (int writer = 0; writer < 2; ++writer) {
    threads.emplace_back([&, writer] {
      if (!RecordKeys(path_, writer)) all = false;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(all);
  ExpectEveryKey(path_, 2);
}

// A reader never sees the file missing or half written while it is being
// rewritten, and never sees an older value after a newer one.
TEST_F(ProfileWriteFileTest, ReadersSeeWholeFilesInOrder) {
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "0", path_.c_str()));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 1; i <= 300; ++i) {
      WritePrivateProfileStringA("s", "k", std::to_string(i).c_str(), path_.c_str());
      WritePrivateProfileStringA("s", ("pad" + std::to_string(i)).c_str(), "x", path_.c_str());
    }
    done = true;
  });
  int last = 0;
  bool in_order = true;
  while (!done && in_order) {
    const std::string value = Read(path_);
    in_order = value != "(none)" && std::stoi(value) >= last;
    EXPECT_TRUE(in_order) << value << " after " << last;
    if (in_order) last = std::stoi(value);
  }
  writer.join();
  EXPECT_EQ(Read(path_), "300");
}

}  // namespace
}  // namespace povupdate::test
