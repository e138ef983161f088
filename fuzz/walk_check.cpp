// The update list walked whole through the exports, and the local lookups,
// over any file: every call keeps its contract on the cursor and the record,
// every delivered field is a text of its own (freed here, so a leak shows)
// holding what the file says.
//
// Input: the file's bytes, used as both the update file and the local
// configuration file.
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/fuzz_support.h"
#include "interface/record_fields.h"
#include "platform/linux/win32_api.h"

namespace povupdate::fuzz {
namespace {

constexpr int kMostSteps = 256;
constexpr std::size_t kMostLocalNames = 8;
// The library reads values into blocks of kValueBufferSize bytes and section
// names from the index into blocks of kTextSize.
constexpr auto kValueBlockSize = static_cast<DWORD>(kValueBufferSize);
constexpr auto kNameBlockSize = static_cast<DWORD>(kTextSize);

// Fields a call must not touch; never freed.
char untouched_text[] = "untouched";

SoftwareInforRecord UntouchedRecord() {
  SoftwareInforRecord record;
  for (const auto field : kRecordFields) record.*field = untouched_text;
  return record;
}

bool IsUntouched(const SoftwareInforRecord& record) {
  for (const auto field : kRecordFields) {
    if (record.*field != untouched_text) return false;
  }
  return true;
}

// True when every field holds a text of the call's.
bool IsFilled(const SoftwareInforRecord& record) {
  for (const auto field : kRecordFields) {
    if (record.*field == nullptr || record.*field == untouched_text) return false;
  }
  return true;
}

void FreeFields(SoftwareInforRecord& record) {
  for (const auto field : kRecordFields) {
    if (record.*field != untouched_text) std::free(record.*field);
  }
}

std::string ReadValue(const char* section, const char* key, DWORD room, const std::string& path) {
  std::vector<char> buffer(room);
  const DWORD length =
      GetPrivateProfileStringA(section, key, nullptr, buffer.data(), room, path.c_str());
  return std::string(buffer.data(), length);
}

// What a field must hold: the key's value as a read into the library's
// block gives it, a leading "1" of the install path standing for "/".
std::string ExpectedField(const char* section, int field, const std::string& path) {
  std::string value = ReadValue(section, kKeyNames[field], kValueBlockSize, path);
  if (field == kInstallPath && !value.empty() && value.front() == kSystemDriveMarker) {
    value.replace(0, 1, "/");
  }
  return value;
}

std::string CheckEntry(const SoftwareInforRecord& record, int cursor, const std::string& path) {
  const std::string entry = "entry " + std::to_string(cursor);
  if (!IsFilled(record)) return entry + " lacks a field";
  const std::string number = std::to_string(cursor);
  if (record.Name != ReadValue(kIndexSection, number.c_str(), kNameBlockSize, path)) {
    return entry + " is named \"" + record.Name + "\"";
  }
  for (int i = 1; i < kFieldCount; ++i) {
    if (record.*kRecordFields[i] != ExpectedField(record.Name, i, path)) {
      return entry + " has " + kKeyNames[i] + " \"" + record.*kRecordFields[i] + "\"";
    }
  }
  return "";
}

std::string Walk(const std::string& path) {
  int cursor = 1;
  for (int step = 0; step < kMostSteps && cursor != -1; ++step) {
    SoftwareInforRecord record = UntouchedRecord();
    const int before = cursor;
    const int result = GetTheUpdateSoftwareInforFromIni(&cursor, &record);
    if (result != POVUPDATE_OK || cursor == -1) {
      const bool untouched = IsUntouched(record);
      FreeFields(record);
      if (!untouched) return "the record was changed at the end of the list or on failure";
      if (result != POVUPDATE_OK && cursor != before) return "the cursor moved on failure";
      return "";
    }
    const std::string failure = CheckEntry(record, before, path);
    FreeFields(record);
    if (!failure.empty()) return failure;
    if (cursor != before + 1) {
      return "the cursor went from " + std::to_string(before) + " to " + std::to_string(cursor);
    }
  }
  return "";
}

std::string LookUp(const std::string& name, const std::string& path) {
  SoftwareInforRecord record = UntouchedRecord();
  const int result = GetTheLocalSoftwareInforFromIni(name.c_str(), &record);
  const std::string item = "the local lookup of \"" + name + "\"";
  std::string failure;
  if (result != POVUPDATE_OK) {
    failure = item + " returned " + std::to_string(result);
  } else if (!IsFilled(record)) {
    failure = item + " left a field unfilled";
  } else if (record.Name != name) {
    failure = item + " named the item \"" + record.Name + "\"";
  } else if (record.Version != ReadValue(name.c_str(), "Version", kValueBlockSize, path)) {
    failure = item + " gave the version \"" + record.Version + "\"";
  }
  for (int i = 2; i < kFieldCount && failure.empty(); ++i) {
    if ((record.*kRecordFields[i])[0] != '\0') failure = item + " filled " + kKeyNames[i];
  }
  FreeFields(record);
  return failure;
}

}  // namespace

std::string CheckWalk(const std::uint8_t* data, std::size_t size, const std::string& directory) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string update_file = directory + "/Update_6.1.ini";
  const std::string local_file = directory + "/PovConfig_6.1.ini";
  if (!WriteFileBytes(update_file, bytes) || !WriteFileBytes(local_file, bytes)) {
    return "can't write the files in " + directory;
  }
  std::string failure = Walk(update_file);
  for (const std::string& name : HarvestNames(bytes, kMostLocalNames).sections) {
    if (failure.empty()) failure = LookUp(name, local_file);
  }
  return failure;
}

}  // namespace povupdate::fuzz
