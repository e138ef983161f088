// The update's system services on Linux: POSIX descriptors, flock(), and
// fexecve() of the descriptor that was checked.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/environment.h"
#include "shared/host_platform.h"
#include "update/command_line.h"
#include "update/update_system.h"

namespace povupdate_cli {
namespace {

// Makes each missing directory of `path`; the last one owner-only.
bool MakeDirectories(const std::string& path, mode_t last_mode) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const bool last = slash == std::string::npos;
    const std::string prefix = last ? path : path.substr(0, slash);
    if (mkdir(prefix.c_str(), last ? last_mode : 0755) != 0 && errno != EEXIST) return false;
    if (last) return true;
  }
}

}  // namespace

std::string DefaultDownloadDirectory() {
  std::string base;
  if (!povupdate::backend::BaseDirectory("XDG_CACHE_HOME", "/.cache", base)) return "";
  return base + "/povupdate";
}

bool PrepareDownloadDirectory(const std::string& directory, std::string& problem) {
  if (!MakeDirectories(directory, 0700)) {
    problem = directory + " can't be made: " + SystemMessage(errno);
    return false;
  }
  struct stat status {};
  if (lstat(directory.c_str(), &status) != 0) {
    problem = directory + " can't be read: " + SystemMessage(errno);
    return false;
  }
  if (S_ISLNK(status.st_mode) || !S_ISDIR(status.st_mode)) {
    problem = directory + " is a link or no directory; downloads go only into a directory";
    return false;
  }
  if (status.st_uid != geteuid()) {
    problem = directory + " belongs to another user";
    return false;
  }
  if ((status.st_mode & 077) != 0 && chmod(directory.c_str(), 0700) != 0) {
    problem = directory + " can't be made private: " + SystemMessage(errno);
    return false;
  }
  return true;
}

struct UpdateLock::Handle {
  int descriptor = -1;
};

UpdateLock::UpdateLock() : handle_(std::make_unique<Handle>()) {}

UpdateLock::~UpdateLock() {
  if (handle_->descriptor >= 0) close(handle_->descriptor);
}

bool UpdateLock::Take(const std::string& path, void (*waiting)(), std::string& problem) {
  // Not closed on exec: an installer inherits the lock and holds it on.
  // NOLINTNEXTLINE(android-cloexec-open)
  handle_->descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
  if (handle_->descriptor < 0) {
    problem = path + " can't be opened: " + SystemMessage(errno);
    return false;
  }
  if (flock(handle_->descriptor, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) {
    waiting();
    int result;
    do {
      result = flock(handle_->descriptor, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return true;
  }
  problem = path + " can't be locked: " + SystemMessage(errno);
  return false;
}

struct HeldFile::Handle {
  int descriptor = -1;
};

HeldFile::HeldFile() : handle_(std::make_unique<Handle>()) {}

HeldFile::~HeldFile() { Close(); }

void HeldFile::Close() {
  if (handle_->descriptor >= 0) close(handle_->descriptor);
  handle_->descriptor = -1;
}

bool HeldFile::Open(const std::string& path, std::string& problem) {
  path_ = path;
  // Left open across exec: a script's interpreter reads it as /dev/fd/N.
  // NOLINTNEXTLINE(android-cloexec-open)
  handle_->descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  struct stat status {};
  if (handle_->descriptor < 0 || fstat(handle_->descriptor, &status) != 0) {
    problem = path + " can't be read: " + SystemMessage(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & 022) != 0) {
    problem = path + " is no regular file of this user's that only this user can write";
    return false;
  }
  return true;
}

bool HeldFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  ssize_t count;
  do {
    count = read(handle_->descriptor, buffer, size);
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    problem = path_ + " can't be read: " + SystemMessage(errno);
    return false;
  }
  got = static_cast<std::size_t>(count);
  return true;
}

bool HeldFile::Rewind(std::string& problem) {
  if (lseek(handle_->descriptor, 0, SEEK_SET) == 0) return true;
  problem = path_ + " can't be read: " + SystemMessage(errno);
  return false;
}

std::intptr_t HeldFile::native() const { return handle_->descriptor; }

InstallerExit RunProgram(const HeldFile& program, const std::string& parameters,
                         std::string& problem) {
  const int descriptor = static_cast<int>(program.native());
  if (fchmod(descriptor, 0700) != 0) {
    problem = program.path() + " can't be made executable: " + SystemMessage(errno);
    return {};
  }
  // Everything the child needs is made before fork(): after it, only calls
  // that are safe there.
  std::vector<std::string> arguments = SplitCommandLine(parameters);
  const std::size_t slash = program.path().rfind('/');
  arguments.insert(arguments.begin(), program.path().substr(slash + 1));
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  static char clean_path[] = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  char* clean_environment[] = {clean_path, nullptr};
  char** environment = povupdate::backend::RaisedRights() ? clean_environment : environ;
  // The child reports a failed exec through this pipe; a successful one
  // closes it.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    problem = "no pipe for the installer: " + SystemMessage(errno);
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    fexecve(descriptor, argv.data(), environment);
    const int error = errno;
    (void)!write(report[1], &error, sizeof error);
    _exit(127);
  }
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    problem = "the installer can't be started: " + SystemMessage(errno);
    return {};
  }
  int exec_error = 0;
  ssize_t reported;
  do {
    reported = read(report[0], &exec_error, sizeof exec_error);
  } while (reported < 0 && errno == EINTR);
  close(report[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (reported == static_cast<ssize_t>(sizeof exec_error)) {
    problem = program.path() + " can't be run: " + SystemMessage(exec_error);
    return {};
  }
  if (WIFSIGNALED(status)) {
    problem = "the installer was ended by signal " + std::to_string(WTERMSIG(status));
    return {true, 128 + WTERMSIG(status)};
  }
  return {true, WEXITSTATUS(status)};
}

InstallerExit RunMsi(const HeldFile& /*package*/, const std::string& /*parameters*/,
                     std::string& problem) {
  problem = "an msi package is installed by Windows Installer, which Linux lacks";
  return {};
}

}  // namespace povupdate_cli
