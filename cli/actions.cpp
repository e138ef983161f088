#include "actions.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "file_access.h"
#include "host_directory.h"
#include "host_platform.h"
#include "library.h"
#include "output.h"
#include "platform/text.h"
#include "povupdate.h"
#include "result_messages.h"
#include "signing.h"
#include "update_file_checker.h"
#include "update_file_entries.h"
#include "version_compare.h"

namespace povupdate_cli {
namespace {

// SetSaveFilePath may append a separator and "Install" to the text it gets.
constexpr std::size_t kInstallSuffixRoom = 8;

int ReadList(std::vector<Entry>& entries) {
  const ListEnd end = ReadUpdateList(entries);
  if (end.result == POVUPDATE_OK) return POVUPDATE_OK;
  return ReportFailure("reading entry " + std::to_string(end.failed_entry) + " of the update list",
                       end.result);
}

// The update file the library reads, unless `path` already names a file;
// the exit status of a failure after its message.
int ChooseUpdateFile(std::string& path) {
  if (!path.empty()) return 0;
  if (const int status = RefuseSystemDirectory()) return status;
  std::string name;
  if (!ReadUpdateFileName(name)) return ReportFailure("GetTheFileName", kNoTextResult);
  const std::string directory = HostDirectory();
  if (directory.empty())
    return ReportError(1, "the program's directory can't be found; name the file");
  path = directory + name;
  return 0;
}

// The files an edit names, or else the update file the library reads.
int ChooseUpdateFiles(std::vector<std::string>& files) {
  if (!files.empty()) return 0;
  std::string path;
  if (const int status = ChooseUpdateFile(path)) return status;
  files.push_back(path);
  return 0;
}

DownloadFacts FindDownload(const std::string& path) {
  DownloadFacts facts;
  facts.found = DigestRegularFile(path, facts.md5, facts.sha256, facts.size, facts.problem);
  return facts;
}

}  // namespace

int ShowUpdateFileName(bool json) {
  std::string name;
  if (!ReadUpdateFileName(name)) return ReportFailure("GetTheFileName", kNoTextResult);
  PrintResult(name, {{"FileName", name}}, json);
  return 0;
}

int DeleteUpdateFile(bool json) {
  DeleteTheUpdateFile();
  // Nothing to tell, but tools still get a JSON value.
  PrintForTools({}, json);
  return 0;
}

int ListUpdates(bool json) {
  std::vector<Entry> entries;
  const int result = ReadList(entries);
  if (result != POVUPDATE_OK) return result;
  PrintEntries(entries, json);
  if (entries.empty() && !json) PrintMessage("povupdate: the update list is empty");
  return 0;
}

int ShowLocalVersion(const std::string& name, bool json) {
  std::string version;
  const int result = ReadLocalVersion(name, version);
  if (result != POVUPDATE_OK) return ReportFailure("reading the version of " + name, result);
  PrintResult(version, {{"Name", name}, {"Version", version}}, json);
  return 0;
}

int RecordLocalVersion(const std::string& name, const std::string& version, bool json) {
  const int result = WriteLocalVersion(name, version);
  if (result != POVUPDATE_OK) return ReportFailure("recording the version of " + name, result);
  PrintForTools({{"Name", name}, {"Version", version}}, json);
  return 0;
}

int ShowStatus(bool json) {
  std::vector<Entry> entries;
  const int listed = ReadList(entries);
  if (listed != POVUPDATE_OK) return listed;
  std::vector<StatusRow> rows;
  for (const Entry& entry : entries) {
    StatusRow row{entry[kName], entry[kVersion], "", {}};
    const int result = ReadLocalVersion(row.name, row.installed);
    if (result != POVUPDATE_OK) return ReportFailure("reading the version of " + row.name, result);
    row.state = JudgeInstall(row.offered, row.installed);
    rows.push_back(row);
  }
  PrintStatus(rows, json);
  return 0;
}

int ShowVersionOrder(const std::string& a, const std::string& b, bool json) {
  const int order = CompareVersions(a, b);
  const char* symbol = order < 0 ? "<" : (order > 0 ? ">" : "=");
  PrintResult(symbol, {{"Order", symbol}}, json);
  return 0;
}

int ShowInstallPath(bool json) {
  std::string path;
  if (!ReadInstallPath(path)) return ReportFailure("GetSaveFilePath", kNoTextResult);
  PrintResult(path, {{"InstallPath", path}}, json);
  return 0;
}

int StoreInstallPath(const std::string& directory, bool json) {
  std::vector<char> buffer(directory.size() + kInstallSuffixRoom + 1, '\0');
  std::memcpy(buffer.data(), directory.data(), directory.size());
  const int result = SetSaveFilePath(buffer.data());
  if (result != POVUPDATE_OK) return ReportFailure("storing the install directory", result);
  const std::string stored = buffer.data();
  PrintResult(stored, {{"InstallPath", stored}}, json);
  return 0;
}

int ShowUpdateFileFindings(const std::string& file, const std::string& downloads,
                           const std::string& key, bool json) {
  std::string path = file;
  if (const int status = ChooseUpdateFile(path)) return status;
  DownloadLookup lookup;
  if (!downloads.empty()) {
    lookup = [&downloads](const std::string& name) { return FindDownload(downloads + "/" + name); };
  }
  std::string bytes;
  std::string problem;
  Findings findings;
  if (ReadRegularFile(path, bytes, problem)) {
    std::vector<std::pair<const char*, Finding>> signature = SignatureFindings(bytes, path, key);
    findings = CheckUpdateFile(std::move(bytes), kSystemDriveRoot, lookup);
    for (auto& [kind, finding] : signature) {
      findings.Add(kind, finding.line, finding.severity, std::move(finding.message));
    }
  } else {
    findings.Add("unreadable", 0, Severity::kError, problem);
  }
  const std::size_t errors = findings.errors();
  const std::size_t warnings = findings.warnings();
  PrintFindings(path, findings.Take(), json);
  PrintMessage(path + ": " + std::to_string(errors) + " error(s), " + std::to_string(warnings) +
               " warning(s)");
  return errors > 0 ? 1 : 0;
}

int VerifyDownload(const std::string& name, const std::string& file, bool json) {
  std::string path;
  if (const int status = ChooseUpdateFile(path)) return status;
  UpdateFileEntries update_file;
  std::string problem;
  if (const int status = update_file.Read(path, "", problem)) {
    // 60 is the library's own verdict on such a file, named as the library names it.
    return ReportError(status, problem,
                       status == POVUPDATE_UNTRUSTED_UPDATE_FILE ? ResultName(status) : nullptr);
  }
  EntryDownload entry;
  if (!update_file.Find(name, entry)) return ReportError(1, "the update list has no entry " + name);
  const DownloadFacts facts = FindDownload(file);
  if (!facts.found) return ReportError(1, file + " " + facts.problem);
  std::vector<Mismatch> mismatches = DownloadMismatches(entry.md5, entry.size, facts, entry.sha256);
  // As a host checks a download: by its SHA-256 where the entry has one.
  if (!entry.sha256.empty()) {
    mismatches.erase(std::remove_if(mismatches.begin(), mismatches.end(),
                                    [](const Mismatch& m) {
                                      return m.field == std::string(povupdate::kKeyNames[kMd5]);
                                    }),
                     mismatches.end());
  }
  PrintVerification(entry.name, file, mismatches, json);
  return mismatches.empty() ? 0 : 1;
}

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

int VerifyFile(const std::string& file, const std::string& key, bool json) {
  std::string path = file;
  if (const int status = ChooseUpdateFile(path)) return status;
  return VerifyUpdateFile(path, key, json);
}

}  // namespace povupdate_cli
