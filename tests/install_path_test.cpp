// The install directory kept in the registry: GetSaveFilePath and
// SetSaveFilePath.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "library_support.h"
#include "platform/fault_injection.h"
#include "platform/win32.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace povupdate::test {
namespace {

constexpr const char* kSubKey = "SOFTWARE\\DravuPovUpdate";
#ifdef _WIN32
const std::string kSep = "\\";
const std::string kAppsDir = "D:\\Apps";
#else
const std::string kSep = "/";
const std::string kAppsDir = "/srv/apps";
#endif

struct StoredValue {
  bool present = false;
  DWORD type = 0;
  std::string bytes;
};

StoredValue ReadStored() {
  StoredValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return value;
  }
  char data[1024];
  DWORD size = sizeof data;
  value.present = RegQueryValueExA(key, "InstallPath", nullptr, &value.type,
                                   reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
  if (value.present) value.bytes.assign(data, size);
  RegCloseKey(key);
  return value;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

class InstallPathTest : public LibraryTest {
 protected:
  std::string Default() const { return ModuleDir() + "Install"; }
};

TEST_F(InstallPathTest, TheFirstReadStoresTheDefault) {
  EXPECT_EQ(TakeText(GetSaveFilePath()), Default());
  const StoredValue stored = ReadStored();
  EXPECT_TRUE(stored.present);
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored.bytes, Sz(Default()));
  EXPECT_EQ(TakeText(GetSaveFilePath()), Default());
}

TEST_F(InstallPathTest, AKeyWithoutTheValueGetsTheDefault) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSubKey, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(TakeText(GetSaveFilePath()), Default());
  EXPECT_EQ(ReadStored().bytes, Sz(Default()));
}

TEST_F(InstallPathTest, TheLastComponentIsMadeInstall) {
  const struct {
    std::string given;
    std::string stored;
  } cases[] = {
      {kAppsDir, kAppsDir + kSep + "Install"},
      {kAppsDir + kSep + "install", kAppsDir + kSep + "install"},
      {kAppsDir + kSep + "INSTALL", kAppsDir + kSep + "INSTALL"},
      {kAppsDir + kSep, kAppsDir + kSep + kSep + "Install"},
      {kSep + "Installer", kSep + "Installer" + kSep + "Install"},
      {kSep + "Install" + kSep + "Apps", kSep + "Install" + kSep + "Apps" + kSep + "Install"},
      {"Install", "Install"},
      {"Apps", "Apps" + kSep + "Install"},
      {"", kSep + "Install"},
  };
  for (const auto& c : cases) {
    std::string after;
    ASSERT_EQ(SetInstallPath(c.given, &after), 0) << c.given;
    EXPECT_EQ(after, c.stored) << "the host's buffer holds what was stored";
    EXPECT_EQ(ReadStored().bytes, Sz(c.stored));
    EXPECT_EQ(TakeText(GetSaveFilePath()), c.stored);
  }
}

TEST_F(InstallPathTest, PathsUpTo259CharactersAreKept) {
  const std::string longest = kSep + std::string(250, 'a') + kSep + "Install";
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(SetInstallPath(longest), 0);
  EXPECT_EQ(TakeText(GetSaveFilePath()), longest);

  // One past the limit can't be read back whole: the default takes its place.
  StoreInstallPathValue(REG_SZ, Sz(longest + "x"));
  EXPECT_EQ(TakeText(GetSaveFilePath()), Default());
}

TEST_F(InstallPathTest, APathThatWouldPass259CharactersIsRefused) {
  SetInstallPath(kAppsDir);
  for (const std::string& given :
       {kSep + std::string(251, 'a'),                        // 252 + 8 appended
        kSep + std::string(251, 'a') + kSep + "Install"}) {  // 260 as it stands
    std::string after;
    EXPECT_EQ(SetInstallPath(given, &after), POVUPDATE_PATH_TOO_LONG);
    EXPECT_EQ(after, given);
    EXPECT_EQ(ReadStored().bytes, Sz(kAppsDir + kSep + "Install"));
  }
}

TEST_F(InstallPathTest, StoredValuesThatAreNoTextGiveWayToTheDefault) {
  StoreInstallPathValue(REG_SZ, "D:\\Unterminated");
  EXPECT_EQ(TakeText(GetSaveFilePath()), "D:\\Unterminated");
  StoreInstallPathValue(REG_EXPAND_SZ, Sz("%ProgramFiles%\\App"));
  EXPECT_EQ(TakeText(GetSaveFilePath()), "%ProgramFiles%\\App");
  for (const auto& [type, bytes] : {std::pair<DWORD, std::string>{REG_SZ, ""},
                                    {REG_SZ, Sz("")},
                                    {REG_BINARY, Sz("D:\\Binary")},
                                    {REG_DWORD, std::string("\1\0\0\0", 4)},
                                    {REG_SZ, std::string(260, 'u')}}) {
    StoreInstallPathValue(type, bytes);
    EXPECT_EQ(TakeText(GetSaveFilePath()), Default()) << "type " << type;
    const StoredValue stored = ReadStored();
    EXPECT_EQ(stored.type, static_cast<DWORD>(REG_SZ)) << "the default is always text";
    EXPECT_EQ(stored.bytes, Sz(Default()));
  }
}

TEST_F(InstallPathTest, ANullPathIsRefusedWithoutTouchingTheRegistry) {
  EXPECT_EQ(SetSaveFilePath(nullptr), POVUPDATE_NULL_PATH);
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
}

TEST_F(InstallPathTest, EachFailedAllocationHasItsCode) {
  for (int n = 1;; ++n) {
    fault::FailAllocation(n);
    char* path = GetSaveFilePath();
    const bool triggered = fault::Triggered();
    fault::FailAllocation(0);
    if (!triggered) {
      EXPECT_EQ(TakeText(path), Default());
      break;
    }
    EXPECT_EQ(path, nullptr) << "allocation " << n;
  }
  std::set<int> codes;
  for (int n = 1;; ++n) {
    std::string after;
    fault::FailAllocation(n);
    const int result = SetInstallPath(kAppsDir, &after);
    const bool triggered = fault::Triggered();
    fault::FailAllocation(0);
    if (!triggered) break;
    codes.insert(result);
    EXPECT_EQ(after, kAppsDir) << "nothing appended when nothing is stored";
  }
  EXPECT_EQ(codes, std::set<int>{POVUPDATE_NO_WORK_BLOCK});
}

#ifndef _WIN32
// The Linux store refuses writes when its file may not be written, as a key
// without write rights does on Windows.
class ReadOnlyStoreTest : public InstallPathTest {
 protected:
  std::string StoreFile() {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::getenv("POVUPDATE_REGISTRY_DIR"))) {
      return entry.path().string();
    }
    return "";
  }
};

TEST_F(ReadOnlyStoreTest, ASettingIsReadWithoutWriteRights) {
  ASSERT_EQ(SetInstallPath(kAppsDir), 0);
  chmod(StoreFile().c_str(), 0400);
  EXPECT_EQ(TakeText(GetSaveFilePath()), kAppsDir + kSep + "Install");
  std::string after;
  EXPECT_EQ(SetInstallPath("/elsewhere", &after), POVUPDATE_KEY_UNAVAILABLE);
  EXPECT_EQ(after, "/elsewhere/Install") << "the text is extended before the write";
  EXPECT_EQ(TakeText(GetSaveFilePath()), kAppsDir + kSep + "Install");
}

TEST_F(ReadOnlyStoreTest, NoDefaultCanBeStoredWithoutWriteRights) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  chmod(StoreFile().c_str(), 0400);
  EXPECT_EQ(GetSaveFilePath(), nullptr) << "the install key can't be created";
  std::string after;
  EXPECT_EQ(SetInstallPath(kAppsDir, &after), POVUPDATE_INSTALL_KEY_FAILED);
  EXPECT_EQ(after, kAppsDir);

  chmod(StoreFile().c_str(), 0600);
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSubKey, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  chmod(StoreFile().c_str(), 0400);
  EXPECT_EQ(GetSaveFilePath(), nullptr) << "the key exists but can't be opened to write";
}

// A store whose file can't be rewritten (here: the file size limit) refuses
// the value itself after the key opened.
void ForbidFileGrowth() {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{16, 16};
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(ReadOnlyStoreTest, AValueTheStoreRefusesIsReported) {
  ASSERT_EQ(SetInstallPath(kAppsDir), 0);
  EXPECT_EXIT((ForbidFileGrowth(), std::_Exit(SetInstallPath("/elsewhere"))),
              ::testing::ExitedWithCode(POVUPDATE_VALUE_REFUSED), "");
  EXPECT_EQ(TakeText(GetSaveFilePath()), kAppsDir + kSep + "Install");

  // A default the store refuses is still returned.
  StoreInstallPathValue(REG_BINARY, "x");
  const std::string expected = Default();
  auto returns_default = [&] {
    ForbidFileGrowth();
    char* path = GetSaveFilePath();
    std::_Exit(path != nullptr && expected == path ? 0 : 1);
  };
  EXPECT_EXIT(returns_default(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace povupdate::test
