#include "windows_floor.h"

#include "facts.h"
#include "library_calls.h"

#define WIN32_LEAN_AND_MEAN
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace povupdate::bench::floor {
namespace {

constexpr DWORD kTextSize = povupdate::kTextSize;
constexpr DWORD kValueSize = povupdate::kValueBufferSize;
constexpr int kRecordFields = povupdate::kFieldCount;
constexpr const char* kInstallKey = povupdate::kInstallSubkey;
constexpr const char* kInstallValue = povupdate::kInstallValue;

// What every export asks first: the system's version and the host's path,
// which name the file it works on.
void AskVersionAndModule() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  char module[kTextSize];
  GetModuleFileNameA(nullptr, module, kTextSize);
}

// A text as the library hands it out: a copy in a block of its own.
char* NewText(const char* text) {
  const std::size_t bytes = std::strlen(text) + 1;
  auto* block = static_cast<char*>(CoTaskMemAlloc(bytes));
  if (block != nullptr) std::memcpy(block, text, bytes);
  return block;
}

// A text handed to the host, who releases it.
void HandOut(const char* text) { CoTaskMemFree(NewText(text)); }

void HandOutRecord(const char* const (&texts)[kRecordFields]) {
  for (const char* text : texts) HandOut(text);
}

}  // namespace

bool ReadEntry(int cursor, const char* update_file) {
  AskVersionAndModule();
  char number[16];
  std::snprintf(number, sizeof number, "%d", cursor);
  char section[kTextSize];
  if (GetPrivateProfileStringA(povupdate::kIndexSection, number, nullptr, section, kTextSize,
                               update_file) == 0) {
    return false;
  }
  // The name's own key ("") reads nothing; the section's name is handed out.
  char values[kRecordFields][kValueSize];
  for (int i = 0; i < kRecordFields; ++i) {
    GetPrivateProfileStringA(section, povupdate::kKeyNames[i], nullptr, values[i], kValueSize,
                             update_file);
  }
  char root[kTextSize];
  GetSystemDirectoryA(root, kTextSize);
  HandOutRecord(
      {section, values[1], values[2], values[3], values[4], values[5], values[6], values[7]});
  return true;
}

int WalkUpdateList(const char* update_file) {
  int calls = 1;
  for (int cursor = 1; ReadEntry(cursor, update_file); ++cursor) ++calls;
  return calls;
}

void ReadLocalItem(const char* name, const char* local_file) {
  AskVersionAndModule();
  char version[kValueSize];
  GetPrivateProfileStringA(name, "Version", nullptr, version, kValueSize, local_file);
  HandOutRecord({name, version, "", "", "", "", "", ""});
}

bool RecordLocalItem(const char* name, const char* version, const char* local_file) {
  AskVersionAndModule();
  SetFileAttributesA(local_file, FILE_ATTRIBUTE_NORMAL);
  return WritePrivateProfileStringA(name, "Version", version, local_file) != 0;
}

bool ReadSavePath() {
  AskVersionAndModule();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  BYTE path[kTextSize];
  DWORD type = REG_SZ;
  DWORD size = kTextSize;
  const LSTATUS read = RegQueryValueExA(key, kInstallValue, nullptr, &type, path, &size);
  RegCloseKey(key);
  RegCloseKey(HKEY_LOCAL_MACHINE);
  if (read != ERROR_SUCCESS || size == 0) return false;
  path[size - 1] = '\0';
  HandOut(reinterpret_cast<const char*>(path));
  return true;
}

bool StoreSavePath(const char* path) {
  AskVersionAndModule();
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kInstallKey, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  RegCloseKey(HKEY_LOCAL_MACHINE);
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS stored =
      RegSetValueExA(key, kInstallValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                     static_cast<DWORD>(std::strlen(path) + 1));
  RegCloseKey(key);
  RegCloseKey(HKEY_LOCAL_MACHINE);
  return stored == ERROR_SUCCESS;
}

bool ReadFileName(char* name, unsigned size) {
  AskVersionAndModule();
  return KeepText(NewText("Update_6.1.ini"), name, size);
}

}  // namespace povupdate::bench::floor
