// What each command does. Each returns the exit status: 0 on success, else
// the library's result code (or, for check, 1 when the file has errors).
#pragma once

#include <string>

namespace povupdate_cli {

int ShowUpdateFileName(bool json);
int DeleteUpdateFile();
int ListUpdates(bool json);
int ShowLocalVersion(const std::string& name, bool json);
int RecordLocalVersion(const std::string& name, const std::string& version);
int ShowStatus(bool json);
int ShowInstallPath(bool json);
int StoreInstallPath(const std::string& directory, bool json);
// An empty `file` stands for the update file the library reads.
int ShowUpdateFileFindings(const std::string& file, bool json);

}  // namespace povupdate_cli
