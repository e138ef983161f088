#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/registry_service.h"
#include "platform/text.h"
#endif

namespace povupdate::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  const auto name = "povupdate-test-" + std::to_string(random()) + std::to_string(random());
  path_ = fs::temp_directory_path() / name;
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files left by a test must not keep the directory alive.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return (path_ / name).string(); }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_old_ = old != nullptr;
  if (had_old_) old_ = old;
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 1);
#endif
}

ScopedEnv::~ScopedEnv() {
#ifdef _WIN32
  _putenv_s(name_.c_str(), had_old_ ? old_.c_str() : "");
#else
  if (had_old_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
#endif
}

std::string PrintWorkers(const ::testing::TestParamInfo<Workers>& info) {
  return info.param == Workers::kProcesses ? "Processes" : "Threads";
}

std::string ExecutableDir() {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.rfind('\\') + 1);
#else
  return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
#endif
}

std::vector<int> RunAtOnce(const std::string& program,
                           const std::vector<std::vector<std::string>>& arguments) {
  std::vector<int> statuses(arguments.size(), -1);
#ifdef _WIN32
  std::vector<HANDLE> processes;
  for (const std::vector<std::string>& list : arguments) {
    std::string command = "\"" + program + "\"";
    for (const std::string& argument : list) command += " " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const bool ok = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &started);
    if (ok) CloseHandle(started.hThread);
    processes.push_back(ok ? started.hProcess : nullptr);
  }
  for (std::size_t i = 0; i < processes.size(); ++i) {
    DWORD code = 0;
    if (processes[i] == nullptr) continue;
    if (WaitForSingleObject(processes[i], INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(processes[i], &code)) {
      statuses[i] = static_cast<int>(code);
    }
    CloseHandle(processes[i]);
  }
#else
  std::vector<pid_t> children;
  for (const std::vector<std::string>& list : arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : list) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
      child = -1;
    }
    children.push_back(child);
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    int status = 0;
    if (children[i] > 0 && waitpid(children[i], &status, 0) == children[i] && WIFEXITED(status)) {
      statuses[i] = WEXITSTATUS(status);
    }
  }
#endif
  return statuses;
}

bool RunningUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

std::string KeyPath(std::size_t levels, std::size_t length) {
  std::string path(length, 'k');
  for (std::size_t level = 1; level < levels; ++level) path += "\\" + std::string(length, 'k');
  return path;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

bool IsReadOnly(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0;
#endif
}

void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
#else
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
#endif
}

#ifndef _WIN32
std::string RunUnprivileged(const fs::path& dir, const std::function<std::string()>& body) {
  constexpr uid_t kNobody = 65534;
  const bool root = geteuid() == 0;
  if (root) {
    if (lchown(dir.c_str(), kNobody, kNobody) != 0) return "can't hand over " + dir.string();
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) {
        return "can't hand over " + entry.path().string();
      }
    }
  }
  int ends[2];
  if (pipe(ends) != 0) return "no pipe";
  const pid_t child = fork();
  if (child < 0) return "no child process";
  if (child == 0) {
    close(ends[0]);
    const bool dropped =
        !root || (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0);
    const std::string report = dropped ? body() : "can't become nobody";
    const ssize_t written = write(ends[1], report.data(), report.size());
    _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  close(ends[1]);
  std::string report;
  char chunk[256];
  for (ssize_t got; (got = read(ends[0], chunk, sizeof chunk)) > 0;) {
    report.append(chunk, static_cast<std::size_t>(got));
  }
  close(ends[0]);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    report += "; the child process failed";
  }
  return report;
}
#endif

void LibraryTest::SetUp() {
#ifdef _WIN32
  module_dir_ = ExecutableDir();
#else
  module_dir_ = dir_.path().string() + "/";
#endif
  RemoveLibraryState();
}

void LibraryTest::TearDown() { RemoveLibraryState(); }

void LibraryTest::RemoveLibraryState() {
#ifdef _WIN32
  // The test program's directory and the prefix's registry are shared by all
  // tests, which run one at a time: start and end each test clean.
  for (const auto& entry : fs::directory_iterator(module_dir_)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Update_", 0) == 0 || name.rfind("PovConfig_", 0) == 0 ||
        name == "PovUpdate.pub") {
      SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
      std::error_code ignored;
      fs::remove_all(entry.path(), ignored);
    }
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\DravuPovUpdate");
#endif
}

}  // namespace povupdate::test

#ifndef _WIN32
LSTATUS RegDeleteKeyA(HKEY root, LPCSTR subKey) {
  namespace backend = povupdate::backend;
  if (subKey == nullptr || *subKey == '\0') return ERROR_INVALID_PARAMETER;
  return backend::Guarded([&] {
    backend::Target target;
    const LSTATUS status = backend::Locate(root, subKey, target);
    if (status != ERROR_SUCCESS) return status;
    return backend::Rewrite(target.file, [&target](backend::RegistryTree& tree, bool& changed) {
      if (tree.Find(target.base.path) == nullptr) return ERROR_KEY_DELETED;
      const backend::RegistryKey* key = tree.Find(target.path);
      if (key == nullptr) return ERROR_FILE_NOT_FOUND;
      if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
      // The key leaves its parent's subkeys; its own entry in the tree stays,
      // reached by no path, and is not written.
      const std::string& path = target.path;
      const std::size_t separator = path.rfind('\\');
      const bool top = separator == std::string::npos;
      backend::RegistryKey* parent = tree.Find(top ? "" : path.substr(0, separator));
      parent->subkeys.erase(povupdate::FoldAsciiCase(top ? path : path.substr(separator + 1)));
      changed = true;
      return ERROR_SUCCESS;
    });
  });
}
#endif
