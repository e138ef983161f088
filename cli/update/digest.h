// SHA-256 and MD5 from the system's cryptography (OpenSSL's libcrypto on
// Linux, bcrypt on Windows), fed as a download streams past.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace povupdate_cli {

enum class DigestKind { kSha256, kMd5 };

class Digest {
 public:
  explicit Digest(DigestKind kind);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  void Update(const char* data, std::size_t size);
  // Lower-case hexadecimal digits; "" when the system's cryptography failed.
  std::string Finish();
  // The digest itself; "" when the system's cryptography failed.
  std::string FinishBytes();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace povupdate_cli
