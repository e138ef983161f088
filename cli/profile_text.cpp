#include "profile_text.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "platform/utf16_text.h"

namespace povupdate_cli {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Bracketed(std::string_view name) { return "[" + std::string(name) + "]"; }

class Parser {
 public:
  Parser(ProfileVisitor& visitor, Findings& findings) : visitor_(visitor), findings_(findings) {}

  SectionLines Parse(std::string_view text) {
    int number = 1;
    for (std::size_t begin = 0; begin < text.size(); ++number) {
      const std::size_t line_break = povupdate::LineBreakFrom(text, begin);
      ParseLine(number, povupdate::ParseProfileLine(text.substr(begin, line_break - begin)));
      begin = povupdate::NextLineAt(text, line_break);
    }
    return std::move(sections_);
  }

  int first_header_line() const { return first_header_line_; }
  std::string_view first_header_name() const { return first_header_name_; }

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
    if (first_header_line_ == 0) {
      Warn("before-section", number, "ignored: it comes before the first section");
    } else if (line.kind == ProfileLineKind::kOther) {
      if (line.text.front() == '#') {
        Warn("hash-comment", number, "ignored: only ';' starts a comment, and the line has no '='");
      } else {
        Warn("other-line", number,
             "ignored: not a section header, a key=value line or a ';' comment");
      }
    } else if (in_first_section_) {
      ParseKey(number, line);
    }
  }

  // Without a ']', Windows takes the rest of the line as the name while Wine
  // doesn't see a section at all.
  void ParseHeader(int number, const povupdate::ProfileLine& line) {
    if (!line.closed) {
      Warn("unclosed-header", number,
           "section header without ']': Windows reads the rest of the line as the section name, "
           "Wine does not read it as a section");
    } else if (!povupdate::TrimBlanks(line.after_close, povupdate::kValueBlanks).empty()) {
      Warn("after-header", number, "the text after the section header's ']' is ignored");
    }
    if (first_header_line_ == 0) {
      first_header_line_ = number;
      first_header_name_ = line.name;
    }
    keys_.clear();
    const auto [first, inserted] = sections_.emplace(line.name, number);
    in_first_section_ = inserted;
    if (inserted) {
      visitor_.Section(line.name, number);
    } else {
      Warn("repeated-section", number,
           "section " + Bracketed(line.name) + " repeats the one on line " +
               std::to_string(first->second) + "; only the first is read");
    }
  }

  void ParseKey(int number, const povupdate::ProfileLine& line) {
    const auto [first, inserted] = keys_.emplace(line.name, number);
    if (inserted) {
      visitor_.Key(line.name, line.value, number);
    } else {
      Warn("repeated-key", number,
           "key '" + std::string(line.name) + "' repeats the one on line " +
               std::to_string(first->second) + "; only the first is read");
    }
  }

  void Warn(const char* kind, int line, std::string message) {
    findings_.Add(kind, line, Severity::kWarning, std::move(message));
  }

  ProfileVisitor& visitor_;
  Findings& findings_;
  SectionLines sections_;
  // The keys of the section being read, while it is the first of its name.
  std::map<std::string_view, int, FoldedLess> keys_;
  bool in_first_section_ = false;
  int first_header_line_ = 0;
  std::string_view first_header_name_;
};

}  // namespace

bool FoldedLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return povupdate::FoldAsciiCase(x) < povupdate::FoldAsciiCase(y);
  });
}

SectionLines ReadProfileText(std::string_view text, ProfileVisitor& visitor, Findings& findings) {
  const bool has_bom = text.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  // The rest of the file is checked as it will be once the mark is gone.
  Parser parser(visitor, findings);
  SectionLines sections = parser.Parse(has_bom ? text.substr(kUtf8Bom.size()) : text);
  if (has_bom) {
    if (parser.first_header_line() == 1) {
      findings.Add("bom", 1, Severity::kError,
                   "the file starts with a UTF-8 byte-order mark: Windows reads it as part of the "
                   "first line, so section " +
                       Bracketed(parser.first_header_name()) +
                       " and its keys are lost; save the file without it");
    } else {
      findings.Add("bom", 1, Severity::kWarning,
                   "the file starts with a UTF-8 byte-order mark, which Windows reads as text; "
                   "save the file without it");
    }
  }
  return sections;
}

std::string ProfileTextOf(std::string bytes) {
  using povupdate::backend::kUtf16LeBom;
  if (!povupdate::backend::StartsWithUtf16LeBom(bytes)) return bytes;
  return povupdate::backend::Utf8FromUtf16Le(std::string_view(bytes).substr(kUtf16LeBom.size()));
}

}  // namespace povupdate_cli
