// The items a writer of the concurrency tests records in the local
// configuration file: writer w's item i is "Writer<w>-Item<i>", version
// "<w>.<i>". Shared by the tests and the writer program they start.
#pragma once

#include <string>

#include "povupdate.h"

namespace povupdate::test {

inline std::string ItemName(int writer, int item) {
  return "Writer" + std::to_string(writer) + "-Item" + std::to_string(item);
}
inline std::string VersionOf(int writer, int item) {
  return std::to_string(writer) + "." + std::to_string(item);
}

// Records items 0 to `items` - 1 of `writer`; 0 when every write succeeded.
inline int RecordItems(int writer, int items) {
  int failures = 0;
  for (int item = 0; item < items; ++item) {
    const std::string name = ItemName(writer, item);
    const std::string version = VersionOf(writer, item);
    SoftwareInforRecord record{};
    record.Name = const_cast<char*>(name.c_str());
    record.Version = const_cast<char*>(version.c_str());
    failures += UpdateLocalSoftwareInforToIni(&record) != POVUPDATE_OK;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace povupdate::test
