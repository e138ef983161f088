// UTF-16LE profile files for the A functions, whose ANSI code page is UTF-8
// here: the text read out of such a file, and text put back into it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace povupdate::backend {

// The byte-order mark that makes a profile file UTF-16LE.
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

bool StartsWithUtf16LeBom(std::string_view bytes);

// The UTF-8 form of UTF-16LE code units (no byte-order mark). A surrogate
// without its partner becomes U+FFFD, as Windows converts it to UTF-8; a
// last odd byte, half a code unit, is no character and is left out.
std::string Utf8FromUtf16Le(std::string_view units);

// Where in `units` the character lies whose UTF-8 form begins at
// `utf8_offset` of Utf8FromUtf16Le(units); an offset inside a character
// gives the next one, and the end of the text the end of the last whole
// code unit.
std::size_t Utf16LeOffsetOf(std::string_view units, std::size_t utf8_offset);

// UTF-8 text as UTF-16LE code units. Each maximal ill-formed part of the
// text (a stray byte, a cut sequence, an overlong or surrogate form) becomes
// one U+FFFD, as Unicode recommends.
std::string Utf16LeFromUtf8(std::string_view text);

// Whether `text` is well-formed UTF-8, which Utf16LeFromUtf8 converts
// without a U+FFFD of its own.
bool IsUtf8(std::string_view text);

}  // namespace povupdate::backend
