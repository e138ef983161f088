// What the commands print on standard output: readable text, with control
// characters escaped, or JSON for tools with --json.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/update_file_checker.h"
#include "shared/findings.h"
#include "shared/library.h"
#include "shared/version_compare.h"

namespace povupdate_cli {

using Json = nlohmann::ordered_json;

// `json` indented, on standard output; what the ANSI code page can't
// encode is replaced.
void PrintJson(const Json& json);
// A text of the ANSI code page as a JSON string (UTF-8).
Json JsonText(const std::string& text);

using Fields = std::vector<std::pair<const char*, std::string>>;

// `text` as a terminal may show it: each character that could move the
// cursor or change how the text around it reads appears as the \xHH of its
// bytes instead.
std::string Shown(const std::string& text);

// One line on standard error, shown as Shown() shows it.
void PrintMessage(const std::string& line);

// Whether failures also go to standard output as JSON, for tools (--json);
// set once the command line is read.
void ReportFailuresAsJson(bool json);

// Every failure of a command comes here: "povupdate: <message>" on standard
// error and, for tools, the object {"code": status, "message": message}
// alone on standard output, with "name" too for a library's result code.
// Returns `status`, the exit status.
int ReportError(int status, const std::string& message, const char* name = nullptr);

// One result: `text` alone on its line, or the object `fields`.
void PrintResult(const std::string& text, const Fields& fields, bool json);

// For a command that tells people nothing: with `json`, the object `fields`.
void PrintForTools(const Fields& fields, bool json);

// With `json`, the files an edit covered: {"Files": [...]}.
void PrintFiles(const std::vector<std::string>& files, bool json);

// Every field of every entry, or an array of objects keyed by field name.
void PrintEntries(const std::vector<Entry>& entries, bool json);

struct StatusRow {
  std::string name;
  std::string offered;
  std::string installed;
  InstallState state = InstallState::kNotInstalled;
};

void PrintStatus(const std::vector<StatusRow>& rows, bool json);

// "file:line: severity: message" lines, or an array of objects.
void PrintFindings(const std::string& file, const std::vector<Finding>& findings, bool json);

// Whether a download matches its entry, field by field.
void PrintVerification(const std::string& name, const std::string& file,
                       const std::vector<Mismatch>& mismatches, bool json);

// Whether an update file is to be believed, and why (not).
struct TrustReport {
  std::string file;
  bool trusted = false;
  std::string reason;
  std::string serial;   // "" when the file has no readable signature
  std::string expires;  // likewise
};
void PrintTrust(const TrustReport& report, bool json);

}  // namespace povupdate_cli
