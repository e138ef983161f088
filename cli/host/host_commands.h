// A host's commands: the update list, the versions recorded as installed and
// the install directory, each through the library's exports. Each returns
// the exit status: 0 on success, else the library's result code. With
// `json`, what succeeds is one JSON value on standard output; failures go
// through ReportError.
#pragma once

#include <string>

namespace povupdate_cli {

int ShowUpdateFileName(bool json);
int DeleteUpdateFile(bool json);
int ListUpdates(bool json);
int ShowLocalVersion(const std::string& name, bool json);
int RecordLocalVersion(const std::string& name, const std::string& version, bool json);
int ShowStatus(bool json);
// Prints "<", "=" or ">": whether version `a` is older than `b`, the same or newer.
int ShowVersionOrder(const std::string& a, const std::string& b, bool json);
int ShowInstallPath(bool json);
int StoreInstallPath(const std::string& directory, bool json);

}  // namespace povupdate_cli
