// The working object of one exported call: which configuration file the call
// works on, the table of key names and the value slots that the update list
// and the local configuration fill, and the install-path buffer. An export
// makes one on its own stack and destroys it before it returns.
#pragma once

#include <cstddef>

#include "config/os_version.h"
#include "config/text_trim.h"
#include "interface/facts.h"
#include "interface/povupdate.h"
#include "platform/profile_file.h"
#include "platform/registry_store.h"

namespace povupdate {

// Which of the two configuration files a context works on.
enum class ConfigFile { kUpdateFile, kLocalConfig };

class ConfigContext {
 public:
  static constexpr int kSlotCount = kFieldCount;

  explicit ConfigContext(ConfigFile file = ConfigFile::kUpdateFile);
  virtual ~ConfigContext();
  ConfigContext(const ConfigContext&) = delete;
  ConfigContext& operator=(const ConfigContext&) = delete;

  // The bare name of the update file; empty for the local configuration.
  const char* UpdateFileName() const { return update_file_name_; }

  // Update list (update_list.cpp).
  int ReadUpdateEntry(int& cursor, SoftwareInforRecord* record);

  // Local configuration (local_config.cpp).
  int ReadLocalItem(const char* name, SoftwareInforRecord* record);
  int WriteLocalItem(const SoftwareInforRecord* record);

  // Install path (install_path.cpp).
  const char* GetInstallPath();
  int StoreInstallPath(char* path);

  // Deletes the file this context works on. Reports nothing.
  void DeleteConfigFile() const;

 private:
  void BuildConfigPath(ConfigFile file);
  // Puts `block` (owned, or null) into a slot, freeing what the slot held.
  void ReplaceSlot(int index, char* block);
  void ReleaseSlots();

  int ReadIndexEntry(int& cursor);
  // POVUPDATE_UNTRUSTED_UPDATE_FILE when a key file asks for a signature
  // that the update file lacks; `file_missing` when there is no update file.
  int CheckTrust(bool& file_missing);
  int ReadEntrySection(const char* section_name);
  int ReadKeyValue(const char* section_name, const char* key_name, int slot);
  int CopySlotsToRecord(SoftwareInforRecord* record) const;
  // The system drive's root for the marker "1" of an install path.
  void GetDriveRoot(char* root) const;

  int ReadItemVersion(const char* name);
  int LoadSlotsFromRecord(const SoftwareInforRecord* record);
  int SetValueSlot(const char* text, int index);

  int LoadInstallPath();
  char* MakeDefaultInstallPath() const;

  ProfileFile profile_;
  OsVersion os_version_;
  RegistryStore registry_;
  TextTrim trim_;
  // The full path of the file this context works on; empty when no usable
  // path could be built (no module directory, or one too long).
  char config_path_[kTextSize];
  char* slots_[kSlotCount];
  char key_names_[kSlotCount][kTextSize];
  char install_path_[kTextSize];
  char update_file_name_[kTextSize];
};

}  // namespace povupdate
