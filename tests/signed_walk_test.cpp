// Signed update files: with PovUpdate.pub beside it, the walk believes only
// an update file that one of its keys signed, for its name, unexpired.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library_support.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace povupdate::test {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
  std::string dir = POVUPDATE_SOURCE_DIR;
#ifdef _WIN32
  // Wine shows the Unix file system as drive Z:.
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
  return ReadFile((fs::path(dir) / "tests" / "signing" / name).string());
}

// The good file with its last line (the signature) replaced by `line`.
std::string WithSignatureLine(const std::string& line) {
  std::string good = Fixture("good.ini");
  const std::size_t last = good.rfind("Signature=");
  return good.substr(0, last) + line;
}

std::string SignatureLineOf(const std::string& file) {
  const std::string bytes = Fixture(file);
  return bytes.substr(bytes.rfind("Signature="));
}

std::string Changed(std::string bytes, const std::string& from, const std::string& to) {
  return bytes.replace(bytes.find(from), from.size(), to);
}

constexpr const char* kUnsigned = "[SOFTWARE]\r\n1=PovViewer\r\n[PovViewer]\r\nVersion=2.5\r\n";

struct Case {
  const char* what;
  std::string update;               // the update file's bytes
  std::optional<std::string> keys;  // PovUpdate.pub, or none
  int result;
};

class SignedWalkTest : public LibraryTest {
 protected:
  void Place(const Case& row) {
    WriteFile(UpdateFile(), row.update);
    if (row.keys) WriteFile(ModuleDir() + "PovUpdate.pub", *row.keys);
  }
  int FirstStep(int& cursor) {
    cursor = 1;
    record_.Clear();
    return GetTheUpdateSoftwareInforFromIni(&cursor, record_.get());
  }
  Record record_;
};

TEST_F(SignedWalkTest, OnlyAFileSignedForItsNameUnexpiredIsWalked) {
  const std::string good = Fixture("good.ini");
  const std::string publisher = Fixture("publisher.pub");
  const Case cases[] = {
      {"signed and good", good, publisher, 0},
      {"no key file, signed", good, std::nullopt, 0},
      {"no key file, unsigned", kUnsigned, std::nullopt, 0},
      {"one byte changed", Changed(good, "Version=2.5", "Version=2.6"), publisher, 60},
      {"unsigned", kUnsigned, publisher, 60},
      {"signature line truncated", good.substr(0, good.size() - 12) + "\r\n", publisher, 60},
      {"signature empty", WithSignatureLine("Signature=\r\n"), publisher, 60},
      {"signature of another file", WithSignatureLine(SignatureLineOf("other-version.ini")),
       publisher, 60},
      {"signed by another key", Fixture("other-key.ini"), publisher, 60},
      {"a copy of another version's file", Fixture("other-version.ini"), publisher, 60},
      {"expired", Fixture("expired.ini"), publisher, 60},
      {"two keys, signed by the second", good, Fixture("rotated.pub"), 0},
      {"two keys, signed by the first", Fixture("other-key.ini"), Fixture("rotated.pub"), 0},
      {"damaged key file", good, Fixture("damaged.pub"), 60},
      {"empty key file", good, std::string(), 60},
      {"key file of another kind", good, Fixture("publisher.key"), 60},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.what);
    Place(row);
    int cursor = 0;
    ASSERT_EQ(FirstStep(cursor), row.result);
    if (row.result == 0) {
      EXPECT_EQ(cursor, 2);
      EXPECT_EQ(record_.Texts()[0], "PovViewer");
      EXPECT_EQ(record_.Texts()[1], "2.5");
    } else {
      // Refused: the host's cursor and record stay as they were.
      EXPECT_EQ(cursor, 1);
      EXPECT_EQ(record_.Texts()[0], "(null)");
    }
    fs::remove(ModuleDir() + "PovUpdate.pub");
  }
}

TEST_F(SignedWalkTest, ASignedWalkDeliversTheWholeListAndEnds) {
  Place({"good", Fixture("good.ini"), Fixture("publisher.pub"), 0});
  int cursor = 1;
  std::vector<std::string> names;
  while (GetTheUpdateSoftwareInforFromIni(&cursor, record_.get()) == 0 && cursor != -1) {
    names.push_back(record_.Texts()[0]);
    record_.Clear();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"PovViewer", "PovHelp"}));
  EXPECT_EQ(cursor, -1);
}

TEST_F(SignedWalkTest, AMissingUpdateFileIsStillTheEndOfTheList) {
  WriteFile(ModuleDir() + "PovUpdate.pub", Fixture("publisher.pub"));
  int cursor = 0;
  EXPECT_EQ(FirstStep(cursor), 0);
  EXPECT_EQ(cursor, -1);
}

// Only "no such file" counts as no key file; anything else in its place
// refuses every walk.
TEST_F(SignedWalkTest, AKeyFileThatCantBeReadRefusesTheWalk) {
  WriteFile(UpdateFile(), Fixture("good.ini"));
  const std::string key_file = ModuleDir() + "PovUpdate.pub";
  fs::create_directory(key_file);
  int cursor = 0;
  EXPECT_EQ(FirstStep(cursor), 60);
  fs::remove(key_file);
#ifndef _WIN32
  ASSERT_EQ(symlink("nowhere.pub", key_file.c_str()), 0);
  EXPECT_EQ(FirstStep(cursor), 60);
  fs::remove(key_file);
  ASSERT_EQ(mkfifo(key_file.c_str(), 0600), 0);
  EXPECT_EQ(FirstStep(cursor), 60);
  fs::remove(key_file);
#endif
}

// The bytes verified are the bytes walked: while the file is replaced by
// rename, a signed version and a tampered one in turn, no record ever comes
// from the tampered one.
TEST_F(SignedWalkTest, AFileReplacedDuringWalksNeverLendsARecordFromATamperedVersion) {
  const std::string good = Fixture("good.ini");
  const std::string tampered = Changed(good, "viewer.exe", "tampered.exe");
  WriteFile(ModuleDir() + "PovUpdate.pub", Fixture("publisher.pub"));
  WriteFile(UpdateFile(), good);
  WriteFile(ModuleDir() + "Update_good.next", good);
  WriteFile(ModuleDir() + "Update_tampered.next", tampered);
  std::atomic<bool> done{false};
  std::thread replacer([&] {
    for (int turn = 0; !done; ++turn) {
      const std::string next = ModuleDir() + (turn % 2 == 0 ? "Update_good" : "Update_tampered");
      std::error_code ignored;
      fs::copy_file(next + ".next", next + ".tmp", fs::copy_options::overwrite_existing, ignored);
      fs::rename(next + ".tmp", UpdateFile(), ignored);
    }
  });
  int delivered = 0;
  int refused = 0;
  // At least 400 walks, and on until both versions were met: where threads
  // take turns (as under valgrind), the replacer may not run for a while.
  for (int i = 0; i < 400 || (i < 20000 && (delivered == 0 || refused == 0)); ++i) {
    std::this_thread::yield();
    int cursor = 0;
    const int result = FirstStep(cursor);
    if (result == 60) {
      ++refused;
      continue;
    }
    if (result != 0 || cursor != 2) continue;  // between two renames: no file
    ++delivered;
    EXPECT_EQ(record_.Texts()[2], "http://127.0.0.1/viewer.exe");
  }
  done = true;
  replacer.join();
  // Both versions were met, or the test proved nothing.
  EXPECT_GT(delivered, 0);
  EXPECT_GT(refused, 0);
}

// The other exports never look at signatures.
TEST_F(SignedWalkTest, OtherExportsIgnoreTheKeyFile) {
  Place({"damaged", kUnsigned, Fixture("damaged.pub"), 60});
  EXPECT_EQ(TakeText(GetTheFileName()), "Update_6.1.ini");
  SoftwareInforRecord local{};
  EXPECT_EQ(GetTheLocalSoftwareInforFromIni("PovViewer", &local), 0);
  for (char** field = &local.Name; field <= &local.Size; ++field) FreeBlock(*field);
  DeleteTheUpdateFile();
  EXPECT_FALSE(FileExists(UpdateFile()));
}

}  // namespace
}  // namespace povupdate::test
