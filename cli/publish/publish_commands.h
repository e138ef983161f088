// The publisher's commands: entries set or removed, and signatures, on the
// files named or else on the update file the library reads. Each returns the
// exit status: 0, or 1 after ReportError when an edit is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "publish/update_file_editor.h"

namespace povupdate_cli {

int SetUpdateEntry(const std::string& installer, const EntryTexts& entry,
                   std::vector<std::string> files, bool json);
int RemoveUpdateEntry(const std::string& name, std::vector<std::string> files, bool json);
int SignFile(const std::string& file, const std::string& key, const std::string& expires,
             std::int64_t serial, bool json);

}  // namespace povupdate_cli
