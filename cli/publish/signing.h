// Publishers' keys and signatures, and a host's check of a signed update
// file (the format: platform/signed_file.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/findings.h"

namespace povupdate_cli {

// Signs `message` (ECDSA P-256, SHA-256) into a DER signature; false, with
// `problem`, when it can't.
using Signer =
    std::function<bool(std::string_view message, std::string& der, std::string& problem)>;

// The bytes of an update file signed anew: any signature section it had is
// removed and a new one appended, for `file_name`, with `serial` (0: the
// larger of the old serial plus one and `now`) and `expires`. Every other
// byte is kept. False, with `problem`, when the file can't be signed so.
bool SignBytes(std::string_view bytes, const std::string& file_name, std::int64_t serial,
               std::int64_t expires, std::int64_t now, const Signer& signer,
               std::string& signed_bytes, std::string& problem);

// When a signature made at `now` expires, from WHEN: a number of days or a
// UTC time (YYYY-MM-DDThh:mm:ssZ); "" is 90 days. False for a past time.
bool ParseExpiry(const std::string& when, std::int64_t now, std::int64_t& expires,
                 std::string& problem);

// What check reports of a file's signature section (at `path`): one that
// can't be read, names another file, has expired or expires within 7 days;
// with `key`, a public key file, also a signature that no longer matches or
// is missing. Each finding comes with its kind.
std::vector<std::pair<const char*, Finding>> SignatureFindings(std::string_view bytes,
                                                               const std::string& path,
                                                               const std::string& key);

// The commands; each returns the exit status after its messages.
int MakeKeyPair(const std::string& private_key, const std::string& public_key, bool json);
int SignUpdateFile(const std::string& file, const std::string& private_key, const std::string& when,
                   std::int64_t serial, bool json);
// An empty `key` stands for PovUpdate.pub in the host's directory.
int VerifyUpdateFile(const std::string& file, const std::string& key, bool json);

}  // namespace povupdate_cli
