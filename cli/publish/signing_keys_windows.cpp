// A publisher's key by the system's cryptography: CNG makes the key, holds
// it and signs; crypt32 reads and writes the formats (PEM's base64, and the
// DER of PKCS#8, SubjectPublicKeyInfo and ECDSA signatures). Where this
// system's crypt32 has no encoding for one of those types (Wine 8 has none
// for the private key or the signature), the command refuses, naming the
// type and the ways that work.
#include "platform/win32.h"
// windows.h first: these need its types.
#include <bcrypt.h>
#include <sddl.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "publish/signing_keys.h"
#include "shared/host_platform.h"
#include "update/digest.h"

namespace povupdate_cli {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// A P-256 coordinate, private scalar and signature half, in bytes.
constexpr ULONG kSize = 32;
constexpr const char* kNotAKey = "holds no unencrypted P-256 private key (PEM, PKCS#8)";
constexpr const char* kElsewhere =
    "; make keys and sign with povupdate on Linux, or with openssl (README, \"Signing update "
    "files\")";

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
template <typename T>
using Local = std::unique_ptr<T, LocalFreer>;

// Why crypt32's `call` on `type` failed with `error`: a type it has no
// encoding of (crypt32 says error 2), or, decoding, no private key.
std::string CryptProblem(const char* call, const char* type, DWORD error) {
  const bool decoding = std::strcmp(call, "CryptDecodeObjectEx") == 0;
  if (error == ERROR_FILE_NOT_FOUND) {
    return std::string(decoding ? "can't be read here: " : "") +
           "this system's crypt32 has no encoding of " + type + " (" + call + ", error 2)" +
           kElsewhere;
  }
  return decoding ? kNotAKey : std::string(call) + " " + type + ": " + SystemMessage(error);
}

bool Encode(LPCSTR type, const char* name, const void* value, std::vector<BYTE>& der,
            std::string& problem) {
  BYTE* out = nullptr;
  DWORD size = 0;
  if (!CryptEncodeObjectEx(kEncoding, type, value, CRYPT_ENCODE_ALLOC_FLAG, nullptr, &out, &size)) {
    problem = CryptProblem("CryptEncodeObjectEx", name, GetLastError());
    return false;
  }
  der.assign(out, out + size);
  SecureZeroMemory(out, size);
  LocalFree(out);
  return true;
}

// The value of DER that should hold a private key; null, with `problem`,
// when it does not.
template <typename T>
Local<T> Decode(LPCSTR type, const char* name, const BYTE* der, DWORD size, std::string& problem) {
  T* out = nullptr;
  DWORD out_size = 0;
  if (!CryptDecodeObjectEx(kEncoding, type, der, size, CRYPT_DECODE_ALLOC_FLAG, nullptr, &out,
                           &out_size)) {
    problem = CryptProblem("CryptDecodeObjectEx", name, GetLastError());
    return nullptr;
  }
  return Local<T>(out);
}

// A PEM text of `label` holding `der`.
bool Pem(const char* label, const std::vector<BYTE>& der, std::string& pem, std::string& problem) {
  constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCR;
  DWORD size = 0;
  std::string body;
  if (CryptBinaryToStringA(der.data(), static_cast<DWORD>(der.size()), kFlags, nullptr, &size)) {
    body.assign(size, '\0');
  }
  if (body.empty() || !CryptBinaryToStringA(der.data(), static_cast<DWORD>(der.size()), kFlags,
                                            body.data(), &size)) {
    problem = std::string("CryptBinaryToStringA: ") + SystemMessage(GetLastError());
    return false;
  }
  body.resize(size);
  if (body.back() != '\n') body += '\n';
  pem = std::string("-----BEGIN ") + label + "-----\n" + body + "-----END " + label + "-----\n";
  SecureZeroMemory(body.data(), body.size());
  return true;
}

bool IsCurveP256(const CRYPT_OBJID_BLOB& parameters, std::string& problem) {
  const Local<LPSTR> curve = Decode<LPSTR>(X509_OBJECT_IDENTIFIER, "X509_OBJECT_IDENTIFIER",
                                           parameters.pbData, parameters.cbData, problem);
  if (!curve) return false;
  if (*curve != nullptr && std::strcmp(*curve, szOID_ECC_CURVE_P256) == 0) return true;
  problem = kNotAKey;
  return false;
}

// BCRYPT_ECCPRIVATE_BLOB: its header, then X, Y and the private scalar.
constexpr std::size_t kBlobSize = sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kSize;

}  // namespace

struct PrivateKey::Held {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;

  ~Held() {
    if (key != nullptr) BCryptDestroyKey(key);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  bool Open(std::string& problem) {
    const NTSTATUS status =
        BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) problem = "the system's cryptography has no ECDSA P-256";
    return BCRYPT_SUCCESS(status);
  }
};

PrivateKey::PrivateKey() : held_(std::make_unique<Held>()) {}
PrivateKey::~PrivateKey() = default;

bool PrivateKey::Generate(std::string& problem) {
  if (!held_->Open(problem)) return false;
  if (!BCRYPT_SUCCESS(BCryptGenerateKeyPair(held_->algorithm, &held_->key, 8 * kSize, 0)) ||
      !BCRYPT_SUCCESS(BCryptFinalizeKeyPair(held_->key, 0))) {
    problem = "the system's cryptography made no key";
    return false;
  }
  return true;
}

bool PrivateKey::Read(const std::string& pem, std::string& problem) {
  DWORD size = 0;
  const auto pem_size = static_cast<DWORD>(pem.size());
  std::vector<BYTE> der;
  if (pem.size() <= 65536 && CryptStringToBinaryA(pem.data(), pem_size, CRYPT_STRING_BASE64HEADER,
                                                  nullptr, &size, nullptr, nullptr)) {
    der.resize(size);
  }
  if (der.empty() || !CryptStringToBinaryA(pem.data(), pem_size, CRYPT_STRING_BASE64HEADER,
                                           der.data(), &size, nullptr, nullptr)) {
    problem = kNotAKey;
    return false;
  }
  const Local<CRYPT_PRIVATE_KEY_INFO> info = Decode<CRYPT_PRIVATE_KEY_INFO>(
      PKCS_PRIVATE_KEY_INFO, "PKCS_PRIVATE_KEY_INFO", der.data(), size, problem);
  SecureZeroMemory(der.data(), der.size());
  if (!info) return false;
  if (info->Algorithm.pszObjId == nullptr ||
      std::strcmp(info->Algorithm.pszObjId, szOID_ECC_PUBLIC_KEY) != 0) {
    problem = kNotAKey;
    return false;
  }
  if (!IsCurveP256(info->Algorithm.Parameters, problem)) return false;
  const Local<CRYPT_ECC_PRIVATE_KEY_INFO> ecc =
      Decode<CRYPT_ECC_PRIVATE_KEY_INFO>(X509_ECC_PRIVATE_KEY, "X509_ECC_PRIVATE_KEY",
                                         info->PrivateKey.pbData, info->PrivateKey.cbData, problem);
  if (!ecc) return false;
  // CNG takes the public point with the scalar: only an uncompressed point
  // (04, X, Y) will do, as every PKCS#8 writer gives it.
  const CRYPT_BIT_BLOB& point = ecc->PublicKey;
  if ((ecc->szCurveOid != nullptr && std::strcmp(ecc->szCurveOid, szOID_ECC_CURVE_P256) != 0) ||
      ecc->PrivateKey.cbData == 0 || ecc->PrivateKey.cbData > kSize ||
      point.cbData != 1 + 2 * kSize || point.pbData[0] != 0x04) {
    problem = kNotAKey;
    return false;
  }
  std::vector<BYTE> blob(kBlobSize);
  auto* const header = reinterpret_cast<BCRYPT_ECCKEY_BLOB*>(blob.data());
  header->dwMagic = BCRYPT_ECDSA_PRIVATE_P256_MAGIC;
  header->cbKey = kSize;
  BYTE* const coordinates = blob.data() + sizeof *header;
  std::memcpy(coordinates, point.pbData + 1, 2 * kSize);
  // The scalar is big-endian: a short one is padded in front.
  std::memcpy(coordinates + 3 * kSize - ecc->PrivateKey.cbData, ecc->PrivateKey.pbData,
              ecc->PrivateKey.cbData);
  SecureZeroMemory(ecc->PrivateKey.pbData, ecc->PrivateKey.cbData);
  const bool imported =
      held_->Open(problem) && BCRYPT_SUCCESS(BCryptImportKeyPair(
                                  held_->algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &held_->key,
                                  blob.data(), static_cast<ULONG>(blob.size()), 0));
  SecureZeroMemory(blob.data(), blob.size());
  if (!imported && problem.empty()) problem = kNotAKey;
  return imported;
}

bool PrivateKey::Write(std::string& private_pem, std::string& public_pem,
                       std::string& problem) const {
  std::vector<BYTE> blob(kBlobSize);
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(BCryptExportKey(held_->key, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                      static_cast<ULONG>(blob.size()), &size, 0)) ||
      size != blob.size()) {
    problem = "the system's cryptography gave out no key";
    return false;
  }
  BYTE* const coordinates = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
  BYTE point[1 + 2 * kSize] = {0x04};
  std::memcpy(point + 1, coordinates, 2 * kSize);
  LPCSTR curve = szOID_ECC_CURVE_P256;
  std::vector<BYTE> parameters;
  std::vector<BYTE> public_der;
  std::vector<BYTE> ecc_der;
  std::vector<BYTE> private_der;
  CERT_PUBLIC_KEY_INFO public_info{};
  CRYPT_ECC_PRIVATE_KEY_INFO ecc{};
  CRYPT_PRIVATE_KEY_INFO private_info{};
  bool done = Encode(X509_OBJECT_IDENTIFIER, "X509_OBJECT_IDENTIFIER", &curve, parameters, problem);
  if (done) {
    public_info.Algorithm.pszObjId = const_cast<LPSTR>(szOID_ECC_PUBLIC_KEY);
    public_info.Algorithm.Parameters = {static_cast<DWORD>(parameters.size()), parameters.data()};
    public_info.PublicKey = {sizeof point, point, 0};
    ecc.dwVersion = CRYPT_ECC_PRIVATE_KEY_INFO_v1;
    ecc.PrivateKey = {kSize, coordinates + 2 * kSize};
    ecc.szCurveOid = const_cast<LPSTR>(szOID_ECC_CURVE_P256);
    ecc.PublicKey = public_info.PublicKey;
    done =
        Encode(X509_PUBLIC_KEY_INFO, "X509_PUBLIC_KEY_INFO", &public_info, public_der, problem) &&
        Encode(X509_ECC_PRIVATE_KEY, "X509_ECC_PRIVATE_KEY", &ecc, ecc_der, problem);
  }
  if (done) {
    private_info.Version = 0;
    private_info.Algorithm = public_info.Algorithm;
    private_info.PrivateKey = {static_cast<DWORD>(ecc_der.size()), ecc_der.data()};
    done = Encode(PKCS_PRIVATE_KEY_INFO, "PKCS_PRIVATE_KEY_INFO", &private_info, private_der,
                  problem) &&
           Pem("PRIVATE KEY", private_der, private_pem, problem) &&
           Pem("PUBLIC KEY", public_der, public_pem, problem);
  }
  SecureZeroMemory(blob.data(), blob.size());
  SecureZeroMemory(ecc_der.data(), ecc_der.size());
  SecureZeroMemory(private_der.data(), private_der.size());
  return done;
}

bool PrivateKey::Sign(std::string_view message, std::string& der, std::string& problem) const {
  Digest digest(DigestKind::kSha256);
  digest.Update(message.data(), message.size());
  std::string hash = digest.FinishBytes();
  BYTE r_s[2 * kSize];
  ULONG size = 0;
  if (hash.size() != kSize ||
      !BCRYPT_SUCCESS(BCryptSignHash(held_->key, nullptr, reinterpret_cast<PUCHAR>(hash.data()),
                                     kSize, r_s, sizeof r_s, &size, 0)) ||
      size != sizeof r_s) {
    problem = "can't be signed: the system's cryptography made no signature";
    return false;
  }
  // CNG gives r and s big-endian; crypt32 takes them little-endian.
  BYTE r[kSize];
  BYTE s[kSize];
  for (ULONG i = 0; i < kSize; ++i) {
    r[i] = r_s[kSize - 1 - i];
    s[i] = r_s[2 * kSize - 1 - i];
  }
  CERT_ECC_SIGNATURE signature{{kSize, r}, {kSize, s}};
  std::vector<BYTE> encoded;
  if (!Encode(X509_ECC_SIGNATURE, "X509_ECC_SIGNATURE", &signature, encoded, problem)) {
    problem = "can't be signed: " + problem;
    return false;
  }
  der.assign(encoded.begin(), encoded.end());
  return true;
}

bool WriteNewFile(const std::string& path, const std::string& text, bool secret,
                  std::string& problem) {
  // Secret: owned by this user and open to this user alone, whatever the
  // directory would pass on (an elevated process's files belong to
  // Administrators otherwise).
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  Local<void> descriptor;
  if (secret) {
    HANDLE token = nullptr;
    BYTE user[256];
    DWORD size = 0;
    char* sid = nullptr;
    const bool known = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                       GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
                       ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    if (token != nullptr) CloseHandle(token);
    const Local<char> owned_sid(sid);
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!known || !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                      (std::string("O:") + sid + "D:P(A;;FA;;;" + sid + ")").c_str(),
                      SDDL_REVISION_1, &made, nullptr)) {
      problem = path + " can't be made owner-only: " + SystemMessage(GetLastError());
      return false;
    }
    descriptor.reset(made);
    attributes.lpSecurityDescriptor = made;
  }
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem = path + " can't be made: " + SystemMessage(GetLastError());
    return false;
  }
  bool written = true;
  for (std::size_t done = 0; written && done < text.size();) {
    DWORD now = 0;
    const std::size_t piece = text.size() - done < (1u << 30) ? text.size() - done : (1u << 30);
    written =
        WriteFile(file, text.data() + done, static_cast<DWORD>(piece), &now, nullptr) && now > 0;
    done += now;
  }
  written = written && FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!written) {
    problem = path + " can't be written: " + SystemMessage(error);
    DeleteFileA(path.c_str());
  }
  return written;
}

}  // namespace povupdate_cli
