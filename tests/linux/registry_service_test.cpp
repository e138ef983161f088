// The Linux registry: where its store files live, keys and values as the
// library uses them, rights, damaged stores and writers in several processes.

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "interface/povupdate.h"
#include "library_support.h"
#include "platform/linux/environment.h"
#include "platform/linux/registry_call.h"
#include "platform/linux/registry_file.h"
#include "platform/linux/registry_service.h"
#include "platform/linux/win32_api.h"
#include "test_support.h"

namespace povupdate::test {
namespace {

// Closes the key at the end of the test.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() { RegCloseKey(key_); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LSTATUS Set(HKEY key, const char* name, const std::string& bytes, DWORD type = REG_SZ) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

// Reads a whole value as a caller does: its size first, then its bytes.
LSTATUS Get(HKEY key, const char* name, std::string& bytes, DWORD* type = nullptr) {
  DWORD size = 0;
  LSTATUS status = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  std::vector<BYTE> buffer(size + 1);
  status = RegQueryValueExA(key, name, nullptr, type, buffer.data(), &size);
  bytes.assign(reinterpret_cast<const char*>(buffer.data()), size);
  return status;
}

void WriteOneValue() {
  ScopedKey key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", key.out()), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), "v", "x"), ERROR_SUCCESS);
}

mode_t Mode(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class RegistryServiceTest : public ::testing::Test {
 protected:
  std::string Store(const std::string& root = "HKEY_CURRENT_USER") const {
    return (dir_.path() / "registry" / (root + ".txt")).string();
  }

  TempDir dir_;
  ScopedEnv home_{"HOME", (dir_.path() / "home").string().c_str()};
  ScopedEnv env_{"POVUPDATE_REGISTRY_DIR", (dir_.path() / "registry").string().c_str()};
};

// Where the store lives -----------------------------------------------------

TEST_F(RegistryServiceTest, NamedDirectoryIsCreatedOwnerOnlyOnFirstWrite) {
  const auto top = dir_.path() / "a";
  ScopedEnv env("POVUPDATE_REGISTRY_DIR", (top / "b").string().c_str());
  ScopedKey key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.out()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FileExists(top.string())) << "reading created the store";

  // Owner-only must not depend on a strict umask.
  const mode_t old_umask = umask(0);
  WriteOneValue();
  umask(old_umask);
  EXPECT_EQ(Mode(top), 0700u);
  EXPECT_EQ(Mode(top / "b"), 0700u);
  EXPECT_EQ(Mode(top / "b" / "HKEY_CURRENT_USER.txt"), 0600u);
}

TEST_F(RegistryServiceTest, DefaultDirectoryFollowsXdgConfigHomeOrHome) {
  ScopedEnv env("POVUPDATE_REGISTRY_DIR", "");
  const struct {
    std::string xdg;
    const char* store;
  } cases[] = {
      {(dir_.path() / "xdg").string(), "xdg/povupdate/registry/HKEY_CURRENT_USER.txt"},
      // An empty or relative XDG_CONFIG_HOME doesn't count.
      {"", "home/.config/povupdate/registry/HKEY_CURRENT_USER.txt"},
      {"relative", "home/.config/povupdate/registry/HKEY_CURRENT_USER.txt"},
  };
  for (const auto& item : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", item.xdg.c_str());
    WriteOneValue();
    EXPECT_TRUE(FileExists(dir_.File(item.store))) << item.xdg;
    std::filesystem::remove_all(dir_.path() / "home");
  }
}

// A set-user-ID host runs with its caller's environment: no variable may
// choose where it reads or writes, while the version still counts.
TEST_F(RegistryServiceTest, RaisedRightsTakeNoPlaceFromTheEnvironment) {
  ScopedEnv xdg("XDG_CONFIG_HOME", dir_.File("xdg").c_str());
  ScopedEnv module("POVUPDATE_MODULE_DIR", dir_.File("module").c_str());
  ScopedEnv version("POVUPDATE_OS_VERSION", "6.1");
  struct Raised {
    Raised() { backend::AssumeRaisedRights(true); }
    ~Raised() { backend::AssumeRaisedRights(false); }
  } raised;
  backend::Target target;
  EXPECT_EQ(backend::Locate(HKEY_LOCAL_MACHINE, "Software", target), ERROR_SUCCESS);
  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(target.file,
            std::string(user->pw_dir) + "/.config/povupdate/registry/HKEY_LOCAL_MACHINE.txt");
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_EQ(std::string(path, length), std::filesystem::read_symlink("/proc/self/exe").string());
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  EXPECT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion * 10 + info.dwMinorVersion, 61u);
}

TEST_F(RegistryServiceTest, EveryRootHasItsOwnStore) {
  const struct {
    HKEY root;
    const char* name;
  } roots[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
               {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
               {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
               {HKEY_USERS, "HKEY_USERS"},
               {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"}};
  for (const auto& root : roots) ASSERT_EQ(Set(root.root, "Root", root.name), ERROR_SUCCESS);
  for (const auto& root : roots) {
    std::string bytes;
    EXPECT_EQ(Get(root.root, "Root", bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, root.name);
    EXPECT_TRUE(FileExists(Store(root.name))) << root.name;
  }
}

// Keys ----------------------------------------------------------------------

TEST_F(RegistryServiceTest, CreateMakesMissingParentsAndOpensExistingKeys) {
  ScopedKey created, reopened, relative, missing, bad;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov\\Update", created.out()), 0);
  ASSERT_EQ(Set(created.get(), "Version", "1.0"), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov", reopened.out()), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(reopened.get(), "Update\\", 0, KEY_READ, relative.out()), 0);
  std::string bytes;
  EXPECT_EQ(Get(relative.get(), "Version", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "1.0");

  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, KEY_READ, missing.out()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing.get(), nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, bad.out()),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\\\Pov", bad.out()), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryServiceTest, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling) {
  ScopedKey key, same, sibling;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\PovUpdate", key.out()), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), "InstallDir", "old"), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\povupdate", 0, KEY_ALL_ACCESS, same.out()),
            ERROR_SUCCESS);
  ASSERT_EQ(Set(same.get(), "INSTALLDIR", "new"), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Other", sibling.out()), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(Get(key.get(), "installdir", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "new");

  const std::string text = ReadFile(Store());
  EXPECT_NE(text.find("[Software\\PovUpdate]\n\"InstallDir\" 1 \"new\"\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("[Software\\Other]"), std::string::npos) << text;
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos) << text;
}

TEST_F(RegistryServiceTest, RefusesHandlesItDidNotHandOut) {
  ScopedKey key;
  const HKEY made_up = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1235));
  for (const HKEY bad : {HKEY_PERFORMANCE_DATA, static_cast<HKEY>(nullptr), made_up}) {
    EXPECT_EQ(RegCreateKeyA(bad, "Software", key.out()), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(bad, "v", "x"), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  HKEY closed = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  std::string bytes;
  EXPECT_EQ(Get(closed, "v", bytes), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryServiceTest, DeletesOnlyKeysWithoutSubkeys) {
  ScopedKey leaf, parent, gone;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov\\Leaf", leaf.out()), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pov", 0, KEY_READ, parent.out()), 0);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Pov"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Pov\\Missing"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegDeleteKeyA(parent.get(), "LEAF"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pov\\Leaf", 0, KEY_READ, gone.out()),
            ERROR_FILE_NOT_FOUND);

  // A handle still open on the deleted key fails as on Windows.
  std::string bytes;
  EXPECT_EQ(Set(leaf.get(), "v", "x"), ERROR_KEY_DELETED);
  EXPECT_EQ(Get(leaf.get(), "v", bytes), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyA(leaf.get(), "Sub", gone.out()), ERROR_KEY_DELETED);
}

// Values --------------------------------------------------------------------

TEST_F(RegistryServiceTest, QueryFollowsTheWindowsBufferProtocol) {
  ASSERT_EQ(Set(HKEY_CURRENT_USER, "Path", std::string("C:\\Pov\0", 7), REG_EXPAND_SZ), 0);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Path", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(size, 7u);

  BYTE buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  size = 6;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Path", nullptr, nullptr, buffer, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(buffer[6], '#') << "wrote past the buffer's size";
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Path", nullptr, nullptr, buffer, &size), 0);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 8), std::string("C:\\Pov\0#", 8));
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Path", nullptr, nullptr, buffer, nullptr),
            ERROR_INVALID_PARAMETER);

  type = 77;
  size = 55;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Missing", nullptr, &type, buffer, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 77u);
  EXPECT_EQ(size, 55u);
}

TEST_F(RegistryServiceTest, ValuesKeepTheirTypeAndExactBytes) {
  std::string every_byte;
  for (int byte = 0; byte < 256; ++byte) every_byte += static_cast<char>(byte);
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {"empty", REG_SZ, ""},
      {"nul inside", REG_SZ, std::string("a\0b\0", 4)},
      {"dword", REG_DWORD, std::string("\x2A\0\0\0", 4)},
      {"long", 0xFFFFFFFFu, std::string(100000, 'z') + every_byte},
      {"\"quote\" %25 [x] \\ = \n\t\xFF", REG_NONE, "\"%\n\r\\[]"},
  };
  ScopedKey key, reopened;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov", key.out()), ERROR_SUCCESS);
  for (const auto& value : cases) ASSERT_EQ(Set(key.get(), value.name, value.bytes, value.type), 0);
  ASSERT_EQ(RegSetValueExA(key.get(), nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key.get(), "v", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pov", 0, KEY_READ, reopened.out()), 0);
  for (const auto& value : cases) {
    std::string bytes;
    DWORD type = 12345;
    ASSERT_EQ(Get(reopened.get(), value.name, bytes, &type), ERROR_SUCCESS) << value.name;
    EXPECT_EQ(type, value.type) << value.name;
    EXPECT_EQ(bytes, value.bytes) << value.name;
  }
  // Null and empty names both address the default value.
  std::string bytes = "stale";
  EXPECT_EQ(Get(reopened.get(), "", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "");

  // Readable text: one line per value, nothing unprintable in it.
  const std::string text = ReadFile(Store());
  EXPECT_EQ(text.rfind("PovUpdate registry, format 1\n", 0), 0u) << text.substr(0, 80);
  EXPECT_NE(text.find("\"dword\" 4 \"*%00%00%00\"\n"), std::string::npos);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    ASSERT_TRUE(c == '\n' || (byte >= 0x20 && byte < 0x7F)) << static_cast<int>(byte);
  }
}

TEST_F(RegistryServiceTest, EveryCallSeesTheStoreAsItIsOnDisk) {
  ScopedKey reader;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov", reader.out()), ERROR_SUCCESS);
  std::string bytes;
  ASSERT_EQ(Set(reader.get(), "v", "one"), ERROR_SUCCESS);
  ASSERT_EQ(Get(reader.get(), "v", bytes), ERROR_SUCCESS);

  // A person's edit of the file, with lower-case escapes and no blank lines.
  WriteFile(Store(), "PovUpdate registry, format 1\n[software\\pov]\n\"V\" 3 \"edited%0a%ff\"\n");
  DWORD type = 0;
  EXPECT_EQ(Get(reader.get(), "v", bytes, &type), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "edited\n\xFF");
  EXPECT_EQ(type, REG_BINARY);
}

// Rights --------------------------------------------------------------------

TEST_F(RegistryServiceTest, ReadOnlyStoreOpensForReadingOnly) {
  WriteOneValue();
  MakeReadOnly(Store());
  const std::string before = ReadFile(Store());

  ScopedKey reader, denied, existing, missing;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, reader.out()), 0);
  std::string bytes;
  EXPECT_EQ(Get(reader.get(), "v", bytes), ERROR_SUCCESS);
  for (const REGSAM access : {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_WRITE, KEY_ALL_ACCESS}) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, access, denied.out()),
              ERROR_ACCESS_DENIED)
        << access;
  }
  // RegCreateKey opens with the rights there are: an existing key opens.
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", existing.out()), ERROR_SUCCESS);
  EXPECT_EQ(Get(existing.get(), "v", bytes), ERROR_SUCCESS);
  EXPECT_EQ(Set(existing.get(), "v", "changed"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "New", missing.out()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Set(HKEY_CURRENT_USER, "v", "changed"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadFile(Store()), before);
}

TEST_F(RegistryServiceTest, HandlesAllowOnlyTheRightsOpenedWith) {
  WriteOneValue();
  ScopedKey reader, setter, child;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_QUERY_VALUE, reader.out()), 0);
  EXPECT_EQ(Set(reader.get(), "v", "y"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyA(reader.get(), "Child", child.out()), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_SET_VALUE, setter.out()), 0);
  EXPECT_EQ(Set(setter.get(), "v", "z"), ERROR_SUCCESS);
  std::string bytes;
  EXPECT_EQ(Get(setter.get(), "v", bytes), ERROR_ACCESS_DENIED);
}

// Damaged stores ------------------------------------------------------------

TEST_F(RegistryServiceTest, DamagedStoreIsNeitherReadNorOverwritten) {
  std::filesystem::create_directories(dir_.path() / "registry");
  for (const char* text : {"", "PovUpdate registry, format 2\n[]\n",
                           "PovUpdate registry, format 1\n[Software]\n\"v\" 1 \"cut off"}) {
    SCOPED_TRACE(text);
    WriteFile(Store(), text);
    ScopedKey key;
    std::string bytes;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.out()), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", key.out()), ERROR_BADDB);
    EXPECT_EQ(Get(HKEY_CURRENT_USER, "v", bytes), ERROR_BADDB);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "v", "new"), ERROR_BADDB);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_BADDB);
    EXPECT_EQ(ReadFile(Store()), text);
  }
}

// Windows writes through a symbolic link, and so do the store and profile
// files: the link stays, and the file it leads to gets the new contents and
// keeps its mode and owner.
TEST_F(RegistryServiceTest, StoreAndProfileFilesAreWrittenThroughLinks) {
  WriteOneValue();
  const std::string store_target = (dir_.path() / "store.txt").string();
  const std::string profile_target = (dir_.path() / "profile.ini").string();
  const std::string profile = (dir_.path() / "linked.ini").string();
  std::filesystem::rename(Store(), store_target);
  WriteFile(profile_target, "[s]\r\nk=1\r\n");
  // Only root can give a file away; anyone else keeps their own.
  const uid_t owner = geteuid() == 0 ? 4321 : geteuid();
  for (const std::string& target : {store_target, profile_target}) {
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(chown(target.c_str(), owner, static_cast<gid_t>(-1)), 0);
  }
  ASSERT_EQ(symlink(store_target.c_str(), Store().c_str()), 0);
  ASSERT_EQ(symlink(profile_target.c_str(), profile.c_str()), 0);

  ASSERT_EQ(Set(HKEY_CURRENT_USER, "v", "y"), ERROR_SUCCESS);
  ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "2", profile.c_str()));
  const std::pair<std::string, std::string> links[] = {{Store(), store_target},
                                                       {profile, profile_target}};
  for (const auto& [link, target] : links) {
    SCOPED_TRACE(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, owner);
  }
  std::string bytes;
  EXPECT_EQ(Get(HKEY_CURRENT_USER, "v", bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "y");
  EXPECT_EQ(ReadFile(profile_target), "[s]\r\nk=2\r\n");

  // The link is not read-only; the file behind it is, and stays so.
  ASSERT_EQ(chmod(profile_target.c_str(), 0440), 0);
  EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "3", profile.c_str()));
  EXPECT_EQ(Mode(profile_target), 0440u);
}

// Windows' limits: a store at them reads, nothing is made beyond them, and a
// change to the deepest key writes its path once, not once per key above it.
// Characters count as Windows counts them, not as bytes.
TEST_F(RegistryServiceTest, AStoreAtWindowsLimitsReadsAndNothingGoesBeyondThem) {
  const std::string path = KeyPath(512, 255);
  const std::string name(16383, 'v');
  std::string accented, escaped;
  for (int i = 0; i < 255; ++i) {
    accented += "\xC3\xA9";
    escaped += "%C3%A9";
  }
  const std::string header = "PovUpdate registry, format 1\n";
  const std::string deepest = "\n[" + path + "]\n\"" + name + "\" 1 \"x\"\n";
  const std::string wide = "\n[" + escaped + "]\n";
  std::filesystem::create_directories(dir_.path() / "registry");
  WriteFile(Store(), header + deepest + wide);
  ScopedKey key, deeper, longer, other;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, accented.c_str(), 0, KEY_READ, other.out()), 0);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, key.out()), 0);
  std::string bytes;
  EXPECT_EQ(Get(key.get(), name.c_str(), bytes), ERROR_SUCCESS);
  EXPECT_EQ(bytes, "x");

  EXPECT_EQ(RegCreateKeyA(key.get(), "k", deeper.out()), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), longer.out()),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(Set(key.get(), (name + "v").c_str(), "y"), ERROR_INVALID_PARAMETER);
  // Compared as a whole: a mismatch would print megabytes.
  EXPECT_TRUE(ReadFile(Store()) == header + deepest + wide);

  ASSERT_EQ(Set(key.get(), "w", "y"), ERROR_SUCCESS);
  EXPECT_TRUE(ReadFile(Store()) == header + deepest + "\"w\" 1 \"y\"\n" + wide);
}

// Several processes ---------------------------------------------------------

TEST_F(RegistryServiceTest, WritersInSeveralProcessesLoseNothing) {
  constexpr int kProcesses = 6;
  constexpr int kValuesEach = 20;
  auto name = [](int process, int value) {
    return std::to_string(process) + "-" + std::to_string(value);
  };
  std::vector<pid_t> children;
  for (int process = 0; process < kProcesses; ++process) {
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      int failures = 0;
      for (int value = 0; value < kValuesEach; ++value) {
        HKEY key = nullptr;
        failures += RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Pov", &key) != ERROR_SUCCESS;
        failures += Set(key, name(process, value).c_str(), name(process, value)) != ERROR_SUCCESS;
        RegCloseKey(key);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ScopedKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Pov", 0, KEY_READ, key.out()), 0);
  for (int process = 0; process < kProcesses; ++process) {
    for (int value = 0; value < kValuesEach; ++value) {
      std::string bytes;
      EXPECT_EQ(Get(key.get(), name(process, value).c_str(), bytes), ERROR_SUCCESS);
      EXPECT_EQ(bytes, name(process, value));
    }
  }
}

// An export reads the store once and writes it once, whatever it does: its
// registry functions share one reading (and the install key it creates is
// written with the install path).
TEST_F(RegistryServiceTest, AnExportReadsAndWritesTheStoreAtMostOnce) {
  char path[272] = "/apps";
  const struct {
    const char* call;
    std::function<bool()> run;
    int writes;
  } calls[] = {
      {"first GetSaveFilePath", [] { return TakeText(GetSaveFilePath()) != ""; }, 1},
      {"settled GetSaveFilePath", [] { return TakeText(GetSaveFilePath()) != ""; }, 0},
      {"SetSaveFilePath", [&path] { return SetSaveFilePath(path) == POVUPDATE_OK; }, 1},
      {"GetSaveFilePath after it", [] { return TakeText(GetSaveFilePath()) == "/apps/Install"; },
       0},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.call);
    const backend::StoreAccess before = backend::CountStoreAccess();
    EXPECT_TRUE(c.run());
    const backend::StoreAccess after = backend::CountStoreAccess();
    EXPECT_LE(after.reads - before.reads, 1);
    EXPECT_EQ(after.writes - before.writes, c.writes);
  }
}

// The file format on its own ------------------------------------------------

TEST(RegistryFileTest, ReadsBackWhatItWritesAndRefusesAnythingElse) {
  backend::RegistryTree tree;
  tree.Create("Software\\Pov").values["installdir"] = {"InstallDir", REG_SZ, "C:\\Pov"};
  tree.Create("Odd \"%[]\x01").values["x"] = {"x", 0xFFFFFFFFu, "\n\r\""};
  const std::string text = backend::SerializeRegistryFile(tree);
  EXPECT_NE(text.find("[Odd %22%25[]%01]\n\"x\" 4294967295 \"%0A%0D%22\"\n"), std::string::npos)
      << text;

  // Any change to it either reads as a store that writes back unchanged or
  // is refused, and never crashes (the suite runs under the sanitizers).
  auto check = [](const std::string& bytes) {
    const auto parsed = backend::ParseRegistryFile(bytes);
    if (!parsed) return;
    const std::string written = backend::SerializeRegistryFile(*parsed);
    const auto again = backend::ParseRegistryFile(written);
    ASSERT_TRUE(again.has_value()) << ::testing::PrintToString(bytes);
    ASSERT_EQ(backend::SerializeRegistryFile(*again), written) << ::testing::PrintToString(bytes);
  };
  check(text);
  EXPECT_EQ(backend::SerializeRegistryFile(*backend::ParseRegistryFile(text)), text);
  for (std::size_t size = 0; size < text.size(); ++size) check(text.substr(0, size));
  for (std::size_t at = 0; at < text.size(); ++at) {
    for (const char replacement : {'\0', '\n', '"', '%', '[', ']', '\\', ' ', '0', 'A', '\xFF'}) {
      std::string changed = text;
      changed[at] = replacement;
      check(changed);
    }
  }
  const std::string header = "PovUpdate registry, format 1\n";
  // A store as written with a line for every key, the root's too, reads the
  // same and is written with the lines of the deepest keys alone.
  EXPECT_EQ(backend::SerializeRegistryFile(*backend::ParseRegistryFile(
                header + "\n[]\n\n[A]\n\n[A\\b]\n\"v\" 1 \"x\"\n\n[C]\n")),
            header + "\n[A\\b]\n\"v\" 1 \"x\"\n\n[C]\n");
  for (const char* body : {"\"v\" 1 \"value before any key\"\n",
                           "[A]\n\"v\" 1 \"x\"\n\"V\" 1 \"\"\n", "[\\A]\n", "[A\\]\n", "[A\\\\B]\n",
                           "[A]\n\"v\" 4294967296 \"\"\n", "[A]\n\"v\" 1 \"%G1\"\n", "[A]\r\n"}) {
    EXPECT_FALSE(backend::ParseRegistryFile(header + body).has_value()) << body;
  }
}

}  // namespace
}  // namespace povupdate::test
