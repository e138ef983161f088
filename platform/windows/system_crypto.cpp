// ECDSA P-256 verification by the system's own cryptography: crypt32 reads
// the PEM and DER of a public key and hands it to CNG (bcrypt), which hashes
// and verifies. Both DLLs are loaded by full path from the system directory
// the first time a key file is read, so the library's import table stays
// as it was and no DLL beside the host can stand in for them.
#include "platform/system_crypto.h"

#include <cstring>
#include <vector>

#include "platform/win32.h"
// windows.h first: these need its types.
#include <bcrypt.h>
#include <wincrypt.h>

namespace povupdate::backend {
namespace {

constexpr ULONG kSha256Size = 32;
// The DER of the OID 1.2.840.10045.3.1.7, the curve P-256.
constexpr unsigned char kP256Parameters[] = {0x06, 0x08, 0x2A, 0x86, 0x48,
                                             0xCE, 0x3D, 0x03, 0x01, 0x07};

struct Crypto {
  bool loaded = false;
  decltype(&::CryptStringToBinaryA) CryptStringToBinaryA = nullptr;
  decltype(&::CryptDecodeObjectEx) CryptDecodeObjectEx = nullptr;
  decltype(&::CryptImportPublicKeyInfoEx2) CryptImportPublicKeyInfoEx2 = nullptr;
  decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider = nullptr;
  decltype(&::BCryptCreateHash) BCryptCreateHash = nullptr;
  decltype(&::BCryptHashData) BCryptHashData = nullptr;
  decltype(&::BCryptFinishHash) BCryptFinishHash = nullptr;
  decltype(&::BCryptDestroyHash) BCryptDestroyHash = nullptr;
  decltype(&::BCryptVerifySignature) BCryptVerifySignature = nullptr;
  decltype(&::BCryptDestroyKey) BCryptDestroyKey = nullptr;
};

// A DLL of the system directory, by its full path.
HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  const std::size_t name_length = std::strlen(name);
  if (length == 0 || length + 1 + name_length >= MAX_PATH) return nullptr;
  path[length] = '\\';
  std::memcpy(path + length + 1, name, name_length + 1);
  return LoadLibraryA(path);
}

template <typename Function>
bool Bind(HMODULE library, const char* name, Function& function) {
  const FARPROC address = GetProcAddress(library, name);
  std::memcpy(&function, &address, sizeof function);
  return address != nullptr;
}

Crypto LoadCrypto() {
  Crypto crypto;
  // Never freed: keys and hashes of the process may outlive any one call.
  const HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
  const HMODULE bcrypt = LoadSystemLibrary("bcrypt.dll");
  if (crypt32 == nullptr || bcrypt == nullptr) return crypto;
  crypto.loaded =
      Bind(crypt32, "CryptStringToBinaryA", crypto.CryptStringToBinaryA) &&
      Bind(crypt32, "CryptDecodeObjectEx", crypto.CryptDecodeObjectEx) &&
      Bind(crypt32, "CryptImportPublicKeyInfoEx2", crypto.CryptImportPublicKeyInfoEx2) &&
      Bind(bcrypt, "BCryptOpenAlgorithmProvider", crypto.BCryptOpenAlgorithmProvider) &&
      Bind(bcrypt, "BCryptCloseAlgorithmProvider", crypto.BCryptCloseAlgorithmProvider) &&
      Bind(bcrypt, "BCryptCreateHash", crypto.BCryptCreateHash) &&
      Bind(bcrypt, "BCryptHashData", crypto.BCryptHashData) &&
      Bind(bcrypt, "BCryptFinishHash", crypto.BCryptFinishHash) &&
      Bind(bcrypt, "BCryptDestroyHash", crypto.BCryptDestroyHash) &&
      Bind(bcrypt, "BCryptVerifySignature", crypto.BCryptVerifySignature) &&
      Bind(bcrypt, "BCryptDestroyKey", crypto.BCryptDestroyKey);
  return crypto;
}

const Crypto& SystemCrypto() {
  static const Crypto crypto = LoadCrypto();
  return crypto;
}

bool IsP256(const CERT_PUBLIC_KEY_INFO& info) {
  const CRYPT_OBJID_BLOB& parameters = info.Algorithm.Parameters;
  return info.Algorithm.pszObjId != nullptr &&
         std::strcmp(info.Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) == 0 &&
         parameters.cbData == sizeof kP256Parameters &&
         std::memcmp(parameters.pbData, kP256Parameters, sizeof kP256Parameters) == 0;
}

bool Sha256(const Crypto& crypto, std::string_view message, unsigned char* digest) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(
          crypto.BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = BCRYPT_SUCCESS(crypto.BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // In pieces a ULONG can count.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  for (std::size_t at = 0; done && at < message.size(); at += kPiece) {
    const std::size_t size = message.size() - at < kPiece ? message.size() - at : kPiece;
    done = BCRYPT_SUCCESS(crypto.BCryptHashData(
        hash, reinterpret_cast<PUCHAR>(const_cast<char*>(message.data() + at)),
        static_cast<ULONG>(size), 0));
  }
  done = done && BCRYPT_SUCCESS(crypto.BCryptFinishHash(hash, digest, kSha256Size, 0));
  if (hash != nullptr) crypto.BCryptDestroyHash(hash);
  crypto.BCryptCloseAlgorithmProvider(algorithm, 0);
  return done;
}

}  // namespace

struct PublicKey {
  BCRYPT_KEY_HANDLE key;
};

PublicKey* ImportPublicKey(std::string_view pem_block, bool& available) {
  const Crypto& crypto = SystemCrypto();
  available = crypto.loaded;
  if (!available || pem_block.size() > 65536) return nullptr;
  DWORD der_size = 0;
  const auto pem_size = static_cast<DWORD>(pem_block.size());
  if (!crypto.CryptStringToBinaryA(pem_block.data(), pem_size, CRYPT_STRING_BASE64HEADER, nullptr,
                                   &der_size, nullptr, nullptr)) {
    return nullptr;
  }
  std::vector<BYTE> der(der_size);
  if (!crypto.CryptStringToBinaryA(pem_block.data(), pem_size, CRYPT_STRING_BASE64HEADER,
                                   der.data(), &der_size, nullptr, nullptr)) {
    return nullptr;
  }
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD info_size = 0;
  if (!crypto.CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), der_size,
                                  CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &info_size)) {
    return nullptr;
  }
  BCRYPT_KEY_HANDLE key = nullptr;
  const bool imported = IsP256(*info) && crypto.CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info,
                                                                            0, nullptr, &key);
  LocalFree(info);
  if (!imported) return nullptr;
  return new PublicKey{key};
}

void FreePublicKey(PublicKey* key) {
  SystemCrypto().BCryptDestroyKey(key->key);
  delete key;
}

bool VerifySignature(const PublicKey& key, std::string_view message,
                     const SignatureSection& section) {
  const Crypto& crypto = SystemCrypto();
  unsigned char digest[kSha256Size] = {};
  if (!Sha256(crypto, message, digest)) return false;
  unsigned char r_s[sizeof section.r_s];
  std::memcpy(r_s, section.r_s, sizeof r_s);
  return BCRYPT_SUCCESS(
      crypto.BCryptVerifySignature(key.key, nullptr, digest, kSha256Size, r_s, sizeof r_s, 0));
}

}  // namespace povupdate::backend
