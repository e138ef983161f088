// The signature an update file carries as its last section:
//
//   [PovUpdate.Signature]
//   File=Update_6.1.ini
//   Serial=1760000000
//   Expires=2027-03-09T12:00:00Z
//   Signature=<base64 of the DER ECDSA P-256 signature>
//
// The signature covers every byte of the file before its "Signature=" line,
// the section's other lines included, so one file carries everything and one
// rename puts it in place. Reading and making that section is plain text
// work; the cryptography is the system's (system_crypto.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "interface/facts.h"

namespace povupdate {

constexpr std::int64_t kMostSerial = INT64_MAX;
constexpr std::size_t kCoordinateSize = 32;  // of r and of s, big-endian

// A file's signature section as read; `status` says whether it could be.
struct SignatureSection {
  enum class Status { kAbsent, kDamaged, kRead };
  Status status = Status::kAbsent;
  std::size_t signed_size = 0;  // the bytes the signature covers
  std::size_t header_at = 0;    // where the section's header line starts
  std::string file;
  std::int64_t serial = 0;
  std::int64_t expires = 0;                     // seconds since 1970-01-01T00:00:00Z
  std::string der;                              // the signature as it is encoded
  unsigned char r_s[2 * kCoordinateSize] = {};  // r then s
};

// Reads the signature section at the end of `bytes`. kAbsent when the last
// line is no "Signature=" line; kDamaged when it is but the section is not
// exactly as above (a strict DER signature of two 256-bit integers
// included).
SignatureSection ReadSignatureSection(std::string_view bytes);

// A serial: 1 to 2^63-1 in decimal, without a sign or leading zeros.
bool ParseSerial(std::string_view text, std::int64_t& serial);

// "YYYY-MM-DDThh:mm:ssZ" to seconds since the epoch and back; false for a
// text of any other form or a date that doesn't exist.
bool ParseUtcTime(std::string_view text, std::int64_t& seconds);
std::string FormatUtcTime(std::int64_t seconds);

// Base64 (RFC 4648, padded, no line breaks). Decoding refuses any other
// character, a missing pad and nonzero bits left over.
std::string EncodeBase64(std::string_view bytes);
bool DecodeBase64(std::string_view text, std::string& bytes);

// Why a file is not to be believed, or kTrusted.
enum class Trust {
  kTrusted,
  kNoSignature,
  kDamagedSignature,
  kBadSignature,  // it doesn't verify under any of the keys
  kOtherFile,     // File names another file
  kExpired,
  kDamagedKeys,     // the key file is empty, damaged or unreadable
  kNoCryptography,  // the system's cryptography can't be had
};

struct TrustVerdict {
  Trust trust = Trust::kNoSignature;
  SignatureSection section;
};

// Whether `bytes`, the update file named `file_name`, is to be believed at
// the time `now` under the keys of the PEM text `key_text`: signed by one of
// them, for this file, and not expired.
TrustVerdict JudgeUpdateFile(std::string_view bytes, std::string_view file_name,
                             std::string_view key_text, std::int64_t now);

// The same, the signature already checked: whether the section found names
// this file and has not expired.
Trust JudgeSection(const SignatureSection& section, std::string_view file_name, std::int64_t now);

// What a host or publisher is told of a verdict.
std::string DescribeTrust(const TrustVerdict& verdict);

}  // namespace povupdate
