#include "platform/profile_syntax.h"

namespace povupdate {
namespace {

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view value) {
  if (value.size() < 2 || value.front() != value.back()) return value;
  if (value.front() != '"' && value.front() != '\'') return value;
  return value.substr(1, value.size() - 2);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  // Still a view into the text, even when nothing is left of it.
  if (first == std::string_view::npos) return text.substr(0, 0);
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::size_t LineBreakFrom(std::string_view text, std::size_t begin) {
  std::size_t at = begin;
  while (at < text.size() && text[at] != '\r' && text[at] != '\n') ++at;
  return at;
}

std::size_t NextLineAt(std::string_view text, std::size_t line_break) {
  if (line_break == text.size()) return line_break;
  const bool crlf =
      text[line_break] == '\r' && line_break + 1 < text.size() && text[line_break + 1] == '\n';
  return line_break + (crlf ? 2 : 1);
}

ProfileLine ParseProfileLine(std::string_view line) {
  ProfileLine parsed;
  // A NUL ends the line's text, as it does for Wine; what Windows does with
  // one is not known.
  line = line.substr(0, line.find('\0'));
  const std::size_t first = line.find_first_not_of(kNameBlanks);
  if (first == std::string_view::npos) return parsed;
  parsed.text = line.substr(first);
  switch (parsed.text.front()) {
    case '[': {
      const std::string_view rest = parsed.text.substr(1);
      const std::size_t close = rest.find(']');
      parsed.kind = ProfileLineKind::kSection;
      parsed.name = TrimBlanks(rest.substr(0, close), kNameBlanks);
      parsed.closed = close != std::string_view::npos;
      if (parsed.closed) parsed.after_close = rest.substr(close + 1);
      break;
    }
    case ';':
      parsed.kind = ProfileLineKind::kComment;
      break;
    default: {
      const std::size_t equals = parsed.text.find('=');
      if (equals == std::string_view::npos) {
        parsed.kind = ProfileLineKind::kOther;
        break;
      }
      parsed.kind = ProfileLineKind::kKey;
      parsed.name = TrimBlanks(parsed.text.substr(0, equals), kNameBlanks);
      parsed.after_equals = parsed.text.substr(equals + 1);
      parsed.value = Unquote(TrimBlanks(parsed.after_equals, kValueBlanks));
    }
  }
  return parsed;
}

bool IsStorableSectionName(std::string_view name) {
  const std::string_view stored = TrimBlanks(name, kArgumentBlanks);
  // A line break would end the header and a ']' its name; blanks a read
  // drops around a header's name must not be part of it.
  return stored.find_first_of("\r\n]") == std::string_view::npos &&
         TrimBlanks(stored, kNameBlanks).size() == stored.size();
}

}  // namespace povupdate
