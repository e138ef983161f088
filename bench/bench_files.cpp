#include "bench_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#endif

namespace povupdate::bench {
namespace {

constexpr const char* kVersionSuffix = "_6.1.ini";
constexpr int kBackDateSeconds = 10;

std::string EntrySection(const std::string& name, int index) {
  char md5[33];
  const unsigned seed = 2654435761u * static_cast<unsigned>(index);
  std::snprintf(md5, sizeof md5, "%08x%08x%08x%08x", seed, seed ^ 0x5bd1e995u, ~seed, seed * 31u);
  return "[" + name + "]\r\nVersion=2.4." + std::to_string(index % 97) + "." +
         std::to_string(index) + "\r\nDownLoadPath=http://updates.example.com/packages/" + name +
         "/setup.exe\r\nMD5=" + md5 + "\r\nInstallType=1\r\nInstallPath=1Program Files\\Vendor\\" +
         name + "\r\nInstallParmeter=/S /NORESTART /LOG=" + name +
         ".log\r\nSize=" + std::to_string(100000 + 37 * index) + "\r\n";
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  return !file.fail();
}

}  // namespace

std::vector<std::string> ItemNames(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Pkg%05d", i);
    names.emplace_back(name);
  }
  return names;
}

std::string ModuleDirectory() {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path, length < MAX_PATH ? length : 0);
  return directory.substr(0, directory.rfind('\\') + 1);
#else
  const char* directory = std::getenv("POVUPDATE_MODULE_DIR");
  return directory == nullptr ? std::string() : std::string(directory) + "/";
#endif
}

std::string UpdateFilePath(const std::string& directory) {
  return directory + "Update" + kVersionSuffix;
}

std::string LocalFilePath(const std::string& directory) {
  return directory + "PovConfig" + kVersionSuffix;
}

std::string UpdateFileText(int entries) {
  const std::vector<std::string> names = ItemNames(entries);
  std::string text = "[SOFTWARE]\r\n";
  for (int i = 1; i <= entries; ++i) text += std::to_string(i) + "=" + names[i - 1] + "\r\n";
  for (int i = 1; i <= entries; ++i) text += EntrySection(names[i - 1], i);
  return text;
}

bool WriteUpdateFile(const std::string& path, int entries) {
  return WriteText(path, UpdateFileText(entries));
}

bool ReplaceByRename(const std::string& path, const std::string& text) {
  const std::string next = path + ".new";
  if (!WriteText(next, text)) return false;
#ifdef _WIN32
  return MoveFileExA(next.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(next.c_str(), path.c_str()) == 0;
#endif
}

bool WriteLocalFile(const std::string& path, int items) {
  std::string text;
  for (const std::string& name : ItemNames(items)) text += "[" + name + "]\r\nVersion=1.0.0\r\n";
  return WriteText(path, text);
}

#ifdef _WIN32
bool BackDate(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
  time.QuadPart -= kBackDateSeconds * 10000000ull;
  const FILETIME past{time.LowPart, time.HighPart};
  const BOOL set = SetFileTime(file, nullptr, &past, &past);
  CloseHandle(file);
  return set != 0;
}
#else
bool BackDate(const std::string& path) {
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= kBackDateSeconds;
  times[1] = times[0];
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
#endif

}  // namespace povupdate::bench
