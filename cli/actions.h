// What each command does. Each returns the exit status: 0 on success, else
// the library's result code; check, verify and entry exit 1 when the file has
// errors, the download doesn't match or the edit is refused. With `json`,
// what succeeds is one JSON value on standard output; failures go through
// ReportError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update_file_editor.h"

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
// An empty `file` stands for the update file the library reads; with
// `downloads`, a directory, each entry's download is compared with its file.
// With `key`, a public key file, the file's signature must match.
int ShowUpdateFileFindings(const std::string& file, const std::string& downloads,
                           const std::string& key, bool json);
int VerifyDownload(const std::string& name, const std::string& file, bool json);
// No `files` stands for the update file the library reads.
int SetUpdateEntry(const std::string& installer, const EntryTexts& entry,
                   std::vector<std::string> files, bool json);
// An empty `file` stands for the update file the library reads.
int SignFile(const std::string& file, const std::string& key, const std::string& expires,
             std::int64_t serial, bool json);
int VerifyFile(const std::string& file, const std::string& key, bool json);
int RemoveUpdateEntry(const std::string& name, std::vector<std::string> files, bool json);

}  // namespace povupdate_cli
