// The local configuration file: the version recorded for each software item,
// as the key "Version" of the item's own section.
#include "config/config_context.h"
#include "platform/allocator.h"
#include "platform/profile_syntax.h"
#include "platform/text.h"

namespace povupdate {
namespace {

constexpr int kVersionSlot = kVersion;

// A text a write can put into a profile file as it stands: a line break
// would add lines, and so sections and keys, of its own.
bool IsWritableText(const char* text) { return text != nullptr && !HasLineBreak(text); }

// A name a section header can hold so that it reads back as the same name;
// anything else would be written under a section no read finds, one more
// with every write.
bool IsSectionName(const char* name) { return IsWritableText(name) && IsStorableSectionName(name); }

}  // namespace

int ConfigContext::ReadLocalItem(const char* name, SoftwareInforRecord* record) {
  const int result = ReadItemVersion(name);
  if (result != POVUPDATE_OK) return result;
  const int copied = CopySlotsToRecord(record);
  ReleaseSlots();
  return copied;
}

int ConfigContext::ReadItemVersion(const char* name) {
  char* copy = DuplicateText(name);
  ReplaceSlot(0, copy);
  if (copy == nullptr) return POVUPDATE_NO_NAME_COPY;
  return ReadKeyValue(name, key_names_[kVersionSlot], kVersionSlot);
}

int ConfigContext::WriteLocalItem(const SoftwareInforRecord* record) {
  if (!IsSectionName(record->Name) || !IsWritableText(record->Version)) {
    return POVUPDATE_BAD_ARGUMENT;
  }
  char* section = DuplicateText(record->Name);
  if (section == nullptr) return POVUPDATE_BAD_ARGUMENT;
  int result = LoadSlotsFromRecord(record);
  if (result == POVUPDATE_OK) {
    const int written = profile_.WriteProfileString(section, key_names_[kVersionSlot], config_path_,
                                                    slots_[kVersionSlot]);
    if (written == ProfileFile::kTextRefused) {
      result = POVUPDATE_BAD_ARGUMENT;
    } else if (written != 0) {
      result = POVUPDATE_WRITE_FAILED;
    }
  }
  FreeBlock(section);
  return result;
}

int ConfigContext::LoadSlotsFromRecord(const SoftwareInforRecord* record) {
  for (int i = 0; i < kSlotCount; ++i) {
    const int result = SetValueSlot(i == kVersionSlot ? record->Version : "", i);
    if (result != POVUPDATE_OK) return result;
  }
  return POVUPDATE_OK;
}

int ConfigContext::SetValueSlot(const char* text, int index) {
  if (index < 0 || index >= kSlotCount) return POVUPDATE_BAD_SLOT;
  char* copy = DuplicateText(text);
  ReplaceSlot(index, copy);
  return copy == nullptr ? POVUPDATE_BAD_ARGUMENT : POVUPDATE_OK;
}

}  // namespace povupdate
