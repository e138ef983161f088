// A publisher's key by the system's cryptography: OpenSSL's libcrypto on
// Linux; on Windows CNG (bcrypt) for the key and its signatures and crypt32
// for their formats. The formats are the same on both: the private key PEM
// PKCS#8 ("PRIVATE KEY"), the public key PEM SubjectPublicKeyInfo ("PUBLIC
// KEY"), a signature strict DER.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace povupdate_cli {

// An ECDSA P-256 private key. Each call that fails says why in `problem`.
class PrivateKey {
 public:
  PrivateKey();
  ~PrivateKey();
  PrivateKey(const PrivateKey&) = delete;
  PrivateKey& operator=(const PrivateKey&) = delete;

  // A new key.
  bool Generate(std::string& problem);
  // The key of an unencrypted PEM PKCS#8 text.
  bool Read(const std::string& pem, std::string& problem);
  // The key's two files' texts.
  bool Write(std::string& private_pem, std::string& public_pem, std::string& problem) const;
  // The DER signature of `message` (its SHA-256).
  bool Sign(std::string_view message, std::string& der, std::string& problem) const;

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

// A new file with `text`, never one in the place of an existing file (or
// link); when `secret`, readable by its owner only (0600 on Linux; on
// Windows an access list that grants this user alone). Nothing is left
// behind when it can't be written whole.
bool WriteNewFile(const std::string& path, const std::string& text, bool secret,
                  std::string& problem);

}  // namespace povupdate_cli
