#include "publish/publish_commands.h"

#include "publish/signing.h"
#include "shared/host_directory.h"

namespace povupdate_cli {

int SetUpdateEntry(const std::string& installer, const EntryTexts& entry,
                   std::vector<std::string> files, bool json) {
  if (const int status = ChooseUpdateFiles(files)) return status;
  return SetEntry(installer, entry, files, json);
}

int RemoveUpdateEntry(const std::string& name, std::vector<std::string> files, bool json) {
  if (const int status = ChooseUpdateFiles(files)) return status;
  return RemoveEntry(name, files, json);
}

int SignFile(const std::string& file, const std::string& key, const std::string& expires,
             std::int64_t serial, bool json) {
  std::string path = file;
  if (const int status = ChooseUpdateFile(path)) return status;
  return SignUpdateFile(path, key, expires, serial, json);
}

}  // namespace povupdate_cli
