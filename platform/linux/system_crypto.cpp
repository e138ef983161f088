// ECDSA P-256 verification by OpenSSL's libcrypto, loaded with dlopen() the
// first time a key file is read, so that the library's file depends on
// nothing more than before. Only OpenSSL 3's stable C functions are used.
#include "platform/system_crypto.h"

#include <dlfcn.h>

#include <cstring>

namespace povupdate::backend {
namespace {

// OpenSSL's own types, used only by pointer.
struct Bio;
struct EvpPkey;
struct EvpMdCtx;
struct EvpMd;
struct Engine;

constexpr int kEvpPkeyEc = 408;  // EVP_PKEY_EC, NID_X9_62_id_ecPublicKey
constexpr const char* kCurveName = "prime256v1";

// The functions of libcrypto the library calls.
struct Crypto {
  bool loaded = false;
  Bio* (*BIO_new_mem_buf)(const void*, int) = nullptr;
  int (*BIO_free)(Bio*) = nullptr;
  EvpPkey* (*PEM_read_bio_PUBKEY)(Bio*, EvpPkey**, void*, void*) = nullptr;
  void (*EVP_PKEY_free)(EvpPkey*) = nullptr;
  int (*EVP_PKEY_get_base_id)(const EvpPkey*) = nullptr;
  int (*EVP_PKEY_get_group_name)(const EvpPkey*, char*, std::size_t, std::size_t*) = nullptr;
  EvpMdCtx* (*EVP_MD_CTX_new)() = nullptr;
  void (*EVP_MD_CTX_free)(EvpMdCtx*) = nullptr;
  const EvpMd* (*EVP_sha256)() = nullptr;
  int (*EVP_DigestVerifyInit)(EvpMdCtx*, void**, const EvpMd*, Engine*, EvpPkey*) = nullptr;
  int (*EVP_DigestVerify)(EvpMdCtx*, const unsigned char*, std::size_t, const unsigned char*,
                          std::size_t) = nullptr;
  void (*ERR_clear_error)() = nullptr;
};

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  // POSIX makes a symbol's address convertible to a function pointer.
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

Crypto LoadCrypto() {
  Crypto crypto;
  // Never unloaded: OpenSSL keeps state of its own for the process.
  void* const library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return crypto;
  crypto.loaded = Bind(library, "BIO_new_mem_buf", crypto.BIO_new_mem_buf) &&
                  Bind(library, "BIO_free", crypto.BIO_free) &&
                  Bind(library, "PEM_read_bio_PUBKEY", crypto.PEM_read_bio_PUBKEY) &&
                  Bind(library, "EVP_PKEY_free", crypto.EVP_PKEY_free) &&
                  Bind(library, "EVP_PKEY_get_base_id", crypto.EVP_PKEY_get_base_id) &&
                  Bind(library, "EVP_PKEY_get_group_name", crypto.EVP_PKEY_get_group_name) &&
                  Bind(library, "EVP_MD_CTX_new", crypto.EVP_MD_CTX_new) &&
                  Bind(library, "EVP_MD_CTX_free", crypto.EVP_MD_CTX_free) &&
                  Bind(library, "EVP_sha256", crypto.EVP_sha256) &&
                  Bind(library, "EVP_DigestVerifyInit", crypto.EVP_DigestVerifyInit) &&
                  Bind(library, "EVP_DigestVerify", crypto.EVP_DigestVerify) &&
                  Bind(library, "ERR_clear_error", crypto.ERR_clear_error);
  return crypto;
}

// Null when libcrypto can't be had.
const Crypto* SystemCrypto() {
  static const Crypto crypto = LoadCrypto();
  return crypto.loaded ? &crypto : nullptr;
}

bool IsP256(const Crypto& crypto, const EvpPkey* key) {
  char name[32] = {};
  std::size_t length = 0;
  return crypto.EVP_PKEY_get_base_id(key) == kEvpPkeyEc &&
         crypto.EVP_PKEY_get_group_name(key, name, sizeof name, &length) == 1 &&
         std::strcmp(name, kCurveName) == 0;
}

}  // namespace

struct PublicKey {
  EvpPkey* key;
};

PublicKey* ImportPublicKey(std::string_view pem_block, bool& available) {
  const Crypto* const loaded = SystemCrypto();
  available = loaded != nullptr;
  if (loaded == nullptr || pem_block.size() > 65536) return nullptr;
  const Crypto& crypto = *loaded;
  Bio* const bio = crypto.BIO_new_mem_buf(pem_block.data(), static_cast<int>(pem_block.size()));
  if (bio == nullptr) return nullptr;
  EvpPkey* const key = crypto.PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  crypto.BIO_free(bio);
  crypto.ERR_clear_error();
  if (key == nullptr) return nullptr;
  if (!IsP256(crypto, key)) {
    crypto.EVP_PKEY_free(key);
    return nullptr;
  }
  return new PublicKey{key};
}

void FreePublicKey(PublicKey* key) {
  // A key exists only where libcrypto was loaded.
  if (const Crypto* const crypto = SystemCrypto()) crypto->EVP_PKEY_free(key->key);
  delete key;
}

bool VerifySignature(const PublicKey& key, std::string_view message,
                     const SignatureSection& section) {
  const Crypto* const loaded = SystemCrypto();
  if (loaded == nullptr) return false;
  const Crypto& crypto = *loaded;
  EvpMdCtx* const context = crypto.EVP_MD_CTX_new();
  if (context == nullptr) return false;
  const bool verified =
      crypto.EVP_DigestVerifyInit(context, nullptr, crypto.EVP_sha256(), nullptr, key.key) == 1 &&
      crypto.EVP_DigestVerify(
          context, reinterpret_cast<const unsigned char*>(section.der.data()), section.der.size(),
          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
  crypto.EVP_MD_CTX_free(context);
  crypto.ERR_clear_error();
  return verified;
}

}  // namespace povupdate::backend
