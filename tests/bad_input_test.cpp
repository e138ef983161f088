// Bad input through the exports: null pointers, texts too long or holding
// line breaks, cursors outside the list, stored values of the wrong kind and
// files that are damaged, missing or of the wrong kind. Each gets a result
// code or an empty result, and what the library keeps stays as it was.
//
// Covered elsewhere and not repeated here: cursors 0, -1 and INT_MIN and
// large ones on an ordinary file (update_list_test), a 260-character install
// path and REG_BINARY, REG_DWORD and over-long REG_SZ values
// (install_path_test), a directory in place of the local configuration file
// (local_config_test).
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "library_support.h"
#include "platform/fault_injection.h"
#include "platform/win32.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace povupdate::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInstallKey = "SOFTWARE\\DravuPovUpdate";
#ifdef _WIN32
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

const std::string kUpdateBytes =
    "[SOFTWARE]\r\n1=Viewer\r\n2=Editor\r\n[Viewer]\r\nVersion=2.1\r\n";
const std::string kLocalBytes = "[Viewer]\r\nVersion=1.0\r\n";

// A record whose fields all hold the host's own text, so that a call that
// must not touch it can be seen to have left it alone.
class HostRecord {
 public:
  HostRecord() {
    for (char** field = &record_.Name; field <= &record_.Size; ++field) *field = text_;
  }
  HostRecord(const HostRecord&) = delete;
  HostRecord& operator=(const HostRecord&) = delete;
  SoftwareInforRecord* get() { return &record_; }
  bool Untouched() const {
    for (char* const* field = &record_.Name; field <= &record_.Size; ++field) {
      if (*field != text_) return false;
    }
    return true;
  }

 private:
  char text_[7] = "host's";
  SoftwareInforRecord record_{};
};

int Write(const char* name, const char* version) {
  SoftwareInforRecord record{};
  record.Name = const_cast<char*>(name);
  record.Version = const_cast<char*>(version);
  return UpdateLocalSoftwareInforToIni(&record);
}

// The recorded version, or "(code N)" when the read fails.
std::string ReadVersion(const std::string& name) {
  Record record;
  const int result = GetTheLocalSoftwareInforFromIni(name.c_str(), record.get());
  if (result != POVUPDATE_OK) return "(code " + std::to_string(result) + ")";
  return record.Texts()[1];
}

// The stored install path as type and bytes; "(none)" when there is none.
std::string StoredInstallPath() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return "(none)";
  }
  std::vector<char> data(16384);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExA(key, "InstallPath", nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "(none)";
  return std::to_string(type) + ":" + std::string(data.data(), size);
}

std::string FileText(const std::string& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored) ? ReadFile(path) : "(no file)";
}

class BadInputTest : public LibraryTest {
 protected:
  std::string Default() const { return ModuleDir() + "Install"; }

  // What the library keeps: both files and the stored install path.
  std::vector<std::string> Kept() const {
    return {FileText(UpdateFile()), FileText(LocalFile()), StoredInstallPath()};
  }
  void WriteFiles() {
    WriteFile(UpdateFile(), kUpdateBytes);
    WriteFile(LocalFile(), kLocalBytes);
    ASSERT_EQ(SetInstallPath("Apps"), POVUPDATE_OK);
  }
};

struct Call {
  const char* what;
  std::function<int()> run;
  int result;
};

TEST_F(BadInputTest, NullPointersAreRefusedAndChangeNothing) {
  WriteFiles();
  const auto kept = Kept();
  int cursor = 1;
  HostRecord record;
  const Call calls[] = {
      {"walk: null cursor", [&] { return GetTheUpdateSoftwareInforFromIni(nullptr, record.get()); },
       POVUPDATE_BAD_ARGUMENT},
      {"walk: null record", [&] { return GetTheUpdateSoftwareInforFromIni(&cursor, nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"walk: both null", [] { return GetTheUpdateSoftwareInforFromIni(nullptr, nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"local read: null name",
       [&] { return GetTheLocalSoftwareInforFromIni(nullptr, record.get()); },
       POVUPDATE_BAD_ARGUMENT},
      {"local read: null record", [] { return GetTheLocalSoftwareInforFromIni("Viewer", nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"local read: both null", [] { return GetTheLocalSoftwareInforFromIni(nullptr, nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"local write: null record", [] { return UpdateLocalSoftwareInforToIni(nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"local write: null Name", [] { return Write(nullptr, "2"); }, POVUPDATE_BAD_ARGUMENT},
      {"local write: null Version", [] { return Write("Viewer", nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"local write: null Name and Version", [] { return Write(nullptr, nullptr); },
       POVUPDATE_BAD_ARGUMENT},
      {"install path: null path", [] { return SetSaveFilePath(nullptr); }, POVUPDATE_NULL_PATH},
  };
  for (const Call& call : calls) {
    EXPECT_EQ(call.run(), call.result) << call.what;
    EXPECT_EQ(cursor, 1) << call.what;
    EXPECT_TRUE(record.Untouched()) << call.what;
    EXPECT_EQ(Kept(), kept) << call.what;
  }
}

TEST_F(BadInputTest, OverLongTextsGetTheirCodeAndLoseNothing) {
  WriteFiles();
  const auto kept = Kept();
  // Install paths that would pass 259 characters once they end in Install.
  for (const std::string& path :
       {std::string(300, 'a'), std::string(10000, 'a'), kSep + std::string(258, 'a'),
        std::string(260, 'a') + "Install"}) {
    std::string after;
    EXPECT_EQ(SetInstallPath(path, &after), POVUPDATE_PATH_TOO_LONG) << path.size();
    EXPECT_EQ(after, path) << "nothing is appended to a refused path";
    EXPECT_EQ(Kept(), kept);
  }
  // 251 characters and "\Install" make the longest path there is: kept.
  const std::string longest = kSep + std::string(250, 'a') + kSep + "Install";
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(SetInstallPath(longest.substr(0, 251)), POVUPDATE_OK);
  EXPECT_EQ(TakeText(GetSaveFilePath()), longest);

  // An item name of 10,000 characters is looked up, copied and recorded whole.
  const std::string name(10000, 'n');
  Record record;
  ASSERT_EQ(GetTheLocalSoftwareInforFromIni(name.c_str(), record.get()), POVUPDATE_OK);
  EXPECT_EQ(record.Texts()[0], name);
  EXPECT_EQ(record.Texts()[1], "");
  EXPECT_EQ(Write(name.c_str(), "3.0"), POVUPDATE_OK);
  EXPECT_EQ(ReadVersion(name), "3.0");
  EXPECT_EQ(ReadVersion("Viewer"), "1.0");
  EXPECT_EQ(ReadFile(LocalFile()).rfind(kLocalBytes, 0), 0u) << "the file's other lines stay";
}

TEST_F(BadInputTest, CursorsOutsideTheListReadNothingWhateverTheFile) {
  struct FileState {
    const char* what;
    std::function<void()> make;
  };
  const FileState states[] = {
      {"an update file", [&] { WriteFile(UpdateFile(), kUpdateBytes); }},
      {"no update file", [] {}},
      {"a directory in its place", [&] { fs::create_directory(UpdateFile()); }},
  };
  const struct {
    int cursor;
    int result;
    int after;  // the list ends (-1) or the cursor is left alone
  } cases[] = {{0, POVUPDATE_BAD_CURSOR, 0},
               {-1, POVUPDATE_BAD_CURSOR, -1},
               {INT_MIN, POVUPDATE_BAD_CURSOR, INT_MIN},
               {INT_MAX, POVUPDATE_OK, -1},
               {1000000000, POVUPDATE_OK, -1}};
  for (const FileState& state : states) {
    std::error_code ignored;
    fs::remove_all(UpdateFile(), ignored);
    state.make();
    for (const auto& c : cases) {
      int cursor = c.cursor;
      HostRecord record;
      EXPECT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record.get()), c.result)
          << state.what << ", cursor " << c.cursor;
      EXPECT_EQ(cursor, c.after) << state.what << ", cursor " << c.cursor;
      EXPECT_TRUE(record.Untouched()) << state.what << ", cursor " << c.cursor;
    }
  }
  // The directory is no update file to delete; the file name stays the same.
  DeleteTheUpdateFile();
  EXPECT_TRUE(fs::is_directory(UpdateFile()));
  EXPECT_EQ(TakeText(GetTheFileName()), "Update_6.1.ini");
}

TEST_F(BadInputTest, LineBreaksAreRefusedInWrites) {
  WriteFiles();
  const auto kept = Kept();
  const std::pair<const char*, const char*> records[] = {
      {"Viewer\r\nVersion=9", "2"},
      {"Viewer\n", "2"},
      {"\rViewer", "2"},
      {"Viewer", "2\n"},
      {"Viewer", "\r"},
      {"Viewer", "2\r\n[Editor]\r\nVersion=9"},
  };
  for (const auto& [name, version] : records) {
    EXPECT_EQ(Write(name, version), POVUPDATE_BAD_ARGUMENT) << name << " " << version;
    EXPECT_EQ(Kept(), kept);
  }
}

TEST_F(BadInputTest, NamesWithLineBreaksMatchNoItemInReads) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine drops line breaks around the section name it is given, as it drops "
                    "tabs; the Linux build looks the name up as it is given";
  }
  WriteFiles();
  for (const char* name : {"Viewer\r\n", "\nViewer", "Viewer\r\nVersion"}) {
    Record record;
    ASSERT_EQ(GetTheLocalSoftwareInforFromIni(name, record.get()), POVUPDATE_OK);
    EXPECT_EQ(record.Texts()[0], name);
    EXPECT_EQ(record.Texts()[1], "") << name;
  }
}

// A section header ends at its first ']', and blanks around a name in the
// file are not those of the name asked for: such a name would be written
// under a section that never reads back, one more with every write.
TEST_F(BadInputTest, NamesNoSectionCanHoldAreRefused) {
  WriteFiles();
  for (const char* name :
       {"Tools [x64]", "a]b", "\tTabbed", "Tabbed\t", "\vV", "Viewer\t ", " \tViewer", "V\v  "}) {
    EXPECT_EQ(Write(name, "1"), POVUPDATE_BAD_ARGUMENT) << name;
  }
  EXPECT_EQ(ReadFile(LocalFile()), kLocalBytes);
  EXPECT_EQ(Write("In[ner", "1"), POVUPDATE_OK) << "an opening bracket is part of a name";
  EXPECT_EQ(ReadVersion("In[ner"), "1");
}

TEST_F(BadInputTest, StoredValuesThatAreNoPathGiveWayToTheDefault) {
  for (const auto& [type, bytes] :
       {std::pair<DWORD, std::string>{REG_MULTI_SZ, std::string("a\0\0", 3)},
        {REG_NONE, "x"},
        {REG_SZ, std::string(10000, 'u') + std::string(1, '\0')}}) {
    StoreInstallPathValue(type, bytes);
    EXPECT_EQ(TakeText(GetSaveFilePath()), Default()) << "type " << type;
    EXPECT_EQ(StoredInstallPath(), std::to_string(REG_SZ) + ":" + Default() + std::string(1, '\0'));
  }
}

#ifndef _WIN32
// The Linux registry store -------------------------------------------------

class DamagedStoreTest : public BadInputTest {
 protected:
  std::string StoreFile() const { return ModuleDir() + "registry/HKEY_LOCAL_MACHINE.txt"; }
};

// A store whose file isn't one the store wrote can't be read, so no install
// path can be had, and is never written over.
TEST_F(DamagedStoreTest, ADamagedStoreGivesNoInstallPathAndStaysAsItIs) {
  ASSERT_EQ(SetInstallPath("/srv/apps"), POVUPDATE_OK);
  const std::string good = ReadFile(StoreFile());
  const std::vector<std::string> damaged = {
      // Beyond Windows' limits: a key name of 256 characters, 513 levels of
      // keys, a value name of 16,384 characters.
      good + "[" + KeyPath(1, 256) + "]\n",
      good + "[" + KeyPath(513, 1) + "]\n",
      good + "[x]\n\"" + std::string(16384, 'v') + "\" 1 \"\"\n",
      "",
      std::string("\x7f"
                  "ELF\x02\x01\x01\0\0\0",
                  10),
      std::string(4096, '\0'),
      "PovUpdate registry, format 2\n\n[]\n",
      good.substr(0, good.size() - 5),  // cut inside an escape
      good + "garbage\n",
  };
  for (const std::string& bytes : damaged) {
    WriteFile(StoreFile(), bytes);
    EXPECT_EQ(GetSaveFilePath(), nullptr);
    std::string after;
    EXPECT_EQ(SetInstallPath("/srv/other", &after), POVUPDATE_INSTALL_KEY_FAILED);
    EXPECT_EQ(after, "/srv/other");
    EXPECT_EQ(ReadFile(StoreFile()), bytes);
  }
  // A directory in the store file's place, and a file in its directory's.
  fs::remove(StoreFile());
  fs::create_directory(StoreFile());
  EXPECT_EQ(GetSaveFilePath(), nullptr);
  EXPECT_EQ(SetInstallPath("/srv/other"), POVUPDATE_INSTALL_KEY_FAILED);
  fs::remove_all(ModuleDir() + "registry");
  WriteFile(ModuleDir() + "registry", "not a directory");
  EXPECT_EQ(GetSaveFilePath(), nullptr);
  EXPECT_EQ(SetInstallPath("/srv/other"), POVUPDATE_INSTALL_KEY_FAILED);
  EXPECT_EQ(ReadFile(ModuleDir() + "registry"), "not a directory");
}

TEST_F(BadInputTest, UnreadableFilesReadAsEmptyAndRefuseWrites) {
  WriteFiles();
  const auto kept = Kept();
  for (const std::string& file : {UpdateFile(), LocalFile(), ModuleDir() + "registry"}) {
    fs::permissions(file, fs::perms::none);
  }
  const std::string failures = RunUnprivileged(ModuleDir(), [] {
    std::string failed;
    int cursor = 1;
    HostRecord record;
    if (GetTheUpdateSoftwareInforFromIni(&cursor, record.get()) != POVUPDATE_OK || cursor != -1) {
      failed += "the walk went on; ";
    }
    if (ReadVersion("Viewer") != "") failed += "the local read found a version; ";
    if (Write("Viewer", "2") != POVUPDATE_WRITE_FAILED) failed += "the write wasn't refused; ";
    if (GetSaveFilePath() != nullptr) failed += "an install path was read; ";
    if (SetSaveFilePath(const_cast<char*>("/srv/other")) != POVUPDATE_INSTALL_KEY_FAILED) {
      failed += "the install path was stored; ";
    }
    return failed;
  });
  EXPECT_EQ(failures, "");
  for (const std::string& file : {UpdateFile(), LocalFile(), ModuleDir() + "registry"}) {
    fs::permissions(file, fs::perms::owner_all);
  }
  EXPECT_EQ(Kept(), kept);
}

// Writing a read-only file clears its read-only bit first; when the write
// is refused all the same (here by the directory), the bit is back.
TEST_F(BadInputTest, ARefusedWriteLeavesTheFileReadOnly) {
  WriteFiles();
  MakeReadOnly(LocalFile());
  fs::permissions(ModuleDir(), fs::perms::owner_write, fs::perm_options::remove);
  const std::string failures = RunUnprivileged(ModuleDir(), [this] {
    std::string failed;
    if (Write("Viewer", "2") != POVUPDATE_WRITE_FAILED) failed += "the write wasn't refused; ";
    if (!IsReadOnly(LocalFile())) failed += "the file was left writable; ";
    return failed;
  });
  fs::permissions(ModuleDir(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(failures, "");
  EXPECT_EQ(ReadFile(LocalFile()), kLocalBytes);
}

// A file larger than a read can index (4 GiB): a new item would land past
// the end of what reads see. Sparse, so that the test writes nothing.
TEST_F(BadInputTest, ALocalFileTooLargeToReadWholeRefusesWrites) {
  WriteFile(LocalFile(), kLocalBytes);
  const auto size = static_cast<std::uintmax_t>(std::numeric_limits<std::uint32_t>::max()) + 1;
  fs::resize_file(LocalFile(), size);
  EXPECT_EQ(Write("Editor", "2"), POVUPDATE_WRITE_FAILED);
  EXPECT_EQ(fs::file_size(LocalFile()), size);
}

// A UTF-16 file holds characters, and text that isn't UTF-8 (the ANSI code
// page here) names none: it would be stored as U+FFFD.
TEST_F(BadInputTest, TextsAUtf16FileCantHoldAreRefused) {
  std::string utf16 = "\xFF\xFE";
  for (const char c : kLocalBytes) utf16.append({c, '\0'});
  WriteFile(LocalFile(), utf16);
  for (const auto& [name, version] : {std::pair<const char*, const char*>{"Caf\xE9", "1"},
                                      {"Viewer", "2\xFF"},
                                      {"Viewer", "\xC3"}}) {
    EXPECT_EQ(Write(name, version), POVUPDATE_BAD_ARGUMENT) << name << " " << version;
  }
  EXPECT_EQ(ReadFile(LocalFile()), utf16);
  EXPECT_EQ(Write("Caf\xC3\xA9", "\xC3\xA9t\xC3\xA9"), POVUPDATE_OK);
  EXPECT_EQ(ReadVersion("Caf\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}

// Called by name, operator new can't be optimised away.
bool LargeAllocationsFail() {
  try {
    ::operator delete(::operator new (std::size_t{1} << 17));
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}

// The profile service running out of memory: neither the walk nor the local
// read may take the failed read for an empty file. Only allocations as
// large as the file's fail.
TEST_F(BadInputTest, RunningOutOfMemoryReadsAsAFailureNotAsNothing) {
  const std::string padding = "; " + std::string(1 << 17, 'p') + "\r\n";
  WriteFile(UpdateFile(), padding + kUpdateBytes);
  WriteFile(LocalFile(), padding + kLocalBytes);
  int cursor = 1;
  HostRecord record;
  fault::FailLargeSystemAllocations(1 << 16);
  if (!LargeAllocationsFail()) {
    fault::FailLargeSystemAllocations(0);
    GTEST_SKIP() << "operator new is not the seam's here (valgrind puts its own in place)";
  }
  const int walked = GetTheUpdateSoftwareInforFromIni(&cursor, record.get());
  const std::string version = ReadVersion("Viewer");
  fault::FailLargeSystemAllocations(0);
  EXPECT_EQ(walked, POVUPDATE_NO_READ_BUFFER);
  EXPECT_EQ(cursor, 1);
  EXPECT_TRUE(record.Untouched());
  EXPECT_EQ(version, "(code 4)");
}

// A host directory so long that the files' paths would pass 259 characters:
// the library uses no file at all rather than one with a cut name.
TEST_F(BadInputTest, AHostDirectoryTooLongForItsFilesLeavesThemAlone) {
  const std::string deep = ModuleDir() + std::string(250, 'd');
  fs::create_directory(deep);
  WriteFile(deep + "/Update_6.1.ini", kUpdateBytes);
  WriteFile(deep + "/PovConfig_6.1.ini", kLocalBytes);
  const ScopedEnv module_dir("POVUPDATE_MODULE_DIR", deep.c_str());

  int cursor = 1;
  HostRecord record;
  EXPECT_EQ(GetTheUpdateSoftwareInforFromIni(&cursor, record.get()), POVUPDATE_OK);
  EXPECT_EQ(cursor, -1);
  EXPECT_EQ(ReadVersion("Viewer"), "");
  EXPECT_EQ(Write("Viewer", "2"), POVUPDATE_WRITE_FAILED);
  DeleteTheUpdateFile();
  EXPECT_EQ(GetSaveFilePath(), nullptr) << "no default can be made";
  EXPECT_EQ(SetInstallPath("/srv/apps"), POVUPDATE_OK) << "the registry doesn't depend on it";
  EXPECT_EQ(TakeText(GetSaveFilePath()), "/srv/apps/Install");
  EXPECT_EQ(ReadFile(deep + "/Update_6.1.ini"), kUpdateBytes);
  EXPECT_EQ(ReadFile(deep + "/PovConfig_6.1.ini"), kLocalBytes);
}
#endif

}  // namespace
}  // namespace povupdate::test
