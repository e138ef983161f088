// The keys of a key file such as PovUpdate.pub: one or more PEM blocks
// "PUBLIC KEY", each an ECDSA P-256 key. A signature by any of them is
// accepted, which is how a publisher rotates keys.
#pragma once

#include <string_view>
#include <vector>

#include "platform/signed_file.h"
#include "platform/system_crypto.h"

namespace povupdate {

class PublicKeys {
 public:
  enum class Status { kRead, kDamaged, kNoCryptography };

  PublicKeys() = default;
  ~PublicKeys();
  PublicKeys(const PublicKeys&) = delete;
  PublicKeys& operator=(const PublicKeys&) = delete;

  // Reads every key of `text`. kDamaged when it holds no block, a block of
  // any other kind or key, or anything but blanks outside the blocks.
  Status Read(std::string_view text);

  // Whether the section's signature over `message` verifies under a key.
  bool Verify(std::string_view message, const SignatureSection& section) const;

 private:
  std::vector<backend::PublicKey*> keys_;
};

}  // namespace povupdate
