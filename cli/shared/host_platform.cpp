#include "shared/host_platform.h"

#include <system_error>

#include "platform/module_directory.h"

#ifdef _WIN32
#include "platform/win32.h"
// After the system's headers are set up as the library sets them.
#include <objbase.h>
#else
#include <cstdlib>

#include "platform/linux/module_path.h"
#endif

namespace povupdate_cli {

std::string SystemMessage(long code) {
  return std::system_category().message(static_cast<int>(code));
}

// The library's own rule, so that the file named is the one it reads.
std::string HostDirectory() {
  char directory[povupdate::kModulePathSize];
#ifdef _WIN32
  return povupdate::ReadModuleDirectory(directory) ? directory : "";
#else
  // The library's GetModuleFileNameA gives this path; it isn't exported.
  const std::string path = povupdate::backend::ModulePath(povupdate::backend::ReadExecutablePath());
  return povupdate::ModuleDirectoryOf(path.c_str(), path.size(), directory) ? directory : "";
#endif
}

#ifdef _WIN32

const char kSystemDriveRoot[] = "C:\\";

void ReleaseLibraryText(char* text) { CoTaskMemFree(text); }

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wide_size = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), wide_size);
  const int utf8_size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(utf8_size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, utf8.data(), utf8_size, nullptr, nullptr);
  return utf8;
}

#else

const char kSystemDriveRoot[] = "/";

void ReleaseLibraryText(char* text) { std::free(text); }

std::string AnsiToUtf8(const std::string& text) { return text; }

#endif

}  // namespace povupdate_cli
