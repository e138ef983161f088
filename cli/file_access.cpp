#include "file_access.h"

#ifdef _WIN32
#include "platform/win32.h"
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <array>
#include <memory>
#include <system_error>
#include <vector>

namespace povupdate_cli {
namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;
constexpr std::size_t kMd5Size = 16;
constexpr std::size_t kSha256Size = 32;
#ifdef _WIN32
#define POVUPDATE_MD5 BCRYPT_MD5_ALGORITHM
#define POVUPDATE_SHA256 BCRYPT_SHA256_ALGORITHM
#else
#define POVUPDATE_MD5 EVP_md5()
#define POVUPDATE_SHA256 EVP_sha256()
#endif
constexpr const char* kNotRegular = "is not a regular file";

std::string SystemMessage(int code) { return std::system_category().message(code); }

std::string Hex(const unsigned char* bytes, std::size_t count) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// A regular file open for reading.
class RegularFile {
 public:
  RegularFile() = default;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile();

  bool Open(const std::string& path, std::string& problem);
  // The number of bytes read into `buffer`, 0 at the end; false on a failure.
  bool Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem);

  std::uint64_t size() const { return size_; }

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int descriptor_ = -1;
#endif
  std::uint64_t size_ = 0;
};

#ifdef _WIN32

bool RegularFile::Open(const std::string& path, std::string& problem) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problem = std::string(kNotRegular) + " but a directory";
    return false;
  }
  handle_ = CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    problem = "can't be read: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
  }
  if (GetFileType(handle_) != FILE_TYPE_DISK) {
    problem = kNotRegular;
    return false;
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle_, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool RegularFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  DWORD read = 0;
  if (!ReadFile(handle_, buffer, static_cast<DWORD>(size), &read, nullptr)) {
    problem = "can't be read: " + SystemMessage(static_cast<int>(GetLastError()));
    return false;
  }
  got = read;
  return true;
}

RegularFile::~RegularFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

// MD5 and SHA-256 from the system's cryptography.
class Digest {
 public:
  explicit Digest(LPCWSTR name) {
    ok_ = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, name, nullptr, 0)) &&
          BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0));
  }
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;
  ~Digest() {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }

  bool Update(const char* data, std::size_t size) {
    ok_ = ok_ &&
          BCRYPT_SUCCESS(BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(data)),
                                        static_cast<ULONG>(size), 0));
    return ok_;
  }

  template <std::size_t kSize>
  bool Finish(std::array<unsigned char, kSize>& digest) {
    return ok_ && BCRYPT_SUCCESS(BCryptFinishHash(hash_, digest.data(), kSize, 0));
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  bool ok_ = false;
};

#else

// Opened without waiting, so that a FIFO is found out rather than waited on.
bool RegularFile::Open(const std::string& path, std::string& problem) {
  descriptor_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (descriptor_ < 0 || fstat(descriptor_, &status) != 0) {
    problem = "can't be read: " + SystemMessage(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    problem = std::string(kNotRegular) + (S_ISDIR(status.st_mode) ? " but a directory" : "");
    return false;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  return true;
}

bool RegularFile::Read(char* buffer, std::size_t size, std::size_t& got, std::string& problem) {
  ssize_t read_now;
  do {
    read_now = read(descriptor_, buffer, size);
  } while (read_now < 0 && errno == EINTR);
  if (read_now < 0) {
    problem = "can't be read: " + SystemMessage(errno);
    return false;
  }
  got = static_cast<std::size_t>(read_now);
  return true;
}

RegularFile::~RegularFile() {
  if (descriptor_ >= 0) close(descriptor_);
}

// MD5 and SHA-256 from OpenSSL's libcrypto.
class Digest {
 public:
  explicit Digest(const EVP_MD* algorithm) : context_(EVP_MD_CTX_new()) {
    ok_ = context_ != nullptr && EVP_DigestInit_ex(context_.get(), algorithm, nullptr) == 1;
  }

  bool Update(const char* data, std::size_t size) {
    ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, size) == 1;
    return ok_;
  }

  template <std::size_t kSize>
  bool Finish(std::array<unsigned char, kSize>& digest) {
    unsigned int length = 0;
    return ok_ && EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1 &&
           length == kSize;
  }

 private:
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context_;
  bool ok_ = false;
};

#endif

// Hands each chunk of the file to `take`, to its end.
template <typename Take>
bool ReadChunks(RegularFile& file, std::string& problem, Take take) {
  std::vector<char> chunk(kChunkSize);
  for (;;) {
    std::size_t got = 0;
    if (!file.Read(chunk.data(), chunk.size(), got, problem)) return false;
    if (got == 0) return true;
    if (!take(chunk.data(), got)) return false;
  }
}

}  // namespace

bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem) {
  RegularFile file;
  if (!file.Open(path, problem)) return false;
  bytes.clear();
  // Exactly the size, so a file costs its size and no more.
  bytes.reserve(static_cast<std::size_t>(file.size()));
  return ReadChunks(file, problem, [&](const char* data, std::size_t size) {
    bytes.append(data, size);
    return true;
  });
}

bool DigestRegularFile(const std::string& path, std::string& md5, std::uint64_t& size,
                       std::string& problem) {
  std::string sha256;
  return DigestRegularFile(path, md5, sha256, size, problem);
}

bool DigestRegularFile(const std::string& path, std::string& md5, std::string& sha256,
                       std::uint64_t& size, std::string& problem) {
  RegularFile file;
  if (!file.Open(path, problem)) return false;
  Digest md5_digest(POVUPDATE_MD5);
  Digest sha256_digest(POVUPDATE_SHA256);
  size = 0;
  const bool read = ReadChunks(file, problem, [&](const char* data, std::size_t got) {
    size += got;
    if (md5_digest.Update(data, got) && sha256_digest.Update(data, got)) return true;
    problem = "can't be digested: the system's hash failed";
    return false;
  });
  if (!read) return false;
  std::array<unsigned char, kMd5Size> md5_bytes{};
  std::array<unsigned char, kSha256Size> sha256_bytes{};
  if (!md5_digest.Finish(md5_bytes) || !sha256_digest.Finish(sha256_bytes)) {
    problem = "can't be digested: the system's hash failed";
    return false;
  }
  md5 = Hex(md5_bytes.data(), md5_bytes.size());
  sha256 = Hex(sha256_bytes.data(), sha256_bytes.size());
  return true;
}

}  // namespace povupdate_cli
