#include "actions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "host_platform.h"
#include "library.h"
#include "output.h"
#include "povupdate.h"
#include "result_messages.h"
#include "update_file_checker.h"

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

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

}  // namespace

int ShowUpdateFileName(bool json) {
  std::string name;
  if (!ReadUpdateFileName(name)) return ReportFailure("GetTheFileName", kNoTextResult);
  PrintResult(name, {{"FileName", name}}, json);
  return 0;
}

int DeleteUpdateFile() {
  DeleteTheUpdateFile();
  return 0;
}

int ListUpdates(bool json) {
  std::vector<Entry> entries;
  const int result = ReadList(entries);
  if (result != POVUPDATE_OK) return result;
  PrintEntries(entries, json);
  if (entries.empty() && !json) std::cerr << "povupdate: the update list is empty\n";
  return 0;
}

int ShowLocalVersion(const std::string& name, bool json) {
  std::string version;
  const int result = ReadLocalVersion(name, version);
  if (result != POVUPDATE_OK) return ReportFailure("reading the version of " + name, result);
  PrintResult(version, {{"Name", name}, {"Version", version}}, json);
  return 0;
}

int RecordLocalVersion(const std::string& name, const std::string& version) {
  const int result = WriteLocalVersion(name, version);
  if (result != POVUPDATE_OK) return ReportFailure("recording the version of " + name, result);
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
    row.verdict = JudgeInstall(row.offered, row.installed);
    rows.push_back(row);
  }
  PrintStatus(rows, json);
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

int ShowUpdateFileFindings(const std::string& file, bool json) {
  std::string path = file;
  if (path.empty()) {
    std::string name;
    if (!ReadUpdateFileName(name)) return ReportFailure("GetTheFileName", kNoTextResult);
    const std::string directory = HostDirectory();
    if (directory.empty()) {
      std::cerr << "povupdate: the program's directory can't be found; name the file to check\n";
      return 1;
    }
    path = directory + name;
  }
  std::string bytes;
  std::vector<Finding> findings;
  if (ReadWholeFile(path, bytes)) {
    findings = CheckUpdateFile(bytes, kSystemDriveRoot);
  } else {
    findings.push_back(
        {0, Severity::kError, "can't be read: " + std::string(std::strerror(errno))});
  }
  PrintFindings(path, findings, json);
  const auto errors = static_cast<std::size_t>(
      std::count_if(findings.begin(), findings.end(),
                    [](const Finding& finding) { return finding.severity == Severity::kError; }));
  std::cerr << path << ": " << errors << " error(s), " << findings.size() - errors
            << " warning(s)\n";
  return errors > 0 ? 1 : 0;
}

}  // namespace povupdate_cli
