#include "publish/signing.h"

#include <ctime>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "platform/signed_file.h"
#include "platform/text.h"
#include "publish/profile_edit.h"
#include "publish/signing_keys.h"
#include "shared/file_access.h"
#include "shared/host_platform.h"
#include "shared/output.h"

namespace povupdate_cli {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDefaultDays = 90;
constexpr std::int64_t kMostDays = 36500;
constexpr std::int64_t kWarningDays = 7;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

int Fail(const std::string& message) { return ReportError(1, message); }

// The file's own line break, so the section added reads like the rest.
std::string LineBreakOf(std::string_view bytes) {
  const std::size_t found = bytes.find_first_of("\r\n");
  if (found == std::string_view::npos) return "\r\n";
  if (bytes[found] == '\n') return "\n";
  return found + 1 < bytes.size() && bytes[found + 1] == '\n' ? "\r\n" : "\r";
}

// The file without its signature sections, wherever an edit left them
// (a section added after signing comes after the old one), and the largest
// serial they held.
std::string WithoutSignature(std::string_view bytes, std::int64_t& serial) {
  const std::string header = "[" + std::string(povupdate::kSignatureSection) + "]";
  std::string kept;
  bool inside = false;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = bytes.size();
    std::size_t next = end;
    if (next < bytes.size() && bytes[next] == '\r') ++next;
    if (next < bytes.size() && bytes[next] == '\n' && (next == end || bytes[end] == '\r')) ++next;
    const std::string_view line = bytes.substr(at, end - at);
    if (!line.empty() && line[0] == '[') inside = line == header;
    std::int64_t found = 0;
    if (!inside) {
      kept.append(bytes.substr(at, next - at));
    } else if (line.substr(0, 7) == "Serial=" && povupdate::ParseSerial(line.substr(7), found) &&
               found > serial) {
      serial = found;
    }
    at = next;
  }
  return kept;
}

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

bool SignBytes(std::string_view bytes, const std::string& file_name, std::int64_t serial,
               std::int64_t expires, std::int64_t now, const Signer& signer,
               std::string& signed_bytes, std::string& problem) {
  if (bytes.substr(0, 2) == "\xFF\xFE") {
    problem = "is UTF-16LE text, which can't be signed; save it as 8-bit text";
    return false;
  }
  std::int64_t old_serial = 0;
  const std::string body = WithoutSignature(bytes, old_serial);
  if (serial == 0) serial = old_serial < now ? now : old_serial + 1;
  if (serial < 1) {
    problem = "would need a serial past 2^63-1";
    return false;
  }
  const std::string line_break = LineBreakOf(bytes);
  std::string text = body;
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += line_break;
  text.append("[").append(povupdate::kSignatureSection).append("]").append(line_break);
  text.append("File=").append(file_name).append(line_break);
  text.append("Serial=").append(std::to_string(serial)).append(line_break);
  text.append("Expires=").append(povupdate::FormatUtcTime(expires)).append(line_break);
  std::string der;
  if (!signer(text, der, problem)) return false;
  text.append("Signature=").append(povupdate::EncodeBase64(der)).append(line_break);
  signed_bytes = std::move(text);
  return true;
}

bool ParseExpiry(const std::string& when, std::int64_t now, std::int64_t& expires,
                 std::string& problem) {
  if (when.empty()) {
    expires = now + kDefaultDays * kSecondsPerDay;
    return true;
  }
  if (when.find_first_not_of("0123456789") == std::string::npos && when.size() <= 5) {
    const std::int64_t days = std::stoll(when);
    if (days < 1 || days > kMostDays) {
      problem = "--expires takes 1 to " + std::to_string(kMostDays) + " days";
      return false;
    }
    expires = now + days * kSecondsPerDay;
    return true;
  }
  if (!povupdate::ParseUtcTime(when, expires)) {
    problem = "--expires takes a number of days or a UTC time YYYY-MM-DDThh:mm:ssZ";
    return false;
  }
  if (expires <= now) {
    problem = "--expires " + when + " lies in the past";
    return false;
  }
  return true;
}

std::vector<std::pair<const char*, Finding>> SignatureFindings(std::string_view bytes,
                                                               const std::string& path,
                                                               const std::string& key) {
  using povupdate::SignatureSection;
  std::vector<std::pair<const char*, Finding>> findings;
  const auto add = [&findings](const char* kind, Severity severity, std::string message) {
    findings.emplace_back(kind, Finding{0, severity, std::move(message)});
  };
  const SignatureSection section = povupdate::ReadSignatureSection(bytes);
  if (section.status == SignatureSection::Status::kDamaged) {
    add("bad-signature-section", Severity::kError,
        "the signature section can't be read: sign the file again");
    return findings;
  }
  if (!key.empty()) {
    std::string keys;
    std::string problem;
    if (!ReadRegularFile(key, keys, problem)) {
      add("unreadable-key-file", Severity::kError, "the key file " + key + " " + problem);
      return findings;
    }
    const povupdate::TrustVerdict verdict =
        povupdate::JudgeUpdateFile(bytes, FileNameOf(path), keys, Now());
    if (verdict.trust == povupdate::Trust::kBadSignature) {
      add("signature-mismatch", Severity::kError,
          "the signature no longer matches the file (it was changed after signing): sign it "
          "again");
    } else if (verdict.trust == povupdate::Trust::kNoSignature ||
               verdict.trust == povupdate::Trust::kDamagedKeys ||
               verdict.trust == povupdate::Trust::kNoCryptography) {
      add("unsigned", Severity::kError, "the file " + povupdate::DescribeTrust(verdict));
    }
  }
  if (section.status != SignatureSection::Status::kRead) return findings;
  if (!povupdate::EqualsIgnoringAsciiCase(section.file, FileNameOf(path))) {
    add("signature-other-file", Severity::kError,
        "the signature is for " + section.file + ", not for this file: hosts refuse it");
  }
  const std::int64_t now = Now();
  if (section.expires <= now) {
    add("signature-expired", Severity::kError,
        "the signature expired on " + povupdate::FormatUtcTime(section.expires) +
            ": hosts refuse the file; sign it again");
  } else if (section.expires - now < kWarningDays * kSecondsPerDay) {
    add("signature-expires-soon", Severity::kWarning,
        "the signature expires on " + povupdate::FormatUtcTime(section.expires) +
            ": sign the file again before then");
  }
  return findings;
}

int MakeKeyPair(const std::string& private_key, const std::string& public_key, bool json) {
  std::error_code error;
  for (const std::string& path : {private_key, public_key}) {
    if (std::filesystem::symlink_status(path, error).type() !=
        std::filesystem::file_type::not_found) {
      return Fail(path + " exists; no key was made");
    }
  }
  // Both texts first, so that a key the system can't write leaves no file.
  PrivateKey key;
  std::string private_text;
  std::string public_text;
  std::string problem;
  if (!key.Generate(problem) || !key.Write(private_text, public_text, problem) ||
      !WriteNewFile(private_key, private_text, true, problem)) {
    return Fail("key new: " + problem);
  }
  if (!WriteNewFile(public_key, public_text, false, problem)) {
    std::filesystem::remove(private_key, error);
    return Fail("key new: " + problem);
  }
  if (json) {
    PrintForTools({{"PrivateKey", private_key}, {"PublicKey", public_key}}, json);
  } else {
    std::cout << "private key (keep it secret): " << private_key << "\npublic key (ship it as "
              << povupdate::kTrustedKeysFile << "): " << public_key << '\n';
  }
  return 0;
}

int SignUpdateFile(const std::string& file, const std::string& private_key, const std::string& when,
                   std::int64_t serial, bool json) {
  const std::int64_t now = Now();
  std::int64_t expires = 0;
  std::string problem;
  if (!ParseExpiry(when, now, expires, problem)) return Fail(problem);
  PrivateKey key;
  std::string text;
  if (!ReadRegularFile(private_key, text, problem) || !key.Read(text, problem)) {
    return Fail(private_key + " " + problem);
  }
  const Signer signer = [&key](std::string_view message, std::string& der, std::string& why) {
    return key.Sign(message, der, why);
  };
  const std::string name = FileNameOf(file);
  povupdate::SignatureSection made;
  // One edit, as every publisher's edit is: under the lock, from the bytes
  // as they are then, replaced in one step.
  const FileChange change = [&](const povupdate::backend::IniDocument& document,
                                std::string& edited, std::string& why) {
    if (document.bytes().empty()) {
      why = "is empty or missing: there is nothing to sign";
      return false;
    }
    if (!SignBytes(document.bytes(), name, serial, expires, now, signer, edited, why)) return false;
    made = povupdate::ReadSignatureSection(edited);
    return true;
  };
  // The one JSON value is the signature's, not the edit's list of files.
  const int status = EditFiles({std::filesystem::absolute(file).string()}, change, "signed", false);
  if (status == 0) {
    const std::string serial_text = std::to_string(made.serial);
    const std::string expires_text = povupdate::FormatUtcTime(made.expires);
    PrintResult(file + ": serial " + serial_text + ", expires " + expires_text,
                {{"File", file}, {"Serial", serial_text}, {"Expires", expires_text}}, json);
  }
  return status;
}

int VerifyUpdateFile(const std::string& file, const std::string& key, bool json) {
  const std::string key_path = key.empty() ? HostDirectory() + povupdate::kTrustedKeysFile : key;
  TrustReport report;
  report.file = file;
  std::string bytes;
  std::string keys;
  std::string problem;
  if (!ReadRegularFile(key_path, keys, problem)) {
    report.reason = "can't be checked: the key file " + key_path + " " + problem;
  } else if (!ReadRegularFile(file, bytes, problem)) {
    report.reason = problem;
  } else {
    const povupdate::TrustVerdict verdict =
        povupdate::JudgeUpdateFile(bytes, FileNameOf(file), keys, Now());
    report.trusted = verdict.trust == povupdate::Trust::kTrusted;
    report.reason = povupdate::DescribeTrust(verdict);
    if (verdict.section.status == povupdate::SignatureSection::Status::kRead) {
      report.serial = std::to_string(verdict.section.serial);
      report.expires = povupdate::FormatUtcTime(verdict.section.expires);
    }
  }
  PrintTrust(report, json);
  return report.trusted ? 0 : 1;
}

}  // namespace povupdate_cli
