#include "check/check_commands.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "check/update_file_checker.h"
#include "interface/facts.h"
#include "povupdate.h"
#include "publish/signing.h"
#include "shared/file_access.h"
#include "shared/host_directory.h"
#include "shared/host_platform.h"
#include "shared/output.h"
#include "shared/result_messages.h"
#include "shared/update_file_entries.h"

namespace povupdate_cli {
namespace {

DownloadFacts FindDownload(const std::string& path) {
  DownloadFacts facts;
  facts.found = DigestRegularFile(path, facts.md5, facts.sha256, facts.size, facts.problem);
  return facts;
}

}  // namespace

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

int VerifyFile(const std::string& file, const std::string& key, bool json) {
  std::string path = file;
  if (const int status = ChooseUpdateFile(path)) return status;
  return VerifyUpdateFile(path, key, json);
}

}  // namespace povupdate_cli
