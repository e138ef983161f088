#include "host/host_commands.h"

#include <cstring>
#include <vector>

#include "platform/text.h"
#include "povupdate.h"
#include "shared/library.h"
#include "shared/output.h"
#include "shared/result_messages.h"
#include "shared/version_compare.h"

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

}  // namespace povupdate_cli
