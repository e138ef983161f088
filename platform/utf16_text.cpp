#include "platform/utf16_text.h"

namespace povupdate::backend {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kFirstLowSurrogate = 0xDC00;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;

// Reads characters out of UTF-16LE code units, never past their end.
class Utf16LeReader {
 public:
  explicit Utf16LeReader(std::string_view units) : units_(units) {}

  // The next character; false at the end.
  bool Next(char32_t& c) {
    if (!HasUnit()) return false;
    const char32_t unit = TakeUnit();
    c = unit;
    if (unit < kFirstSurrogate || unit > kLastSurrogate) return true;
    c = kReplacement;
    if (unit >= kFirstLowSurrogate || !HasUnit()) return true;
    const char32_t low = UnitAt(at_);
    if (low < kFirstLowSurrogate || low > kLastSurrogate) return true;
    at_ += 2;
    c = kFirstSupplementary + ((unit - kFirstSurrogate) << 10) + (low - kFirstLowSurrogate);
    return true;
  }

  // The offset of the next character.
  std::size_t position() const { return at_; }

 private:
  bool HasUnit() const { return units_.size() - at_ >= 2; }
  char32_t UnitAt(std::size_t at) const {
    return static_cast<unsigned char>(units_[at]) |
           static_cast<char32_t>(static_cast<unsigned char>(units_[at + 1])) << 8;
  }
  char32_t TakeUnit() {
    const char32_t unit = UnitAt(at_);
    at_ += 2;
    return unit;
  }

  std::string_view units_;
  std::size_t at_ = 0;
};

std::size_t Utf8Size(char32_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  return c < kFirstSupplementary ? 3 : 4;
}

void AppendUtf8(std::string& text, char32_t c) {
  const std::size_t size = Utf8Size(c);
  if (size == 1) {
    text.push_back(static_cast<char>(c));
    return;
  }
  // The lead byte has as many high bits set as the sequence has bytes.
  constexpr unsigned char kLeads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  text.push_back(static_cast<char>(kLeads[size] | (c >> (6 * (size - 1)))));
  for (std::size_t shift = 6 * (size - 1); shift > 0; shift -= 6) {
    text.push_back(static_cast<char>(0x80 | ((c >> (shift - 6)) & 0x3F)));
  }
}

void AppendUnit(std::string& units, char32_t unit) {
  units.push_back(static_cast<char>(unit & 0xFF));
  units.push_back(static_cast<char>(unit >> 8));
}

void AppendUtf16Le(std::string& units, char32_t c) {
  if (c < kFirstSupplementary) {
    AppendUnit(units, c);
    return;
  }
  c -= kFirstSupplementary;
  AppendUnit(units, kFirstSurrogate + (c >> 10));
  AppendUnit(units, kFirstLowSurrogate + (c & 0x3FF));
}

// The UTF-8 sequence a lead byte begins: how many continuation bytes follow
// and the range of the first of them, which excludes overlong forms,
// surrogates and characters past U+10FFFF. `continuations` 0 for a byte
// that begins none.
struct Utf8Lead {
  unsigned continuations;
  unsigned first_low;
  unsigned first_high;
  char32_t bits;
};

Utf8Lead LeadOf(unsigned char byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {1, 0x80, 0xBF, byte & 0x1Fu};
  if (byte >= 0xE0 && byte <= 0xEF) {
    return {2, byte == 0xE0 ? 0xA0u : 0x80u, byte == 0xED ? 0x9Fu : 0xBFu, byte & 0x0Fu};
  }
  if (byte >= 0xF0 && byte <= 0xF4) {
    return {3, byte == 0xF0 ? 0x90u : 0x80u, byte == 0xF4 ? 0x8Fu : 0xBFu, byte & 0x07u};
  }
  return {0, 0, 0, 0};
}

// The character at `at`, which moves past it; a maximal ill-formed part is
// one U+FFFD.
char32_t TakeUtf8(std::string_view text, std::size_t& at) {
  const auto byte = static_cast<unsigned char>(text[at++]);
  if (byte < 0x80) return byte;
  const Utf8Lead lead = LeadOf(byte);
  if (lead.continuations == 0) return kReplacement;
  char32_t c = lead.bits;
  unsigned low = lead.first_low;
  unsigned high = lead.first_high;
  for (unsigned i = 0; i < lead.continuations; ++i) {
    if (at == text.size()) return kReplacement;
    const auto next = static_cast<unsigned char>(text[at]);
    if (next < low || next > high) return kReplacement;
    c = (c << 6) | (next & 0x3Fu);
    ++at;
    low = 0x80;
    high = 0xBF;
  }
  return c;
}

}  // namespace

bool StartsWithUtf16LeBom(std::string_view bytes) {
  return bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom;
}

std::string Utf8FromUtf16Le(std::string_view units) {
  std::string text;
  // Exact for ASCII text, the usual content.
  text.reserve(units.size() / 2);
  Utf16LeReader reader(units);
  for (char32_t c = 0; reader.Next(c);) AppendUtf8(text, c);
  return text;
}

std::size_t Utf16LeOffsetOf(std::string_view units, std::size_t utf8_offset) {
  Utf16LeReader reader(units);
  std::size_t text_offset = 0;
  for (char32_t c = 0; text_offset < utf8_offset && reader.Next(c);) text_offset += Utf8Size(c);
  return reader.position();
}

std::string Utf16LeFromUtf8(std::string_view text) {
  std::string units;
  units.reserve(text.size() * 2);
  for (std::size_t at = 0; at < text.size();) AppendUtf16Le(units, TakeUtf8(text, at));
  return units;
}

bool IsUtf8(std::string_view text) {
  constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t begin = at;
    if (TakeUtf8(text, at) == kReplacement && text.substr(begin, at - begin) != kReplacementUtf8) {
      return false;
    }
  }
  return true;
}

}  // namespace povupdate::backend
