#include "platform/signed_file.h"

#include <cstdio>

#include "platform/public_keys.h"
#include "platform/text.h"

namespace povupdate {
namespace {

constexpr std::string_view kSignatureKey = "Signature=";
constexpr std::string_view kFileKey = "File=";
constexpr std::string_view kSerialKey = "Serial=";
constexpr std::string_view kExpiresKey = "Expires=";
constexpr std::size_t kUtcTimeSize = 20;  // YYYY-MM-DDThh:mm:ssZ
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// Where the line whose text ends at `end` starts: after the line break
// before it, or at the start of the file.
std::size_t LineStart(std::string_view bytes, std::size_t end) {
  if (end == 0) return 0;
  const std::size_t found = bytes.find_last_of("\r\n", end - 1);
  return found == std::string_view::npos ? 0 : found + 1;
}

// Where the text of the line before the one at `begin` (> 0) ends: before
// its line break, CR LF, LF or CR.
std::size_t PreviousLineEnd(std::string_view bytes, std::size_t begin) {
  std::size_t end = begin - 1;
  if (bytes[end] == '\n' && end > 0 && bytes[end - 1] == '\r') --end;
  return end;
}

bool ParseDigits(std::string_view text, std::int64_t& value) {
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return !text.empty();
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = year / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, std::int64_t month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One INTEGER of a strict DER encoding: positive, minimal, at most 256 bits;
// its value goes right-aligned into `out`.
bool ReadDerInteger(std::string_view der, std::size_t& at, unsigned char* out) {
  if (at + 2 > der.size() || der[at] != 0x02) return false;
  const std::size_t length = static_cast<unsigned char>(der[at + 1]);
  at += 2;
  if (length == 0 || length > kCoordinateSize + 1 || at + length > der.size()) return false;
  const auto* value = reinterpret_cast<const unsigned char*>(der.data() + at);
  if ((value[0] & 0x80) != 0) return false;  // negative
  std::size_t skip = 0;
  if (value[0] == 0) {
    // A leading zero only where the next byte would read as negative.
    if (length == 1 || (value[1] & 0x80) == 0) return false;
    skip = 1;
  }
  if (length - skip > kCoordinateSize) return false;
  for (std::size_t i = skip; i < length; ++i) out[kCoordinateSize - (length - i)] = value[i];
  at += length;
  return true;
}

// SEQUENCE { INTEGER r, INTEGER s }, strictly encoded: exactly one encoding
// of a signature is accepted, on every platform.
bool ReadDerSignature(std::string_view der, unsigned char* r_s) {
  if (der.size() < 2 || der[0] != 0x30) return false;
  const std::size_t length = static_cast<unsigned char>(der[1]);
  if (length >= 0x80 || length + 2 != der.size()) return false;
  std::size_t at = 2;
  return ReadDerInteger(der, at, r_s) && ReadDerInteger(der, at, r_s + kCoordinateSize) &&
         at == der.size();
}

}  // namespace

bool ParseSerial(std::string_view text, std::int64_t& serial) {
  constexpr std::string_view kMost = "9223372036854775807";
  if (text.empty() || text[0] == '0' || text.size() > kMost.size()) return false;
  if (text.size() == kMost.size() && text > kMost) return false;
  return ParseDigits(text, serial);
}

SignatureSection ReadSignatureSection(std::string_view bytes) {
  SignatureSection section;
  std::size_t end = bytes.size();
  if (end > 0 && bytes[end - 1] == '\n') --end;
  if (end > 0 && bytes[end - 1] == '\r') --end;
  const std::size_t signature_at = LineStart(bytes, end);
  const std::string_view signature = bytes.substr(signature_at, end - signature_at);
  if (!StartsWith(signature, kSignatureKey)) return section;
  section.status = SignatureSection::Status::kDamaged;
  section.signed_size = signature_at;

  // The header and the three fields, read backwards from the signature.
  std::string_view lines[4];
  std::size_t at = signature_at;
  for (int i = 3; i >= 0; --i) {
    if (at == 0) return section;
    const std::size_t line_end = PreviousLineEnd(bytes, at);
    at = LineStart(bytes, line_end);
    lines[i] = bytes.substr(at, line_end - at);
  }
  section.header_at = at;
  const std::string_view header = lines[0];
  if (header.size() != kSignatureSection.size() + 2 || header.front() != '[' ||
      header.back() != ']' || header.substr(1, kSignatureSection.size()) != kSignatureSection) {
    return section;
  }
  if (!StartsWith(lines[1], kFileKey) || lines[1].size() == kFileKey.size() ||
      !StartsWith(lines[2], kSerialKey) ||
      !ParseSerial(lines[2].substr(kSerialKey.size()), section.serial) ||
      !StartsWith(lines[3], kExpiresKey) ||
      !ParseUtcTime(lines[3].substr(kExpiresKey.size()), section.expires) ||
      !DecodeBase64(signature.substr(kSignatureKey.size()), section.der) ||
      !ReadDerSignature(section.der, section.r_s)) {
    return section;
  }
  section.file = std::string(lines[1].substr(kFileKey.size()));
  section.status = SignatureSection::Status::kRead;
  return section;
}

bool ParseUtcTime(std::string_view text, std::int64_t& seconds) {
  if (text.size() != kUtcTimeSize || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
      text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
    return false;
  }
  std::int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ParseDigits(text.substr(0, 4), year) || !ParseDigits(text.substr(5, 2), month) ||
      !ParseDigits(text.substr(8, 2), day) || !ParseDigits(text.substr(11, 2), hour) ||
      !ParseDigits(text.substr(14, 2), minute) || !ParseDigits(text.substr(17, 2), second)) {
    return false;
  }
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  seconds = DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  return true;
}

std::string FormatUtcTime(std::int64_t seconds) {
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  // The civil date of a day count, the inverse of DaysFromCivil.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const std::int64_t month = shifted_month + (shifted_month < 10 ? 3 : -9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[64] = {};
  static_cast<void>(std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                                  static_cast<long long>(year), static_cast<long long>(month),
                                  static_cast<long long>(day), static_cast<long long>(rest / 3600),
                                  static_cast<long long>(rest / 60 % 60),
                                  static_cast<long long>(rest % 60)));
  return text;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    for (std::size_t j = 0; j < 4; ++j) {
      text += j <= count ? kBase64Digits[group >> (18 - 6 * j) & 0x3F] : '=';
    }
  }
  return text;
}

bool DecodeBase64(std::string_view text, std::string& bytes) {
  bytes.clear();
  if (text.empty() || text.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::size_t pads = 0;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        ++pads;
        group <<= 6;
        continue;
      }
      const int value = Base64Value(c);
      if (value < 0 || pads > 0) return false;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    // The bits a pad leaves over must be zero: one encoding per byte string.
    if ((pads == 1 && (group & 0xFF) != 0) || (pads == 2 && (group & 0xFFFF) != 0)) return false;
    for (std::size_t j = 0; j < 3 - pads; ++j)
      bytes += static_cast<char>(group >> (16 - 8 * j) & 0xFF);
  }
  return true;
}

Trust JudgeSection(const SignatureSection& section, std::string_view file_name, std::int64_t now) {
  if (!EqualsIgnoringAsciiCase(section.file, file_name)) return Trust::kOtherFile;
  if (section.expires <= now) return Trust::kExpired;
  return Trust::kTrusted;
}

TrustVerdict JudgeUpdateFile(std::string_view bytes, std::string_view file_name,
                             std::string_view key_text, std::int64_t now) {
  TrustVerdict verdict;
  PublicKeys keys;
  const PublicKeys::Status keys_read = keys.Read(key_text);
  if (keys_read != PublicKeys::Status::kRead) {
    verdict.trust =
        keys_read == PublicKeys::Status::kDamaged ? Trust::kDamagedKeys : Trust::kNoCryptography;
    return verdict;
  }
  verdict.section = ReadSignatureSection(bytes);
  if (verdict.section.status == SignatureSection::Status::kAbsent) {
    verdict.trust = Trust::kNoSignature;
  } else if (verdict.section.status == SignatureSection::Status::kDamaged) {
    verdict.trust = Trust::kDamagedSignature;
  } else if (!keys.Verify(bytes.substr(0, verdict.section.signed_size), verdict.section)) {
    verdict.trust = Trust::kBadSignature;
  } else {
    verdict.trust = JudgeSection(verdict.section, file_name, now);
  }
  return verdict;
}

std::string DescribeTrust(const TrustVerdict& verdict) {
  switch (verdict.trust) {
    case Trust::kTrusted:
      return "is signed by a key of the key file, for this file, until " +
             FormatUtcTime(verdict.section.expires);
    case Trust::kNoSignature:
      return "has no signature";
    case Trust::kDamagedSignature:
      return "has a signature section that can't be read";
    case Trust::kBadSignature:
      return "has a signature that does not verify under the key file's keys (changed after "
             "signing? sign it again)";
    case Trust::kOtherFile:
      return "carries the signature of another file, " + verdict.section.file;
    case Trust::kExpired:
      return "expired on " + FormatUtcTime(verdict.section.expires);
    case Trust::kDamagedKeys:
      return "can't be checked: the key file is damaged (it must hold one or more P-256 public "
             "keys, PEM \"PUBLIC KEY\")";
    case Trust::kNoCryptography:
      return "can't be checked: the system's cryptography can't be had";
  }
  return "can't be checked";
}

}  // namespace povupdate
