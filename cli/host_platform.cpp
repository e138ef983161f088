#include "host_platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <windows.h>
#else
#include <unistd.h>

#include <cstdlib>
#endif

#include <vector>

namespace povupdate_cli {

#ifdef _WIN32

const char kSystemDriveRoot[] = "C:\\";

void ReleaseLibraryText(char* text) { CoTaskMemFree(text); }

std::string HostDirectory() {
  std::vector<char> path(32768);
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return "";
  const std::string file(path.data(), length);
  const std::size_t separator = file.find_last_of("\\/");
  return separator == std::string::npos ? "" : file.substr(0, separator + 1);
}

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

// The library's Linux backend lets POVUPDATE_MODULE_DIR stand in for the
// executable's directory; so must we, or we'd check another file.
std::string HostDirectory() {
  const char* module_dir = std::getenv("POVUPDATE_MODULE_DIR");
  if (module_dir != nullptr && module_dir[0] != '\0') {
    std::string directory(module_dir);
    if (directory.back() != '/') directory += '/';
    return directory;
  }
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return "";
  const std::string file(path.data(), static_cast<std::size_t>(length));
  return file.substr(0, file.rfind('/') + 1);
}

std::string AnsiToUtf8(const std::string& text) { return text; }

#endif

}  // namespace povupdate_cli
