#include "check/profile_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>

#include "platform/profile_syntax.h"
#include "platform/text.h"
#include "platform/utf16_text.h"

namespace povupdate_cli {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Bracketed(std::string_view name) { return "[" + std::string(name) + "]"; }

std::string_view LineName(std::string_view text, LineAt line) {
  return ProfileLineAt(text, line).name;
}

// Lines are at least a line break each, so that a text has no more lines
// than line break characters, and one more.
std::size_t MostLines(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(),
                                                [](char c) { return c == '\n' || c == '\r'; })) +
         1;
}

class Parser {
 public:
  Parser(std::string_view text, ProfileVisitor& visitor, Findings& findings)
      : text_(text),
        visitor_(visitor),
        findings_(findings),
        sections_(text, &LineName, MostLines(text)),
        keys_(text, &LineName, MostLines(text)) {}

  FirstLines Parse(std::size_t begin) {
    for (int number = 1; begin < text_.size(); ++number) {
      const LineAt at{static_cast<std::uint32_t>(begin), number};
      ParseLine(at, ProfileLineAt(text_, at));
      begin = povupdate::NextLineAt(text_, povupdate::LineBreakFrom(text_, begin));
    }
    EndSection();
    return std::move(sections_);
  }

  int first_header_line() const { return first_header_line_; }
  std::string_view first_header_name() const { return first_header_name_; }

 private:
  void ParseLine(LineAt at, const povupdate::ProfileLine& line) {
    const int number = at.number;
    using povupdate::ProfileLineKind;
    switch (line.kind) {
      case ProfileLineKind::kBlank:
      case ProfileLineKind::kComment:
        return;
      case ProfileLineKind::kSection:
        ParseHeader(at, line);
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
      ParseKey(at, line);
    }
  }

  // Without a ']', Windows takes the rest of the line as the name while Wine
  // doesn't see a section at all.
  void ParseHeader(LineAt at, const povupdate::ProfileLine& line) {
    const int number = at.number;
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
    EndSection();
    const LineAt first = sections_.Add(at);
    in_first_section_ = first.number == number;
    if (in_first_section_) {
      visitor_.Section(line.name, number);
    } else {
      Warn("repeated-section", number,
           "section " + Bracketed(line.name) + " repeats the one on line " +
               std::to_string(first.number) + "; only the first is read");
    }
  }

  void ParseKey(LineAt at, const povupdate::ProfileLine& line) {
    const LineAt first = keys_.Add(at);
    if (first.number == at.number) {
      visitor_.Key(line.name, line.value, at.number);
    } else {
      Warn("repeated-key", at.number,
           "key '" + std::string(line.name) + "' repeats the one on line " +
               std::to_string(first.number) + "; only the first is read");
    }
  }

  void EndSection() {
    if (in_first_section_) visitor_.SectionEnd(keys_);
    keys_.Clear();
  }

  void Warn(const char* kind, int line, std::string message) {
    findings_.Add(kind, line, Severity::kWarning, std::move(message));
  }

  std::string_view text_;
  ProfileVisitor& visitor_;
  Findings& findings_;
  FirstLines sections_;
  // The keys of the section being read, while it is the first of its name.
  FirstLines keys_;
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

povupdate::ProfileLine ProfileLineAt(std::string_view text, LineAt line) {
  return povupdate::ParseProfileLine(
      text.substr(line.offset, povupdate::LineBreakFrom(text, line.offset) - line.offset));
}

FirstLines ReadProfileText(std::string_view text, ProfileVisitor& visitor, Findings& findings) {
  // Offsets are 32-bit: as in the library's reads, only the first 4 GiB count.
  text = text.substr(0, std::numeric_limits<std::uint32_t>::max());
  const bool has_bom = text.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  // The rest of the file is checked as it will be once the mark is gone.
  Parser parser(text, visitor, findings);
  FirstLines sections = parser.Parse(has_bom ? kUtf8Bom.size() : 0);
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
