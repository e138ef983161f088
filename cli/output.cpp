#include "output.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>

#include "host_platform.h"

namespace povupdate_cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kFieldNameWidth = 17;  // "InstallParmeter" and two spaces

// Texts come from files and the command line in the ANSI code page, and
// need not be valid there: what can't be encoded is replaced, not fatal.
void PrintJson(const Json& json) {
  std::cout << json.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json JsonText(const std::string& text) { return AnsiToUtf8(text); }

// The array of what `to_json` makes of each item.
template <typename Item, typename ToJson>
Json JsonArray(const std::vector<Item>& items, ToJson to_json) {
  Json array = Json::array();
  for (const Item& item : items) array.push_back(to_json(item));
  return array;
}

// A text from a file as a terminal may show it: a control character, which
// could drive the terminal, appears as \xHH instead.
std::string Shown(const std::string& text) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else {
      shown.append("\\x").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 0xF]);
    }
  }
  return shown;
}

const char* SeverityText(Severity severity) {
  return severity == Severity::kError ? "error" : "warning";
}

std::string StateColumn(const InstallVerdict& verdict) {
  std::string text = InstallStateText(verdict.state);
  if (verdict.compared_as_text) text += " (compared as text)";
  return text;
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

void PrintResult(const std::string& text, const Fields& fields, bool json) {
  if (!json) {
    std::cout << Shown(text) << '\n';
    return;
  }
  Json object = Json::object();
  for (const auto& [key, value] : fields) object[key] = JsonText(value);
  PrintJson(object);
}

void PrintEntries(const std::vector<Entry>& entries, bool json) {
  if (json) {
    PrintJson(JsonArray(entries, [](const Entry& entry) {
      Json object = Json::object();
      for (int i = 0; i < kFieldCount; ++i) object[kFieldNames[i]] = JsonText(entry[i]);
      return object;
    }));
    return;
  }
  for (std::size_t n = 0; n < entries.size(); ++n) {
    if (n > 0) std::cout << '\n';
    for (int i = 0; i < kFieldCount; ++i) {
      // An empty field gets no padding: no line ends in blanks.
      if (entries[n][i].empty()) {
        std::cout << kFieldNames[i] << '\n';
      } else {
        std::cout << std::left << std::setw(kFieldNameWidth) << kFieldNames[i]
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
                  {"State", InstallStateText(row.verdict.state)},
                  {"ComparedAsText", row.verdict.compared_as_text}};
    }));
    return;
  }
  std::vector<std::vector<std::string>> table = {{"NAME", "OFFERED", "INSTALLED", "STATE"}};
  for (const StatusRow& row : rows) {
    table.push_back({Shown(row.name), row.offered.empty() ? "-" : Shown(row.offered),
                     row.installed.empty() ? "-" : Shown(row.installed), StateColumn(row.verdict)});
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
