// The system's cryptography, loaded only when a key file asks for it: on
// Linux OpenSSL's libcrypto.so.3 by dlopen(), on Windows bcrypt.dll and
// crypt32.dll from the system directory. Neither is a dependency of the
// library's file, so a host that signs nothing loads nothing more.
#pragma once

#include <string_view>

#include "platform/signed_file.h"

namespace povupdate::backend {

// An ECDSA P-256 public key held by the system's cryptography.
struct PublicKey;

// The key of one PEM block "PUBLIC KEY" (SubjectPublicKeyInfo), or null when
// it holds no P-256 key. Sets `available` to false when the system's
// cryptography can't be had at all.
PublicKey* ImportPublicKey(std::string_view pem_block, bool& available);
void FreePublicKey(PublicKey* key);

// Whether the signature of `section` over `message` (SHA-256) verifies
// under `key`.
bool VerifySignature(const PublicKey& key, std::string_view message,
                     const SignatureSection& section);

}  // namespace povupdate::backend
