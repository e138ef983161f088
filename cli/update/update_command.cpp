#include "update/update_command.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "interface/facts.h"
#include "platform/module_directory.h"
#include "platform/signed_file.h"
#include "platform/text.h"
#include "platform/win32.h"
#include "shared/host_platform.h"
#include "shared/library.h"
#include "shared/output.h"
#include "update/digest.h"
#include "update/download.h"
#include "update/fetch.h"
#include "update/install_type.h"
#ifndef _WIN32
#include <optional>

#include "platform/linux/registry_file.h"
#include "shared/file_access.h"
#endif
#include "check/update_file_checker.h"
#include "povupdate.h"
#include "shared/result_messages.h"
#include "shared/update_file_entries.h"
#include "shared/version_compare.h"
#include "update/progress_line.h"
#include "update/update_system.h"

namespace povupdate_cli {
namespace {

// Beside the library's files: the lock that one update of this host holds
// at a time.
constexpr char kLockFile[] = "PovUpdate.lock";
constexpr std::size_t kSha256Digits = 64;
constexpr std::size_t kMd5Digits = 32;
// Windows Installer's exit codes for success that needs a restart.
constexpr long kRestartRequired = 3010;
constexpr long kRestartInitiated = 1641;

enum class Outcome { kInstalled, kCurrent, kSkipped, kFailed, kWouldInstall };

const char* OutcomeText(Outcome outcome) {
  switch (outcome) {
    case Outcome::kInstalled:
      return "installed";
    case Outcome::kCurrent:
      return "current";
    case Outcome::kSkipped:
      return "skipped";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kWouldInstall:
      break;
  }
  return "would install";
}

struct Report {
  std::string name;
  std::string offered;
  std::string installed;
  Outcome outcome = Outcome::kSkipped;
  std::string reason;
  std::string install_type;
  bool by_extension = false;
  bool restart_needed = false;
  std::string url;
  std::string file;
  std::string target;
};

// What installing one entry takes, all of it checked before a byte moves.
struct Plan {
  DownloadPlan download;
  DigestKind digest = DigestKind::kSha256;
  std::string expected;
  InstallChoice choice;
  std::string target;
  std::string parameters;
};

bool IsHex(const std::string& text, std::size_t digits) {
  return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c)) != 0;
         });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool ParseSize(const std::string& text, std::uint64_t& size) {
  constexpr std::size_t kMaxDigits = 19;
  if (text.empty() || text.size() > kMaxDigits ||
      !std::all_of(text.begin(), text.end(),
                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
    return false;
  }
  size = std::stoull(text);
  return true;
}

// The install directory as GetSaveFilePath would give it, without storing
// the default where none is stored yet.
#ifdef _WIN32
std::string PeekInstallPath() {
  HKEY key = nullptr;
  char value[povupdate::kModulePathSize] = "";
  DWORD size = sizeof value - 1;
  DWORD type = REG_SZ;
  const bool read = RegOpenKeyExA(HKEY_LOCAL_MACHINE, povupdate::kInstallSubkey, 0, KEY_QUERY_VALUE,
                                  &key) == ERROR_SUCCESS &&
                    RegQueryValueExA(key, povupdate::kInstallValue, nullptr, &type,
                                     reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                    type == REG_SZ;
  if (key != nullptr) RegCloseKey(key);
  return read ? std::string(value) : HostDirectory() + "Install";
}
#else
// Read from the registry store's file, as the library's registry read gives
// the value to a buffer of this size, with none of the library's services.
std::string PeekInstallPath() {
  using povupdate::backend::RegistryKey;
  std::string file;
  std::string bytes;
  std::string problem;
  std::optional<povupdate::backend::RegistryTree> tree;
  if (povupdate::backend::RegistryStoreFile("HKEY_LOCAL_MACHINE", file) &&
      ReadRegularFile(file, bytes, problem)) {
    tree = povupdate::backend::ParseRegistryFile(bytes);
  }
  const RegistryKey* key = tree ? tree->Find(povupdate::kInstallSubkey) : nullptr;
  if (key != nullptr) {
    const auto found = key->values.find(povupdate::FoldAsciiCase(povupdate::kInstallValue));
    if (found != key->values.end() && found->second.type == REG_SZ &&
        found->second.data.size() < povupdate::kModulePathSize) {
      return found->second.data.substr(0, found->second.data.find('\0'));
    }
  }
  return HostDirectory() + "Install";
}
#endif

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// A download is removed once installed, and once it failed its check.
void RemoveDownload(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

class Updater {
 public:
  explicit Updater(const UpdateOptions& options) : options_(options) {}

  int Run() {
    const std::string host = HostDirectory();
    if (host.empty()) {
      return ReportError(1, "the program's directory can't be found");
    }
    update_file_ = ReadUpdateFileName(update_file_) ? host + update_file_ : "";
    signed_ = FileExists(host + povupdate::kTrustedKeysFile);
    downloads_ = options_.downloads.empty() ? DefaultDownloadDirectory() : options_.downloads;
    if (downloads_.empty()) {
      return ReportError(1, "no download directory (no home); name one with --downloads");
    }
    std::string problem;
    if (!options_.dry_run) {
      if (!PrepareDownloadDirectory(downloads_, problem) ||
          !lock_.Take(host + kLockFile, Waiting, problem) || !StartTransfers(problem)) {
        return ReportError(1, problem);
      }
      bool fetched_signed = false;
      if (!options_.from.empty() &&
          !FetchUpdateFile({options_.from, options_.key, options_.transfer}, fetched_signed,
                           problem)) {
        return ReportError(1, problem + "; nothing is installed");
      }
      signed_ = signed_ || fetched_signed;
    } else if (!options_.from.empty()) {
      PrintMessage("povupdate: --dry-run fetches nothing; the current update file is walked");
    }
    // Read only now, under the lock: what an update before this one
    // recorded counts.
    std::vector<Entry> entries;
    const ListEnd end = ReadUpdateList(entries);
    if (end.result != POVUPDATE_OK) {
      return ReportFailure(
          "reading entry " + std::to_string(end.failed_entry) + " of the update list", end.result);
    }
    // The download keys from one read of the file, verified where a key
    // applies: what the checks trust is what was signed.
    if (update_file_.empty()) {
      read_ = 1;
      read_problem_ = "the update file's name can't be had";
    } else {
      read_ = update_entries_.Read(update_file_, options_.key, read_problem_);
    }
    std::vector<Report> reports;
    for (const Entry& entry : entries) {
      if (!Asked(entry[kName])) continue;
      reports.push_back(Consider(entry));
      if (!options_.json) PrintReport(reports.back());
    }
    const auto failed = std::count_if(reports.begin(), reports.end(), [](const Report& r) {
      return r.outcome == Outcome::kFailed;
    });
    if (options_.json) PrintJsonReports(reports, failed);
    return failed > 0 ? 1 : 0;
  }

 private:
  static void Waiting() {
    std::cerr << "povupdate: another update of this host is running; waiting for it\n";
  }

  bool Asked(const std::string& name) const {
    return options_.only.empty() ||
           std::any_of(options_.only.begin(), options_.only.end(), [&](const std::string& only) {
             return povupdate::EqualsIgnoringAsciiCase(only, name);
           });
  }

  Report Consider(const Entry& entry) {
    Report report;
    report.name = entry[kName];
    report.offered = entry[kVersion];
    const int read = ReadLocalVersion(report.name, report.installed);
    if (read != POVUPDATE_OK) {
      return Fail(report,
                  std::string("its installed version can't be read: ") + DescribeResult(read));
    }
    const InstallState state = JudgeInstall(report.offered, report.installed);
    if (state == InstallState::kNotInstalled && !options_.new_entries) {
      report.reason = "not installed (--new installs it)";
      return report;
    }
    if (state == InstallState::kUpToDate || state == InstallState::kNewerInstalled) {
      report.outcome = Outcome::kCurrent;
      report.reason = InstallStateText(state);
      return report;
    }
    Plan plan;
    if (!MakePlan(entry, report, plan)) return report;
    if (!signed_ && !options_.allow_unsigned) {
      return Fail(report, std::string("no publisher key (") + povupdate::kTrustedKeysFile +
                              ") vouches for the update file, and HTTPS proves only the "
                              "server; --allow-unsigned installs all the same");
    }
    if (options_.dry_run) {
      report.outcome = Outcome::kWouldInstall;
      return report;
    }
    Install(plan, report);
    return report;
  }

  static Report& Fail(Report& report, const std::string& reason) {
    report.outcome = Outcome::kFailed;
    report.reason = reason;
    return report;
  }

  bool MakePlan(const Entry& entry, Report& report, Plan& plan) {
    if (read_ != POVUPDATE_OK) {
      Fail(report, read_problem_);
      return false;
    }
    EntryDownload download;
    if (!update_entries_.Find(report.name, download) || download.url != entry[kDownLoadPath]) {
      Fail(report, "the update file changed while it was walked; run the update again");
      return false;
    }
    report.url = download.url;
    plan.download.url = report.url;
    if (!IsHttpUrl(report.url)) {
      Fail(report, "its DownLoadPath '" + report.url + "' is no http: or https: URL");
      return false;
    }
    const std::string file_name = DownloadFileName(report.url);
    if (file_name.empty()) {
      Fail(report, "its DownLoadPath '" + report.url + "' names no file that may be saved");
      return false;
    }
    if (!ParseSize(download.size, plan.download.size)) {
      Fail(report, "it has no Size (a whole number of bytes), so nothing bounds its download");
      return false;
    }
    if (!download.sha256.empty()) {
      if (!IsHex(download.sha256, kSha256Digits)) {
        Fail(report, "its SHA256 is not 64 hexadecimal digits");
        return false;
      }
      plan.expected = Lower(download.sha256);
    } else if (IsHex(download.md5, kMd5Digits)) {
      plan.digest = DigestKind::kMd5;
      plan.expected = Lower(download.md5);
    } else {
      Fail(report, "it has neither a SHA256 nor an MD5, so nothing checks its download");
      return false;
    }
    plan.choice = ChooseInstall(entry[kInstallType], file_name);
    if (plan.choice.kind == InstallKind::kNone) {
      Fail(report, "its InstallType '" + entry[kInstallType] +
                       "' is none of exe, msi and zip, "
                       "and neither is the extension of " +
                       file_name);
      return false;
    }
    report.install_type = InstallKindText(plan.choice.kind);
    report.by_extension = plan.choice.by_extension;
    plan.parameters = entry[kInstallParmeter];
    if (plan.choice.kind == InstallKind::kZip && !ZipTarget(entry, plan.target, report)) {
      return false;
    }
    report.target = plan.target;
    report.file = downloads_ + povupdate::kPathSeparator + file_name;
    plan.download.path = report.file;
    plan.download.options = options_.transfer;
    return true;
  }

  bool ZipTarget(const Entry& entry, std::string& target, Report& report) {
    target = entry[kInstallPath];
#ifndef _WIN32
    std::replace(target.begin(), target.end(), '\\', '/');
#endif
    if (!target.empty()) return true;
    std::string directory;
    if (options_.dry_run) {
      directory = PeekInstallPath();
    } else if (!ReadInstallPath(directory)) {
      Fail(report, "it has no InstallPath, and GetSaveFilePath gives no install directory");
      return false;
    }
    target = directory + povupdate::kPathSeparator + entry[kName];
    return true;
  }

  void Install(Plan& plan, Report& report) {
    std::string problem;
    {
      ProgressLine progress(DownloadFileName(report.url),
                            !options_.json && !options_.quiet && ProgressLine::OnTerminal());
      plan.download.progress = [&progress](std::uint64_t done, std::uint64_t total) {
        progress.Report(done, total);
      };
      if (!Download(plan.download, problem)) {
        Fail(report, problem);
        return;
      }
    }
    HeldFile file;
    if (!file.Open(report.file, problem) || !Check(file, plan, problem)) {
      file.Close();
      RemoveDownload(report.file);
      Fail(report, problem);
      return;
    }
    if (!RunInstaller(file, plan, report)) return;
    file.Close();
    const int recorded = WriteLocalVersion(report.name, report.offered);
    if (recorded != POVUPDATE_OK) {
      Fail(report, std::string("installed, but the version can't be recorded: ") +
                       DescribeResult(recorded));
      return;
    }
    RemoveDownload(report.file);
    report.outcome = Outcome::kInstalled;
  }

  // The held file is the one the entry promises: its Size and digest.
  static bool Check(HeldFile& file, const Plan& plan, std::string& problem) {
    Digest digest(plan.digest);
    std::vector<char> block(std::size_t{256} * 1024);
    std::uint64_t size = 0;
    for (;;) {
      std::size_t got = 0;
      if (!file.Read(block.data(), block.size(), got, problem)) return false;
      if (got == 0) break;
      size += got;
      digest.Update(block.data(), got);
    }
    const char* name = plan.digest == DigestKind::kSha256 ? "SHA256" : "MD5";
    const std::string found = digest.Finish();
    if (size != plan.download.size || found != plan.expected) {
      problem =
          plan.download.url + " sent other bytes than the entry promises (" +
          (size != plan.download.size
               ? "Size " + std::to_string(plan.download.size) + ", got " + std::to_string(size)
               : std::string(name) + " " + plan.expected + ", got " + found) +
          "); the download is deleted and nothing was run";
      return false;
    }
    return true;
  }

  static bool RunInstaller(HeldFile& file, const Plan& plan, Report& report) {
    std::string problem;
    if (plan.choice.kind == InstallKind::kZip) {
      if (!ExtractZip(file, plan.target, problem)) {
        Fail(report, "the archive is not installed: " + problem);
        return false;
      }
      return true;
    }
    const InstallerExit exit = plan.choice.kind == InstallKind::kMsi
                                   ? RunMsi(file, plan.parameters, problem)
                                   : RunProgram(file, plan.parameters, problem);
    if (!exit.started) {
      Fail(report, problem);
      return false;
    }
    report.restart_needed = exit.code == kRestartRequired || exit.code == kRestartInitiated;
    if (exit.code != 0 && !report.restart_needed) {
      Fail(report, "the installer failed with exit status " + std::to_string(exit.code) +
                       (problem.empty() ? "" : " (" + problem + ")"));
      return false;
    }
    return true;
  }

  void PrintReport(const Report& report) const {
    std::string line = Shown(report.name);
    const bool moves = report.outcome != Outcome::kCurrent && report.outcome != Outcome::kSkipped;
    if (moves) {
      line += " " + (report.installed.empty() ? std::string("-") : Shown(report.installed)) +
              " -> " + Shown(report.offered);
    } else if (!report.offered.empty()) {
      line += " " + Shown(report.offered);
    }
    line += std::string(": ") + OutcomeText(report.outcome);
    if (report.outcome == Outcome::kWouldInstall) {
      line += ": download " + Shown(report.url) + " to " + Shown(report.file) + ", then " +
              (report.install_type == "zip" ? "extract it into " + Shown(report.target)
                                            : "run it as " + report.install_type);
    }
    if (report.by_extension) line += " (install type chosen by the file's extension)";
    if (report.restart_needed) line += " (a restart is needed)";
    if (!report.reason.empty()) line += ": " + Shown(report.reason);
    (report.outcome == Outcome::kFailed ? std::cerr : std::cout) << line << '\n';
  }

  static void PrintJsonReports(const std::vector<Report>& reports, std::ptrdiff_t failed) {
    Json results = Json::array();
    for (const Report& r : reports) {
      results.push_back({{"Name", JsonText(r.name)},
                         {"Version", JsonText(r.offered)},
                         {"InstalledVersion", JsonText(r.installed)},
                         {"Result", OutcomeText(r.outcome)},
                         {"Reason", JsonText(r.reason)},
                         {"InstallType", r.install_type},
                         {"ChosenByExtension", r.by_extension},
                         {"RestartNeeded", r.restart_needed},
                         {"Download", JsonText(r.url)},
                         {"File", JsonText(r.file)},
                         {"InstallPath", JsonText(r.target)}});
    }
    PrintJson({{"Results", results}, {"Failed", failed}});
  }

  const UpdateOptions& options_;
  std::string update_file_;
  UpdateFileEntries update_entries_;
  int read_ = POVUPDATE_OK;
  std::string read_problem_;
  std::string downloads_;
  bool signed_ = false;
  UpdateLock lock_;
};

}  // namespace

int RunUpdate(const UpdateOptions& options) { return Updater(options).Run(); }

}  // namespace povupdate_cli
