// A publisher's key by OpenSSL's libcrypto.
#include <fcntl.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "publish/signing_keys.h"
#include "shared/host_platform.h"

namespace povupdate_cli {
namespace {

constexpr const char* kNoSignature = "can't be signed: the system's cryptography made no signature";

struct FreeBio {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, FreeBio>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

bool IsP256(EVP_PKEY* key) {
  char name[32] = {};
  std::size_t length = 0;
  return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
         EVP_PKEY_get_group_name(key, name, sizeof name, &length) == 1 &&
         std::string(name) == "prime256v1";
}

}  // namespace

struct PrivateKey::Held {
  struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  };
  std::unique_ptr<EVP_PKEY, FreeKey> key;
};

PrivateKey::PrivateKey() : held_(std::make_unique<Held>()) {}
PrivateKey::~PrivateKey() = default;

bool PrivateKey::Generate(std::string& problem) {
  held_->key.reset(EVP_EC_gen("P-256"));
  if (!held_->key) problem = "the system's cryptography made no key";
  return static_cast<bool>(held_->key);
}

bool PrivateKey::Read(const std::string& pem, std::string& problem) {
  const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  held_->key.reset(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!held_->key || !IsP256(held_->key.get())) {
    held_->key.reset();
    problem = "holds no unencrypted P-256 private key (PEM, PKCS#8)";
    return false;
  }
  return true;
}

bool PrivateKey::Write(std::string& private_pem, std::string& public_pem,
                       std::string& problem) const {
  const Bio private_text(BIO_new(BIO_s_mem()));
  const Bio public_text(BIO_new(BIO_s_mem()));
  if (!private_text || !public_text ||
      PEM_write_bio_PrivateKey(private_text.get(), held_->key.get(), nullptr, nullptr, 0, nullptr,
                               nullptr) != 1 ||
      PEM_write_bio_PUBKEY(public_text.get(), held_->key.get()) != 1) {
    problem = "the system's cryptography wrote no key";
    return false;
  }
  private_pem = BioText(private_text.get());
  public_pem = BioText(public_text.get());
  return true;
}

bool PrivateKey::Sign(std::string_view message, std::string& der, std::string& problem) const {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        EVP_MD_CTX_free);
  const auto* const data = reinterpret_cast<const unsigned char*>(message.data());
  std::size_t size = 0;
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, held_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &size, data, message.size()) != 1) {
    problem = kNoSignature;
    return false;
  }
  der.assign(size, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(der.data()), &size, data,
                     message.size()) != 1) {
    problem = kNoSignature;
    return false;
  }
  der.resize(size);
  return true;
}

bool WriteNewFile(const std::string& path, const std::string& text, bool secret,
                  std::string& problem) {
  const mode_t mode = secret ? 0600 : 0644;
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (descriptor < 0) {
    problem = path + " can't be made: " + SystemMessage(errno);
    return false;
  }
  // The mode asked for, whatever the umask leaves of it.
  bool written = fchmod(descriptor, mode) == 0;
  std::size_t done = 0;
  while (written && done < text.size()) {
    const ssize_t now = write(descriptor, text.data() + done, text.size() - done);
    if (now < 0 && errno == EINTR) continue;
    written = now > 0;
    if (written) done += static_cast<std::size_t>(now);
  }
  written = fsync(descriptor) == 0 && written;
  if (close(descriptor) != 0) written = false;
  if (!written) {
    problem = path + " can't be written: " + SystemMessage(errno);
    unlink(path.c_str());
  }
  return written;
}

}  // namespace povupdate_cli
