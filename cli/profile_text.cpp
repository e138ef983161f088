#include "profile_text.h"

#include <string_view>
#include <utility>

#include "platform/profile_syntax.h"
#include "platform/text.h"

namespace povupdate_cli {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

class Parser {
 public:
  explicit Parser(std::vector<Finding>& findings) : findings_(findings) {}

  std::vector<ProfileSection> Parse(std::string_view text) {
    int number = 1;
    for (std::size_t begin = 0; begin < text.size(); ++number) {
      const std::size_t line_break = povupdate::LineBreakFrom(text, begin);
      ParseLine(number, povupdate::ParseProfileLine(text.substr(begin, line_break - begin)));
      begin = povupdate::NextLineAt(text, line_break);
    }
    return std::move(sections_);
  }

 private:
  void ParseLine(int number, const povupdate::ProfileLine& line) {
    using povupdate::ProfileLineKind;
    switch (line.kind) {
      case ProfileLineKind::kBlank:
      case ProfileLineKind::kComment:
        return;
      case ProfileLineKind::kSection:
        ParseHeader(number, line);
        return;
      default:
        break;
    }
    if (sections_.empty()) {
      Warn(number, "ignored: it comes before the first section");
    } else if (line.kind == ProfileLineKind::kOther) {
      Warn(number, line.text.front() == '#'
                       ? "ignored: only ';' starts a comment, and the line has no '='"
                       : "ignored: not a section header, a key=value line or a ';' comment");
    } else {
      sections_.back().keys.push_back({std::string(line.name), std::string(line.value), number});
    }
  }

  // Without a ']', Windows takes the rest of the line as the name while Wine
  // doesn't see a section at all.
  void ParseHeader(int number, const povupdate::ProfileLine& line) {
    if (!line.closed) {
      Warn(number,
           "section header without ']': Windows reads the rest of the line as the section name, "
           "Wine does not read it as a section");
    } else if (!povupdate::TrimBlanks(line.after_close, povupdate::kValueBlanks).empty()) {
      Warn(number, "the text after the section header's ']' is ignored");
    }
    sections_.push_back({std::string(line.name), number, {}});
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
  for (char& c : text) c = povupdate::FoldAsciiCase(c);
  return text;
}

}  // namespace povupdate_cli
