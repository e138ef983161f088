#include "update/digest.h"

#ifdef _WIN32
#include "platform/win32.h"
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace povupdate_cli {
namespace {}  // namespace

std::string Digest::Finish() {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const char byte : FinishBytes()) {
    text += kDigits[static_cast<unsigned char>(byte) >> 4];
    text += kDigits[static_cast<unsigned char>(byte) & 0xF];
  }
  return text;
}

#ifdef _WIN32

struct Digest::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ULONG size = 0;
  bool ok = false;
};

Digest::Digest(DigestKind kind) : state_(std::make_unique<State>()) {
  const wchar_t* name =
      kind == DigestKind::kSha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM;
  state_->size = kind == DigestKind::kSha256 ? 32 : 16;
  state_->ok =
      BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->algorithm, name, nullptr, 0)) &&
      BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Digest::~Digest() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Digest::Update(const char* data, std::size_t size) {
  // In pieces a ULONG can count.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  for (std::size_t at = 0; state_->ok && at < size; at += kPiece) {
    const std::size_t piece = size - at < kPiece ? size - at : kPiece;
    state_->ok = BCRYPT_SUCCESS(
        BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data + at)),
                       static_cast<ULONG>(piece), 0));
  }
}

std::string Digest::FinishBytes() {
  std::string bytes(state_->size, '\0');
  if (!state_->ok || !BCRYPT_SUCCESS(BCryptFinishHash(
                         state_->hash, reinterpret_cast<PUCHAR>(bytes.data()), state_->size, 0))) {
    return "";
  }
  return bytes;
}

#else

struct Digest::State {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
  bool ok = false;
};

Digest::Digest(DigestKind kind) : state_(std::make_unique<State>()) {
  const EVP_MD* type = kind == DigestKind::kSha256 ? EVP_sha256() : EVP_md5();
  state_->ok =
      state_->context != nullptr && EVP_DigestInit_ex(state_->context.get(), type, nullptr) == 1;
}

Digest::~Digest() = default;

void Digest::Update(const char* data, std::size_t size) {
  state_->ok = state_->ok && EVP_DigestUpdate(state_->context.get(), data, size) == 1;
}

std::string Digest::FinishBytes() {
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->context.get(), bytes, &length) != 1) return "";
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

#endif

}  // namespace povupdate_cli
