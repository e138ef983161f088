#include "update/fetch.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "interface/facts.h"
#include "platform/signed_file.h"
#include "shared/file_access.h"
#include "shared/host_platform.h"
#include "shared/library.h"
#include "shared/output.h"
#include "update/download.h"
#ifdef _WIN32
#include "platform/win32.h"
#else
#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "platform/linux/environment.h"
#include "platform/text.h"
#endif
#include "shared/result_messages.h"
#include "shared/update_file_entries.h"

namespace povupdate_cli {
namespace {

#ifdef _WIN32

// Beside the install directory's value: state of the host's own, which no
// update file can reach.
std::string SerialsKey() { return std::string(povupdate::kInstallSubkey) + "\\AcceptedSerials"; }
constexpr std::size_t kSerialRoom = 32;

// The highest serial accepted for `file_name`; 0 when none was.
std::int64_t AcceptedSerial(const std::string& file_name) {
  HKEY key = nullptr;
  char value[kSerialRoom] = "";
  DWORD size = sizeof value - 1;
  DWORD type = REG_SZ;
  std::int64_t serial = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialsKey().c_str(), 0, KEY_QUERY_VALUE, &key) ==
          ERROR_SUCCESS &&
      RegQueryValueExA(key, file_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) == ERROR_SUCCESS &&
      type == REG_SZ && !povupdate::ParseSerial(value, serial)) {
    serial = 0;
  }
  if (key != nullptr) RegCloseKey(key);
  return serial;
}

bool RecordSerial(const std::string& file_name, std::int64_t serial) {
  HKEY key = nullptr;
  const std::string text = std::to_string(serial);
  const bool written =
      RegCreateKeyA(HKEY_LOCAL_MACHINE, SerialsKey().c_str(), &key) == ERROR_SUCCESS &&
      RegSetValueExA(key, file_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  if (key != nullptr) RegCloseKey(key);
  return written;
}

#else

// State of the host's own, which no update file can reach: in the user's
// state directory, one line per update file name, its serial, a space and
// the name.
constexpr char kSerialsFile[] = "accepted-serials";

// "" when there is no home.
std::string SerialsPath() {
  std::string base;
  if (!povupdate::backend::BaseDirectory("XDG_STATE_HOME", "/.local/state", base)) return "";
  return base + "/povupdate/" + kSerialsFile;
}

// The file's lines but the one of `file_name` (names match in any case, as
// the registry's value names do), and that one's serial (0 for none).
std::string OtherSerials(const std::string& text, const std::string& file_name,
                         std::int64_t& serial) {
  std::string others;
  serial = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + at, end - at);
    const std::size_t space = line.find(' ');
    std::int64_t found = 0;
    if (space != std::string_view::npos &&
        povupdate::EqualsIgnoringAsciiCase(line.substr(space + 1), file_name)) {
      if (povupdate::ParseSerial(line.substr(0, space), found)) serial = found;
    } else if (!line.empty()) {
      others.append(line).append("\n");
    }
    at = end + 1;
  }
  return others;
}

std::int64_t AcceptedSerial(const std::string& file_name) {
  const std::string path = SerialsPath();
  std::string text;
  std::string problem;
  std::int64_t serial = 0;
  if (!path.empty() && ReadRegularFile(path, text, problem)) OtherSerials(text, file_name, serial);
  return serial;
}

bool RecordSerial(const std::string& file_name, std::int64_t serial) {
  const std::string path = SerialsPath();
  if (path.empty()) return false;
  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  std::error_code error;
  std::filesystem::create_directories(directory.parent_path(), error);
  // Only its owner may open it.
  if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
  EditLocks lock;
  std::string failed;
  std::string problem;
  std::string text;
  std::int64_t old = 0;
  if (!lock.Take({path}, failed, problem)) return false;
  if (std::filesystem::exists(path, error) && !ReadRegularFile(path, text, problem)) return false;
  text = OtherSerials(text, file_name, old) + std::to_string(serial) + " " + file_name + "\n";
  return ReplaceRegularFile(path, text, problem);
}

#endif

}  // namespace

bool FetchUpdateFile(const FetchOptions& options, bool& signed_file, std::string& problem) {
  signed_file = false;
  const std::string host = HostDirectory();
  std::string name;
  if (host.empty() || !ReadUpdateFileName(name)) {
    problem = "the update file's place can't be found";
    return false;
  }
  const std::string path = host + name;
  const std::string key_path = ApplicableKeyFile(options.key);
  const bool keyed = !key_path.empty();

  DownloadPlan plan;
  plan.url = options.url;
  plan.path = path + ".fetched";
  plan.size = kMaxUpdateFile;
  plan.exact = false;
  plan.options = options.transfer;
  std::string bytes;
  const bool fetched = Download(plan, problem) && ReadRegularFile(plan.path, bytes, problem);
  // Nothing of it stays: a fetch starts afresh each time.
  std::error_code ignored;
  std::filesystem::remove(plan.path, ignored);
  std::filesystem::remove(plan.path + ".part", ignored);
  if (!fetched) return false;

  std::int64_t serial = 0;
  if (keyed) {
    std::string keys;
    if (!ReadRegularFile(key_path, keys, problem)) {
      problem = "the key file " + key_path + " " + problem;
      return false;
    }
    const povupdate::TrustVerdict verdict = povupdate::JudgeUpdateFile(
        bytes, name, keys, static_cast<std::int64_t>(std::time(nullptr)));
    if (verdict.trust != povupdate::Trust::kTrusted) {
      problem = options.url + " is not put in place: " + povupdate::DescribeTrust(verdict);
      return false;
    }
    serial = verdict.section.serial;
    const std::int64_t accepted = AcceptedSerial(name);
    if (serial < accepted) {
      problem = options.url + " is not put in place: its Serial " + std::to_string(serial) +
                " is below " + std::to_string(accepted) +
                ", the highest this host has accepted for " + name + " (a rollback)";
      return false;
    }
  }
  EditLocks locks;
  std::string failed;
  if (!locks.Take({path}, failed, problem) || !ReplaceRegularFile(path, bytes, problem)) {
    problem = path + " is not replaced: " + problem;
    return false;
  }
  if (keyed && !RecordSerial(name, serial)) {
    problem = path + " is in place, but its serial can't be recorded";
    return false;
  }
  signed_file = keyed;
  return true;
}

int RunFetch(const FetchOptions& options, bool json) {
  bool signed_file = false;
  std::string problem;
  if (!StartTransfers(problem) || !FetchUpdateFile(options, signed_file, problem)) {
    return ReportError(1, problem);
  }
  std::string name;
  ReadUpdateFileName(name);
  if (json) {
    PrintJson(
        {{"File", JsonText(name)}, {"From", JsonText(options.url)}, {"Verified", signed_file}});
    return 0;
  }
  std::cout << Shown(name) << ": fetched from " << Shown(options.url)
            << (signed_file ? ", signature verified\n"
                            : "; no key verified it (HTTPS proves only the server)\n");
  return 0;
}

}  // namespace povupdate_cli
