#include "profile_text.h"

#include <utility>

namespace povupdate_cli {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool IsNameBlank(char c) { return c == ' ' || c == '\t'; }
bool IsValueBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string Trim(const std::string& text, bool (*is_blank)(char)) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One pair of matching outer quotes goes, as a read removes it.
std::string Unquote(const std::string& value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return quoted ? value.substr(1, value.size() - 2) : value;
}

// CRLF, LF alone and CR alone each end a line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

class Parser {
 public:
  explicit Parser(std::vector<Finding>& findings) : findings_(findings) {}

  std::vector<ProfileSection> Parse(const std::string& text) {
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) ParseLine(static_cast<int>(i + 1), lines[i]);
    return std::move(sections_);
  }

 private:
  void ParseLine(int line, const std::string& raw) {
    const std::string text = Trim(raw, IsValueBlank);
    if (text.empty() || text[0] == ';') return;
    if (text[0] == '[') {
      ParseHeader(line, text);
    } else if (sections_.empty()) {
      Warn(line, "ignored: it comes before the first section");
    } else if (text.find('=') == std::string::npos) {
      Warn(line, text[0] == '#' ? "ignored: only ';' starts a comment, and the line has no '='"
                                : "ignored: not a section header, a key=value line or a ';' "
                                  "comment");
    } else {
      const std::size_t equals = text.find('=');
      sections_.back().keys.push_back({Trim(text.substr(0, equals), IsNameBlank),
                                       Unquote(Trim(text.substr(equals + 1), IsValueBlank)), line});
    }
  }

  // The name ends at the first ']'; without one, Windows takes the rest of
  // the line while Wine doesn't see a section at all.
  void ParseHeader(int line, const std::string& text) {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
      Warn(line,
           "section header without ']': Windows reads the rest of the line as the section name, "
           "Wine does not read it as a section");
    } else if (!Trim(text.substr(close + 1), IsValueBlank).empty()) {
      Warn(line, "the text after the section header's ']' is ignored");
    }
    const std::string inside = text.substr(1, close == std::string::npos ? close : close - 1);
    sections_.push_back({Trim(inside, IsValueBlank), line, {}});
  }

  void Warn(int line, const char* message) {
    findings_.push_back({line, Severity::kWarning, message});
  }

  std::vector<Finding>& findings_;
  std::vector<ProfileSection> sections_;
};

}  // namespace

std::vector<ProfileSection> ParseProfileText(const std::string& bytes,
                                             std::vector<Finding>& findings) {
  const bool has_bom = bytes.compare(0, 3, kUtf8Bom) == 0;
  // The rest of the file is checked as it will be once the mark is gone.
  std::vector<ProfileSection> sections = Parser(findings).Parse(has_bom ? bytes.substr(3) : bytes);
  if (has_bom) {
    if (!sections.empty() && sections.front().line == 1) {
      findings.push_back({1, Severity::kError,
                          "the file starts with a UTF-8 byte-order mark: Windows reads it as part "
                          "of the first line, so section [" +
                              sections.front().name +
                              "] and its keys are lost; save the file without it"});
    } else {
      findings.push_back({1, Severity::kWarning,
                          "the file starts with a UTF-8 byte-order mark, which Windows reads as "
                          "text; save the file without it"});
    }
  }
  return sections;
}

std::string FoldCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace povupdate_cli
