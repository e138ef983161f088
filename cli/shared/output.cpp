#include "shared/output.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string_view>

#include "shared/host_platform.h"

namespace povupdate_cli {
namespace {

constexpr int kFieldNameWidth = 17;  // "InstallParmeter" and two spaces

bool failures_as_json = false;

}  // namespace

// Texts come from files and the command line in the ANSI code page, and
// need not be valid there: what can't be encoded is replaced, not fatal.
void PrintJson(const Json& json) {
  std::cout << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json JsonText(const std::string& text) { return AnsiToUtf8(text); }

namespace {

// The array of what `to_json` makes of each item.
template <typename Item, typename ToJson>
Json JsonArray(const std::vector<Item>& items, ToJson to_json) {
  Json array = Json::array();
  for (const Item& item : items) array.push_back(to_json(item));
  return array;
}

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its code point, or 0 when none starts there.
std::size_t Utf8SequenceAt(std::string_view text, char32_t& code_point) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
  code_point = lead & (0x3Fu >> (length - 1));
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0u) != 0x80u) return 0;
    code_point = (code_point << 6) | (byte & 0x3Fu);
  }
  const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (code_point < least || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
    return 0;
  return length;
}

// Characters that move a terminal's cursor or change how the text around
// them reads: C0, DEL and C1 controls, the line and paragraph separators
// and the bidirectional marks, embeddings, overrides and isolates.
bool MovesOrReorders(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendEscaped(std::string& shown, std::string_view bytes) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    shown.append("\\x").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 0xF]);
  }
}

const char* SeverityText(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

void PrintRow(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i + 1 == cells.size()) {
      std::cout << cells[i] << '\n';
    } else {
      std::cout << std::left << std::setw(static_cast<int>(widths[i] + 2)) << cells[i];
    }
  }
}

}  // namespace

// A byte that begins no well-formed UTF-8 sequence stands for itself: one of
// 0x80 to 0x9F is a C1 control (0x9B is the 8-bit CSI).
std::string Shown(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view rest = std::string_view(text).substr(at);
    char32_t c = static_cast<unsigned char>(rest[0]);
    char32_t decoded = 0;
    const std::size_t sequence = c < 0x80 ? 1 : Utf8SequenceAt(rest, decoded);
    if (sequence > 1) c = decoded;
    const std::size_t length = std::max<std::size_t>(sequence, 1);
    if (MovesOrReorders(c)) {
      AppendEscaped(shown, rest.substr(0, length));
    } else {
      shown.append(rest.substr(0, length));
    }
    at += length;
  }
  return shown;
}

void PrintMessage(const std::string& line) { std::cerr << Shown(line) << '\n'; }

void ReportFailuresAsJson(bool json) { failures_as_json = json; }

int ReportError(int status, const std::string& message, const char* name) {
  PrintMessage("povupdate: " + message);
  if (failures_as_json) {
    Json failure{{"code", status}};
    if (name != nullptr) failure["name"] = name;
    failure["message"] = JsonText(message);
    PrintJson(failure);
  }
  return status;
}

void PrintResult(const std::string& text, const Fields& fields, bool json) {
  if (!json) {
    std::cout << Shown(text) << '\n';
    return;
  }
  Json object = Json::object();
  for (const auto& [key, value] : fields) object[key] = JsonText(value);
  PrintJson(object);
}

void PrintForTools(const Fields& fields, bool json) {
  if (json) PrintResult("", fields, json);
}

void PrintFiles(const std::vector<std::string>& files, bool json) {
  if (json) PrintJson({{"Files", JsonArray(files, JsonText)}});
}

void PrintEntries(const std::vector<Entry>& entries, bool json) {
  if (json) {
    PrintJson(JsonArray(entries, [](const Entry& entry) {
      Json object = Json::object();
      for (int i = 0; i < kFieldCount; ++i) object[povupdate::FieldName(i)] = JsonText(entry[i]);
      return object;
    }));
    return;
  }
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (n > 0) std::cout << '\n';
    for (int i = 0; i < kFieldCount; ++i) {
      // An empty field gets no padding: no line ends in blanks.
      if (entries[n][i].empty()) {
        std::cout << povupdate::FieldName(i) << '\n';
      } else {
        std::cout << std::left << std::setw(kFieldNameWidth) << povupdate::FieldName(i)
                  << Shown(entries[n][i]) << '\n';
      }
    }
  }
}

void PrintStatus(const std::vector<StatusRow>& rows, bool json) {
  if (json) {
    PrintJson(JsonArray(rows, [](const StatusRow& row) {
      return Json{{"Name", JsonText(row.name)},
                  {"Version", JsonText(row.offered)},
                  {"InstalledVersion", JsonText(row.installed)},
                  {"State", InstallStateText(row.state)}};
    }));
    return;
  }
  std::vector<std::vector<std::string>> table = {{"NAME", "OFFERED", "INSTALLED", "STATE"}};
  for (const StatusRow& row : rows) {
    table.push_back({Shown(row.name), row.offered.empty() ? "-" : Shown(row.offered),
                     row.installed.empty() ? "-" : Shown(row.installed),
                     InstallStateText(row.state)});
  }
  std::vector<std::size_t> widths(table.front().size(), 0);
  for (const auto& cells : table) {
    for (std::size_t i = 0; i < cells.size(); ++i) widths[i] = std::max(widths[i], cells[i].size());
  }
  for (const auto& cells : table) PrintRow(cells, widths);
}

void PrintFindings(const std::string& file, const std::vector<Finding>& findings, bool json) {
  if (json) {
    PrintJson(JsonArray(findings, [](const Finding& finding) {
      return Json{{"line", finding.line},
                  {"severity", SeverityText(finding.severity)},
                  {"message", JsonText(finding.message)}};
    }));
    return;
  }
  for (const Finding& finding : findings) {
    std::cout << Shown(file);
    if (finding.line > 0) std::cout << ':' << finding.line;
    std::cout << ": " << SeverityText(finding.severity) << ": " << Shown(finding.message) << '\n';
  }
}

void PrintVerification(const std::string& name, const std::string& file,
                       const std::vector<Mismatch>& mismatches, bool json) {
  if (json) {
    const Json array = JsonArray(mismatches, [](const Mismatch& mismatch) {
      return Json{{"Field", mismatch.field},
                  {"Expected", JsonText(mismatch.expected)},
                  {"Found", JsonText(mismatch.found)}};
    });
    PrintJson({{"Name", JsonText(name)},
               {"File", JsonText(file)},
               {"Matches", mismatches.empty()},
               {"Mismatches", array}});
    return;
  }
  if (mismatches.empty()) {
    std::cout << Shown(file) << " matches entry " << Shown(name) << '\n';
    return;
  }
  for (const Mismatch& mismatch : mismatches) {
    std::cout << Shown(file) << " does not match entry " << Shown(name) << ": "
              << Shown(DescribeMismatch(mismatch)) << '\n';
  }
}

void PrintTrust(const TrustReport& report, bool json) {
  if (json) {
    Json object{{"File", JsonText(report.file)},
                {"Verified", report.trusted},
                {"Reason", JsonText(report.reason)}};
    if (!report.serial.empty()) {
      object["Serial"] = report.serial;
      object["Expires"] = report.expires;
    }
    PrintJson(object);
    return;
  }
  (report.trusted ? std::cout : std::cerr)
      << (report.trusted ? "" : "povupdate: ") << Shown(report.file) << " " << Shown(report.reason)
      << '\n';
}

}  // namespace povupdate_cli
