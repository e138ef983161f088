// The update's system services on Windows: a download held by a handle
// that denies writing while CreateProcess starts it, and the lock as an
// inherited handle.
#include "platform/win32.h"
// windows.h first.
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <memory>

#include "shared/host_platform.h"
#include "update/update_system.h"

namespace povupdate_cli {
namespace {

constexpr DWORD kLockRetryMilliseconds = 200;

struct LocalFree_ {
  void operator()(void* memory) const { LocalFree(memory); }
};

// Whether the security descriptor's owner is this process's user (or the
// owner it gives the objects it creates, Administrators when elevated).
bool OwnedByThisUser(PSID owner) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  char user[256];
  char default_owner[256];
  DWORD size = 0;
  const bool known =
      GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      GetTokenInformation(token, TokenOwner, default_owner, sizeof default_owner, &size);
  CloseHandle(token);
  return known && (EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) ||
                   EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(default_owner)->Owner));
}

}  // namespace

std::string DefaultDownloadDirectory() {
  char base[MAX_PATH] = "";
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) {
    return "";
  }
  return std::string(base) + "\\PovUpdate\\Downloads";
}

bool PrepareDownloadDirectory(const std::string& directory, std::string& problem) {
  // Protected: only its owner and the system may use it, whatever the
  // parent grants.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          "D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr)) {
    problem = "no security descriptor for " + directory + ": " + SystemMessage(GetLastError());
    return false;
  }
  const std::unique_ptr<void, LocalFree_> owned_descriptor(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const std::size_t parent = directory.find_last_of("\\/");
  if (parent != std::string::npos && parent > 0) {
    const std::string above = directory.substr(0, parent);
    if (GetFileAttributesA(above.c_str()) == INVALID_FILE_ATTRIBUTES) {
      SHCreateDirectoryExA(nullptr, above.c_str(), nullptr);
    }
  }
  if (!CreateDirectoryA(directory.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
    problem = directory + " can't be made: " + SystemMessage(GetLastError());
    return false;
  }
  const DWORD kind = GetFileAttributesA(directory.c_str());
  if (kind == INVALID_FILE_ATTRIBUTES || (kind & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (kind & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    problem = directory + " is a link or no directory; downloads go only into a directory";
    return false;
  }
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR found = nullptr;
  if (GetNamedSecurityInfoA(directory.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                            nullptr, nullptr, nullptr, &found) != ERROR_SUCCESS) {
    problem = directory + "'s owner can't be read";
    return false;
  }
  const std::unique_ptr<void, LocalFree_> owned_found(found);
  if (!OwnedByThisUser(owner)) {
    problem = directory + " belongs to another user";
    return false;
  }
  return true;
}

struct UpdateLock::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
};

UpdateLock::UpdateLock() : handle_(std::make_unique<Handle>()) {}

UpdateLock::~UpdateLock() {
  if (handle_->file != INVALID_HANDLE_VALUE) CloseHandle(handle_->file);
}

bool UpdateLock::Take(const std::string& path, void (*waiting)(), std::string& problem) {
  // Open with no sharing: a second open fails while any process, an
  // installer that inherited the handle among them, keeps it.
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  for (bool told = false;; told = true) {
    handle_->file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inherited,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_->file != INVALID_HANDLE_VALUE) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION) {
      problem = path + " can't be opened: " + SystemMessage(error);
      return false;
    }
    if (!told) waiting();
    Sleep(kLockRetryMilliseconds);
  }
}

struct HeldFile::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
};

HeldFile::HeldFile() : handle_(std::make_unique<Handle>()) {}

HeldFile::~HeldFile() { Close(); }

void HeldFile::Close() {
  if (handle_->file != INVALID_HANDLE_VALUE) CloseHandle(handle_->file);
  handle_->file = INVALID_HANDLE_VALUE;
}

bool HeldFile::Open(const std::string& path, std::string& problem) {
  path_ = path;
  // Others may read it, as CreateProcess does, but no one may write it or
  // rename it while it is held.
  handle_->file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle_->file == INVALID_HANDLE_VALUE) {
    problem = path + " can't be read: " + SystemMessage(GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileType(handle_->file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle_->file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
          0) {
    problem = path + " is no regular file";
    return false;
  }
  return true;
}

bool HeldFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  DWORD read = 0;
  if (!ReadFile(handle_->file, buffer, static_cast<DWORD>(size), &read, nullptr)) {
    problem = path_ + " can't be read: " + SystemMessage(GetLastError());
    return false;
  }
  got = read;
  return true;
}

bool HeldFile::Rewind(std::string& problem) {
  if (SetFilePointer(handle_->file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
    return true;
  }
  problem = path_ + " can't be read: " + SystemMessage(GetLastError());
  return false;
}

std::intptr_t HeldFile::native() const { return reinterpret_cast<std::intptr_t>(handle_->file); }

namespace {

// Starts `application` with `command_line` (inheriting the update's lock)
// and waits for it.
InstallerExit Start(const std::string& application, std::string command_line,
                    std::string& problem) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    problem = application + " can't be run: " + SystemMessage(GetLastError());
    return {};
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return {true, static_cast<long>(code)};
}

std::string Joined(const std::string& command, const std::string& parameters) {
  return parameters.empty() ? command : command + " " + parameters;
}

}  // namespace

InstallerExit RunProgram(const HeldFile& program, const std::string& parameters,
                         std::string& problem) {
  return Start(program.path(), Joined("\"" + program.path() + "\"", parameters), problem);
}

InstallerExit RunMsi(const HeldFile& package, const std::string& parameters, std::string& problem) {
  char system[MAX_PATH] = "";
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    problem = "the system directory can't be found";
    return {};
  }
  const std::string msiexec = std::string(system) + "\\msiexec.exe";
  return Start(msiexec, Joined("msiexec.exe /i \"" + package.path() + "\"", parameters), problem);
}

}  // namespace povupdate_cli
