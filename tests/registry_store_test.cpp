// RegistryStore: registry paths with root digits, probing reads, and writes
// that keep the stored type.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "interface/povupdate.h"
#include "platform/allocator.h"
#include "platform/fault_injection.h"
#include "platform/registry_store.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

constexpr const char* kPath = "2SOFTWARE\\PovUpdateStoreTest";
constexpr const char* kSubKey = "SOFTWARE\\PovUpdateStoreTest";

class RegistryStoreTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    RegDeleteKeyA(HKEY_CURRENT_USER, kSubKey);
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, kSubKey);
    LibraryTest::TearDown();
  }
  void Put(const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kSubKey, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // Reads a value through the store into a fresh block of `capacity` bytes.
  int Query(const char* name, DWORD& type, std::string& bytes, DWORD capacity = 64) {
    std::string block(capacity, '\0');
    DWORD size = capacity;
    BYTE* data = reinterpret_cast<BYTE*>(block.data());
    const int result = store_.QueryRegValue(kPath, name, type, size, data);
    bytes.assign(block.data(), result == 0 ? size : 0);
    return result;
  }

  RegistryStore store_;
};

TEST_F(RegistryStoreTest, RootDigitsSelectThePredefinedKeys) {
  EXPECT_EQ(RegistryStore::RootKeyFromDigit('1'), HKEY_CLASSES_ROOT);
  EXPECT_EQ(RegistryStore::RootKeyFromDigit('2'), HKEY_CURRENT_USER);
  EXPECT_EQ(RegistryStore::RootKeyFromDigit('3'), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegistryStore::RootKeyFromDigit('4'), HKEY_USERS);
  EXPECT_EQ(RegistryStore::RootKeyFromDigit('5'), HKEY_CURRENT_CONFIG);
  for (char other : {'0', '6', 'a', '\0'}) {
    EXPECT_EQ(RegistryStore::RootKeyFromDigit(other), nullptr) << static_cast<int>(other);
  }
}

TEST_F(RegistryStoreTest, PathsWithoutARootDigitAreRefusedBeforeAnyRegistryCall) {
  DWORD type = REG_SZ;
  DWORD size = 4;
  BYTE buffer[4] = {};
  BYTE* data = buffer;
  for (const char* path : {"0SOFTWARE\\X", "6SOFTWARE\\X", "SOFTWARE\\X", ""}) {
    EXPECT_EQ(store_.QueryRegValue(path, "v", type, size, data), POVUPDATE_BAD_REGISTRY_PATH);
    EXPECT_EQ(store_.SetRegValue(path, "v", type, size, buffer), POVUPDATE_BAD_REGISTRY_PATH);
    EXPECT_EQ(store_.CreateRegKey(path), POVUPDATE_BAD_REGISTRY_ROOT);
  }
}

TEST_F(RegistryStoreTest, KeysMustExistToBeReadOrWritten) {
  DWORD type = REG_SZ;
  std::string bytes;
  EXPECT_EQ(Query("v", type, bytes), POVUPDATE_KEY_UNAVAILABLE);
  DWORD size = 2;
  EXPECT_EQ(store_.SetRegValue(kPath, "v", type, size, reinterpret_cast<const BYTE*>("x")),
            POVUPDATE_KEY_UNAVAILABLE);
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSubKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS)
      << "a write creates no key";

  ASSERT_EQ(store_.CreateRegKey(kPath), 0);
  Put("kept", REG_SZ, std::string("yes\0", 4));
  ASSERT_EQ(store_.CreateRegKey(kPath), 0) << "an existing key is opened";
  EXPECT_EQ(Query("kept", type, bytes), 0);
  EXPECT_EQ(bytes, std::string("yes\0", 4));
  EXPECT_EQ(Query("absent", type, bytes), POVUPDATE_VALUE_UNREADABLE);
}

TEST_F(RegistryStoreTest, NullNamesTheDefaultValueInQueriesOnly) {
  Put(nullptr, REG_SZ, std::string("default\0", 8));
  Put("null", REG_SZ, std::string("named\0", 6));
  DWORD type = 0;
  std::string bytes;
  ASSERT_EQ(Query("NULL", type, bytes), 0);
  EXPECT_EQ(bytes, std::string("default\0", 8));
  ASSERT_EQ(Query("null", type, bytes), 0);
  EXPECT_EQ(bytes, std::string("named\0", 6));
}

TEST_F(RegistryStoreTest, AnEmptyRequestProbesForTheStoredSize) {
  const std::string stored("binary\0data", 11);
  Put("blob", REG_BINARY, stored);
  DWORD type = 0;
  DWORD size = 0;
  BYTE* data = nullptr;
  ASSERT_EQ(store_.QueryRegValue(kPath, "blob", type, size, data), 0);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, stored.size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), stored);
  FreeBlock(data);

  // A probe of a missing value still hands its block to the caller.
  type = 0;
  size = 0;
  data = nullptr;
  EXPECT_EQ(store_.QueryRegValue(kPath, "absent", type, size, data), POVUPDATE_VALUE_UNREADABLE);
  FreeBlock(data);

  fault::FailAllocation(1);
  type = 0;
  size = 0;
  data = nullptr;
  EXPECT_EQ(store_.QueryRegValue(kPath, "blob", type, size, data), POVUPDATE_NO_PROBE_BLOCK);
  fault::FailAllocation(0);
  EXPECT_EQ(data, nullptr);
}

TEST_F(RegistryStoreTest, ABlockThatIsTooSmallOrGivenIsReadWithoutProbing) {
  Put("long", REG_SZ, std::string(300, 'x') + '\0');
  DWORD type = REG_SZ;
  std::string bytes;
  EXPECT_EQ(Query("long", type, bytes, 260), POVUPDATE_VALUE_UNREADABLE);
  type = 0;  // with a size, no probe: the given block is filled
  EXPECT_EQ(Query("long", type, bytes, 400), 0);
  EXPECT_EQ(bytes.size(), 301u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(RegistryStoreTest, TypeZeroKeepsTheStoredType) {
  Put("path", REG_EXPAND_SZ, std::string("%TEMP%\0", 7));
  DWORD type = 0;
  DWORD size = 7;
  ASSERT_EQ(
      store_.SetRegValue(kPath, "path", type, size, reinterpret_cast<const BYTE*>("%WIN%\0\0")), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  std::string bytes;
  type = 0;
  ASSERT_EQ(Query("path", type, bytes), 0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(bytes, std::string("%WIN%\0\0", 7));
}

TEST_F(RegistryStoreTest, RootFiveIsTheCurrentConfiguration) {
  const char* path = "5Software\\PovUpdateStoreTest";
  ASSERT_EQ(store_.CreateRegKey(path), 0);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_CONFIG, path + 1, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_CURRENT_CONFIG, path + 1);
}

}  // namespace
}  // namespace povupdate::test
