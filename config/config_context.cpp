#include "config/config_context.h"

#include <cstring>

#include "platform/allocator.h"
#include "platform/text.h"

namespace povupdate {
namespace {

static_assert(kKeyNameSize <= kTextSize);

constexpr std::size_t kFileNameSize = 100;

}  // namespace

ConfigContext::ConfigContext(ConfigFile file) : slots_{} {
  install_path_[0] = '\0';
  update_file_name_[0] = '\0';
  for (int i = 0; i < kSlotCount; ++i) std::memcpy(key_names_[i], kKeyNames[i], kKeyNameSize);
  BuildConfigPath(file);
}

ConfigContext::~ConfigContext() { ReleaseSlots(); }

void ConfigContext::BuildConfigPath(ConfigFile file) {
  char number[OsVersion::kNumberTextSize] = {};
  OsVersion::FormatVersionNumber(os_version_.GetVersionNumber(), number);
  trim_.CutAfterPoint(number, 1);

  const bool update_file = file == ConfigFile::kUpdateFile;
  char file_name[kFileNameSize] = {};
  CopyText(file_name, kFileNameSize, update_file ? "Update_" : "PovConfig_");
  AppendText(file_name, kFileNameSize, number);
  AppendText(file_name, kFileNameSize, ".ini");
  if (update_file) CopyText(update_file_name_, kTextSize, file_name);

  // A path cut short would name another file, so a directory that can't be
  // found or doesn't leave room for the name gives no path at all.
  if (!profile_.GetModuleDirectory(config_path_) ||
      !AppendText(config_path_, kTextSize, file_name)) {
    config_path_[0] = '\0';
  }
}

void ConfigContext::DeleteConfigFile() const { profile_.DeleteProfile(config_path_); }

void ConfigContext::ReplaceSlot(int index, char* block) {
  if (slots_[index] != nullptr) FreeBlock(slots_[index]);
  slots_[index] = block;
}

void ConfigContext::ReleaseSlots() {
  for (int i = 0; i < kSlotCount; ++i) ReplaceSlot(i, nullptr);
}

}  // namespace povupdate
