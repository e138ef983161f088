// Walking the update file: the index section "SOFTWARE" numbers the entries
// ("1", "2", ...); each value names the section that describes the entry.
#include <climits>
#include <cstdio>
#include <cstring>

#include "config/config_context.h"
#include "platform/allocator.h"
#include "platform/signed_file.h"
#include "platform/text.h"
#include "platform/win32.h"

namespace povupdate {
namespace {

static_assert(sizeof(SoftwareInforRecord) == ConfigContext::kSlotCount * sizeof(char*),
              "a record is the eight value slots' texts, in slot order");

}  // namespace

int ConfigContext::ReadUpdateEntry(int& cursor, SoftwareInforRecord* record) {
  int next = cursor;
  const int result = ReadIndexEntry(next);
  if (result != POVUPDATE_OK) return result;
  if (next == -1) {
    cursor = -1;
    return POVUPDATE_OK;
  }
  const int copied = CopySlotsToRecord(record);
  ReleaseSlots();
  if (copied != POVUPDATE_OK) return copied;
  cursor = next + 1;
  return POVUPDATE_OK;
}

int ConfigContext::ReadIndexEntry(int& cursor) {
  if (cursor < 1) return POVUPDATE_BAD_CURSOR;
  bool file_missing = false;
  const int trusted = CheckTrust(file_missing);
  if (trusted != POVUPDATE_OK) return trusted;
  if (file_missing) {
    cursor = -1;
    return POVUPDATE_OK;
  }
  // The entry after INT_MAX has no number, so the list ends here.
  if (cursor == INT_MAX) {
    cursor = -1;
    return POVUPDATE_OK;
  }
  char number[16] = {};
  static_cast<void>(std::snprintf(number, sizeof number, "%d", cursor));
  char section[kTextSize] = {};
  const int read =
      profile_.ReadProfileString(kIndexSection, number, config_path_, section, sizeof section);
  if (read == 0) return ReadEntrySection(section);
  // A failed read is no end of the list.
  if (read == ProfileFile::kReadFailed) return POVUPDATE_NO_READ_BUFFER;
  if (section[0] != '\0') return POVUPDATE_INDEX_UNREADABLE;
  cursor = -1;
  return POVUPDATE_OK;
}

// With a key file beside the update file, the walk believes only an update
// file that one of its keys signed, and reads the very bytes it verified.
int ConfigContext::CheckTrust(bool& file_missing) {
  if (config_path_[0] == '\0') return POVUPDATE_OK;
  char key_path[kTextSize] = {};
  // The update file's directory, which ends its path.
  const std::size_t directory_length = std::strlen(config_path_) - std::strlen(update_file_name_);
  std::memcpy(key_path, config_path_, directory_length);
  if (!AppendText(key_path, kTextSize, kTrustedKeysFile)) return POVUPDATE_UNTRUSTED_UPDATE_FILE;
  switch (profile_.CheckUpdateFile(config_path_, key_path, update_file_name_)) {
    case ProfileFile::Walk::kAsUsual:
      return POVUPDATE_OK;
    case ProfileFile::Walk::kFileMissing:
      file_missing = true;
      return POVUPDATE_OK;
    case ProfileFile::Walk::kRefused:
      break;
  }
  return POVUPDATE_UNTRUSTED_UPDATE_FILE;
}

int ConfigContext::ReadEntrySection(const char* section_name) {
  int result = POVUPDATE_OK;
  for (int i = 0; i < kSlotCount && result == POVUPDATE_OK; ++i) {
    result = ReadKeyValue(section_name, key_names_[i], i);
  }
  char* name = DuplicateText(section_name);
  ReplaceSlot(0, name);
  return name == nullptr ? POVUPDATE_NO_NAME_COPY : result;
}

int ConfigContext::ReadKeyValue(const char* section_name, const char* key_name, int slot) {
  auto* buffer = static_cast<char*>(AllocateBlock(kValueBufferSize));
  if (buffer == nullptr) return POVUPDATE_NO_READ_BUFFER;
  std::memset(buffer, 0, kValueBufferSize);
  const int read =
      profile_.ReadProfileString(section_name, key_name, config_path_, buffer, kValueBufferSize);
  // A read that failed must not pass for an absent value.
  int result = read == ProfileFile::kReadFailed ? POVUPDATE_NO_READ_BUFFER : POVUPDATE_OK;
  if (result == POVUPDATE_OK && buffer[0] != '\0') {
    char* value = DuplicateText(buffer);
    ReplaceSlot(slot, value);
    if (value == nullptr) result = POVUPDATE_NO_VALUE_COPY;
  }
  FreeBlock(buffer);
  return result;
}

void ConfigContext::GetDriveRoot(char* root) const {
  std::memset(root, 0, kTextSize);
  const unsigned length = GetSystemDirectoryA(root, kTextSize);
  if (length == 0 || length >= kTextSize) {
    root[0] = '\0';
    return;
  }
  // "C:\" of "C:\WINDOWS\system32".
  if (std::strlen(root) > 3) root[3] = '\0';
}

// All eight fields get new blocks, or none: a host must never be handed a
// record with a null field, nor lose the texts it put there.
int ConfigContext::CopySlotsToRecord(SoftwareInforRecord* record) const {
  char* copies[kSlotCount] = {};
  bool complete = true;
  for (int i = 0; i < kSlotCount && complete; ++i) {
    const char* text = slots_[i] != nullptr ? slots_[i] : "";
    if (i == kInstallPath && text[0] == kSystemDriveMarker) {
      char root[kTextSize];
      GetDriveRoot(root);
      // Built at its full length: a cut install path would point elsewhere.
      const std::size_t root_length = std::strlen(root);
      const std::size_t rest_length = std::strlen(text + 1);
      copies[i] = static_cast<char*>(AllocateBlock(root_length + rest_length + 1));
      if (copies[i] != nullptr) {
        std::memcpy(copies[i], root, root_length);
        std::memcpy(copies[i] + root_length, text + 1, rest_length + 1);
      }
    } else {
      copies[i] = DuplicateText(text);
    }
    complete = copies[i] != nullptr;
  }
  if (!complete) {
    for (char* copy : copies) FreeBlock(copy);
    return POVUPDATE_NO_VALUE_COPY;
  }
  std::memcpy(record, copies, sizeof copies);
  return POVUPDATE_OK;
}

}  // namespace povupdate
