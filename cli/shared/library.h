// The library's exports as the commands use them: every text it hands out
// is copied into a std::string and released at once.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "interface/facts.h"

namespace povupdate_cli {

// A record's eight fields, in the record's order, by the library's names.
using povupdate::kDownLoadPath;
using povupdate::kFieldCount;
using povupdate::kInstallParmeter;
using povupdate::kInstallPath;
using povupdate::kInstallType;
using povupdate::kMd5;
using povupdate::kName;
using povupdate::kSize;
using povupdate::kVersion;
using Entry = std::array<std::string, kFieldCount>;

// Where a walk of the update list ended: at its end (result 0) or at the
// entry whose call failed.
struct ListEnd {
  int result = 0;
  int failed_entry = 0;
};

// Walks the update list from its first entry to its end.
ListEnd ReadUpdateList(std::vector<Entry>& entries);

// The version recorded locally for `name`; "" when none.
int ReadLocalVersion(const std::string& name, std::string& version);
int WriteLocalVersion(const std::string& name, const std::string& version);

// The texts of GetTheFileName and GetSaveFilePath; false when it was null.
bool ReadUpdateFileName(std::string& name);
bool ReadInstallPath(std::string& path);

}  // namespace povupdate_cli
