// Shared test scaffolding: a private directory per test, files in it, and a
// fixture that points the library at that directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include "platform/linux/win32_api.h"

// Win32 names and services that only the tests use, beside the subset that
// the library calls: on Windows they come from <windows.h>.
#define MAX_PATH 260
#define REG_NONE 0u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define HKEY_PERFORMANCE_DATA (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000004u)))

// Deletes a key that has no subkeys, as Windows does; built on the backend's
// registry steps.
LSTATUS RegDeleteKeyA(HKEY root, LPCSTR subKey);
#endif

namespace povupdate::test {

// A fresh, empty directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The full path of a file in the directory, as the system's text.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_old_;
};

// True when the Windows build runs under Wine rather than Windows: the
// profile services of Wine differ from Windows' in known ways.
bool RunningUnderWine();

// Whether the workers of a test run as processes of their own or as threads
// of the test's process.
enum class Workers { kProcesses, kThreads };
std::string PrintWorkers(const ::testing::TestParamInfo<Workers>& info);

// The directory of the test program, with its trailing separator: helper
// programs are built beside it.
std::string ExecutableDir();

// Starts `program` once for each list of arguments, all at once, and gives
// their exit statuses in turn (-1 for one that didn't start or didn't exit
// normally). Arguments must hold no blanks or quotes.
std::vector<int> RunAtOnce(const std::string& program,
                           const std::vector<std::vector<std::string>>& arguments);

// A registry key path of `levels` names, each `length` characters long.
std::string KeyPath(std::size_t levels, std::size_t length);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
bool IsReadOnly(const std::string& path);
void MakeReadOnly(const std::string& path);

#ifndef _WIN32
// Runs `body` in a child process of a user without privileges, for root
// reads and writes files whatever their mode: root hands `dir` and
// everything in it to the user "nobody" and becomes that user. Gives what
// `body` reports ("" when everything held), or what kept it from running.
std::string RunUnprivileged(const std::filesystem::path& dir,
                            const std::function<std::string()>& body);
#endif

// The directory the library takes for the host's: on Linux a private one
// named by POVUPDATE_MODULE_DIR, with the system version 6.1 and a private
// registry store; on Windows the test program's own directory, cleared of
// the library's files and registry key before and after each test.
class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The module directory with its trailing separator.
  const std::string& ModuleDir() const { return module_dir_; }
  std::string UpdateFile() const { return module_dir_ + "Update_6.1.ini"; }
  std::string LocalFile() const { return module_dir_ + "PovConfig_6.1.ini"; }

 private:
  void RemoveLibraryState();

  std::string module_dir_;
#ifndef _WIN32
  TempDir dir_;
  ScopedEnv module_env_{"POVUPDATE_MODULE_DIR", dir_.path().string().c_str()};
  ScopedEnv version_env_{"POVUPDATE_OS_VERSION", "6.1"};
  ScopedEnv registry_env_{"POVUPDATE_REGISTRY_DIR", (dir_.path() / "registry").string().c_str()};
#endif
};

}  // namespace povupdate::test
