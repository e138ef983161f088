// The working object of one exported call: which configuration file the call
// works on, the table of key names and the value slots that the update list
// and the local configuration fill, and the install-path buffer. An export
// makes one on its own stack and destroys it before it returns.
#pragma once

#include <cstddef>

#include "config/os_version.h"
#include "config/text_trim.h"
#include "interface/povupdate.h"
#include "platform/profile_file.h"
#include "platform/registry_store.h"

namespace povupdate {

class ConfigContext {
 public:
  static constexpr int kSlotCount = 8;
  static constexpr std::size_t kTextSize = 260;
  // Construction variant that selects the local configuration file.
  static constexpr int kLocalConfig = 1;

  // The update file.
  ConfigContext();
  // The local configuration file for kLocalConfig, the update file otherwise.
  explicit ConfigContext(int variant);
  virtual ~ConfigContext();
  ConfigContext(const ConfigContext&) = delete;
  ConfigContext& operator=(const ConfigContext&) = delete;

  // The full path of the file this context works on; empty when no usable
  // path could be built (no module directory, or one too long).
  const char* ConfigPath() const { return config_path_; }
  const char* UpdateFileName() const { return update_file_name_; }
  const char* KeyName(int index) const { return key_names_[index]; }
  const char* Slot(int index) const { return slots_[index]; }
  const ProfileFile& Profile() const { return profile_; }

  // Update list.
  int ReadUpdateEntry(int& cursor, SoftwareInforRecord* record);
  int ReadIndexEntry(int& cursor);
  int ReadEntrySection(const char* section_name);
  int ReadKeyValue(const char* section_name, const char* key_name, int slot);
  int CopySlotsToRecord(SoftwareInforRecord* record) const;

  // Local configuration.
  int ReadLocalItem(const char* name, SoftwareInforRecord* record);
  int ReadItemVersion(const char* name);
  int WriteLocalItem(const SoftwareInforRecord* record);
  int LoadSlotsFromRecord(const SoftwareInforRecord* record);
  int SetValueSlot(const char* text, int index);

  // Install path.
  const char* GetInstallPath();
  int LoadInstallPath();
  char* MakeDefaultInstallPath() const;
  int StoreInstallPath(char* path);

 private:
  void FillKeyNames();
  void BuildConfigPath(const char* prefix, bool update_file);
  // Puts `block` (owned, or null) into a slot, freeing what the slot held.
  void ReplaceSlot(int index, char* block);
  void ReleaseSlots();
  // The system drive's root for the marker "1" of an install path.
  void GetDriveRoot(char* root) const;

  ProfileFile profile_;
  OsVersion os_version_;
  RegistryStore registry_;
  TextTrim trim_;
  char config_path_[kTextSize];
  char* slots_[kSlotCount];
  char key_names_[kSlotCount][kTextSize];
  char install_path_[kTextSize];
  char update_file_name_[kTextSize];
};

}  // namespace povupdate
