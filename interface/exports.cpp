// The seven exports. Each is the same short frame: a ConfigContext on the
// call's own stack, one operation on it, the result copied out while the
// context exists, and the context destroyed on return.
#include "config/config_context.h"
#include "interface/povupdate.h"
#include "platform/text.h"

using povupdate::ConfigContext;
using povupdate::ConfigFile;

extern "C" {

int POVUPDATE_CALL GetTheUpdateSoftwareInforFromIni(int* cursor, SoftwareInforRecord* record) {
  if (cursor == nullptr) return POVUPDATE_BAD_ARGUMENT;
  int position = *cursor;
  ConfigContext context;
  if (record == nullptr) return POVUPDATE_BAD_ARGUMENT;
  const int result = context.ReadUpdateEntry(position, record);
  *cursor = position;
  return result;
}

int POVUPDATE_CALL GetTheLocalSoftwareInforFromIni(const char* name, SoftwareInforRecord* record) {
  ConfigContext context(ConfigFile::kLocalConfig);
  if (record == nullptr || name == nullptr) return POVUPDATE_BAD_ARGUMENT;
  return context.ReadLocalItem(name, record);
}

int POVUPDATE_CALL UpdateLocalSoftwareInforToIni(const SoftwareInforRecord* record) {
  ConfigContext context(ConfigFile::kLocalConfig);
  if (record == nullptr) return POVUPDATE_BAD_ARGUMENT;
  return context.WriteLocalItem(record);
}

void POVUPDATE_CALL DeleteTheUpdateFile(void) {
  ConfigContext context;
  context.DeleteConfigFile();
}

char* POVUPDATE_CALL GetSaveFilePath(void) {
  ConfigContext context;
  const char* path = context.GetInstallPath();
  return path == nullptr ? nullptr : povupdate::DuplicateText(path);
}

int POVUPDATE_CALL SetSaveFilePath(char* path) {
  ConfigContext context;
  if (path == nullptr) return POVUPDATE_NULL_PATH;
  return context.StoreInstallPath(path);
}

char* POVUPDATE_CALL GetTheFileName(void) {
  ConfigContext context;
  return povupdate::DuplicateText(context.UpdateFileName());
}

}  // extern "C"
