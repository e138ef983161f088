#include "shared/library.h"

#include <memory>

#include "interface/record_fields.h"
#include "shared/host_platform.h"

namespace povupdate_cli {

namespace {

using povupdate::kRecordFields;

// A record the library fills: whatever texts it holds are released with it,
// so a failed call or a thrown copy leaks nothing.
struct OwnedRecord {
  SoftwareInforRecord record{};

  OwnedRecord() = default;
  OwnedRecord(const OwnedRecord&) = delete;
  OwnedRecord& operator=(const OwnedRecord&) = delete;
  ~OwnedRecord() {
    for (auto field : kRecordFields) ReleaseLibraryText(record.*field);
  }

  Entry ToEntry() const {
    Entry entry;
    for (int i = 0; i < kFieldCount; ++i) {
      const char* text = record.*kRecordFields[i];
      if (text != nullptr) entry[i] = text;
    }
    return entry;
  }
};

struct TextReleaser {
  void operator()(char* text) const { ReleaseLibraryText(text); }
};

bool TakeText(char* text, std::string& out) {
  const std::unique_ptr<char, TextReleaser> owned(text);
  if (owned == nullptr) return false;
  out = owned.get();
  return true;
}

}  // namespace

ListEnd ReadUpdateList(std::vector<Entry>& entries) {
  int cursor = 1;
  for (;;) {
    OwnedRecord entry;
    const int requested = cursor;
    const int result = GetTheUpdateSoftwareInforFromIni(&cursor, &entry.record);
    if (result != POVUPDATE_OK) return {result, requested};
    if (cursor == -1) return {};
    entries.push_back(entry.ToEntry());
  }
}

int ReadLocalVersion(const std::string& name, std::string& version) {
  OwnedRecord local;
  const int result = GetTheLocalSoftwareInforFromIni(name.c_str(), &local.record);
  if (result == POVUPDATE_OK) version = local.ToEntry()[kVersion];
  return result;
}

int WriteLocalVersion(const std::string& name, const std::string& version) {
  // Only Name and Version are read; the rest stay null.
  SoftwareInforRecord record{};
  std::string name_copy = name;
  std::string version_copy = version;
  record.Name = name_copy.data();
  record.Version = version_copy.data();
  return UpdateLocalSoftwareInforToIni(&record);
}

bool ReadUpdateFileName(std::string& name) { return TakeText(GetTheFileName(), name); }

bool ReadInstallPath(std::string& path) { return TakeText(GetSaveFilePath(), path); }

}  // namespace povupdate_cli
