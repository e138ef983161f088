#include "library_calls.h"

#include <cstring>

#include "povupdate.h"

#ifdef _WIN32
#include <objbase.h>
#else
#include <cstdlib>
#endif

namespace povupdate::bench {
namespace {

void ReleaseText(char* text) {
#ifdef _WIN32
  CoTaskMemFree(text);
#else
  std::free(text);
#endif
}

// Releases the record's texts; their bytes, NULs included.
long ReleaseRecord(SoftwareInforRecord& record) {
  long bytes = 0;
  for (char** field = &record.Name; field <= &record.Size; ++field) {
    bytes += static_cast<long>(std::strlen(*field)) + 1;
    ReleaseText(*field);
    *field = nullptr;
  }
  return bytes;
}

}  // namespace

long ReadNextEntry(int& cursor) {
  SoftwareInforRecord record{};
  if (GetTheUpdateSoftwareInforFromIni(&cursor, &record) != POVUPDATE_OK) return -1;
  return cursor == -1 ? 0 : ReleaseRecord(record);
}

int WalkUpdateList() {
  int cursor = 1;
  int calls = 0;
  while (cursor != -1) {
    ++calls;
    if (ReadNextEntry(cursor) < 0) return -1;
  }
  return calls;
}

bool ReadLocalItem(const char* name) {
  SoftwareInforRecord record{};
  if (GetTheLocalSoftwareInforFromIni(name, &record) != POVUPDATE_OK) return false;
  ReleaseRecord(record);
  return true;
}

bool RecordLocalItem(const char* name, const char* version) {
  SoftwareInforRecord record{};
  record.Name = const_cast<char*>(name);
  record.Version = const_cast<char*>(version);
  return UpdateLocalSoftwareInforToIni(&record) == POVUPDATE_OK;
}

bool ReadSavePath() {
  char* path = GetSaveFilePath();
  ReleaseText(path);
  return path != nullptr;
}

bool StoreSavePath(const char* path) {
  char buffer[272] = {};
  std::strncpy(buffer, path, sizeof buffer - 9);
  return SetSaveFilePath(buffer) == POVUPDATE_OK;
}

bool KeepText(char* text, char* name, unsigned size) {
  const bool fits = text != nullptr && std::strlen(text) < size;
  if (fits) std::strcpy(name, text);
  ReleaseText(text);
  return fits;
}

bool ReadFileName(char* name, unsigned size) { return KeepText(GetTheFileName(), name, size); }

}  // namespace povupdate::bench
