// Bounded handling of the library's NUL-terminated 8-bit texts. Every copy
// into a fixed buffer goes through here, so none can pass its buffer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace povupdate {

// Copies `source` into `destination` of `size` bytes. When it doesn't fit,
// `destination` becomes the empty text and the result is false: a text is
// never cut short silently.
bool CopyText(char* destination, std::size_t size, const char* source) noexcept;

// Appends `source` to the text in `destination` of `size` bytes; when the
// whole doesn't fit, the text in `destination` is left as it was (bytes past
// its end may have been written) and the result is false.
bool AppendText(char* destination, std::size_t size, const char* source) noexcept;

// A new block from the general allocator holding a copy of `text`, or null
// when none can be had.
char* DuplicateText(const char* text) noexcept;

// The lower-case letter for an ASCII capital, any other byte as it is. Names
// of profile sections and keys, registry keys and values, and the install
// directory all match without regard to ASCII case, through these.
constexpr char FoldAsciiCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with each ASCII capital in lower case: the form a name is filed
// under. May throw std::bad_alloc.
inline std::string FoldAsciiCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = FoldAsciiCase(c);
  return folded;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

// True when the text holds a carriage return or a line feed.
constexpr bool HasLineBreak(std::string_view text) noexcept {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace povupdate
