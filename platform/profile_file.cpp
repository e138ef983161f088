#include "platform/profile_file.h"

#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ini_document.h"
#include "platform/module_directory.h"
#include "platform/profile_document.h"
#include "platform/profile_write_lock.h"
#include "platform/signed_file.h"
#include "platform/text.h"
#include "platform/win32.h"

namespace povupdate {
namespace {

using backend::FileStatus;
using backend::IniDocument;
using Document = std::shared_ptr<const IniDocument>;

// What was found of an update file under a key file: whether its signature
// verified (kTrusted; then the name and the expiry are judged at each call)
// or why not.
struct Verdict {
  std::weak_ptr<const IniDocument> file;
  std::weak_ptr<const IniDocument> keys;
  std::string file_name;
  Trust signature = Trust::kNoSignature;
  std::string signed_for;
  std::int64_t expires = 0;
};

// The verdicts of the files verified last. The Linux profile cache hands
// out the same parse for as long as a file stays the same on disk, so a
// file is verified once, not at every call; a parse that is gone can't be
// mistaken for a new one, as its verdict holds it only weakly.
class Verdicts {
 public:
  Trust Judge(const Document& file, const Document& keys, const char* file_name) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (const Verdict& known : verdicts_) {
        if (known.file.lock() == file && known.keys.lock() == keys &&
            known.file_name == file_name) {
          return Decide(known, now);
        }
      }
    }
    const TrustVerdict verdict = JudgeUpdateFile(file->bytes(), file_name, keys->bytes(), now);
    Verdict found{
        file, keys, file_name, verdict.trust, verdict.section.file, verdict.section.expires};
    // The name and the expiry are for this call to judge; the signature held.
    if (verdict.trust == Trust::kOtherFile || verdict.trust == Trust::kExpired) {
      found.signature = Trust::kTrusted;
    }
    if (verdict.trust != Trust::kNoCryptography) {
      const std::lock_guard<std::mutex> lock(mutex_);
      verdicts_[next_] = std::move(found);
      next_ = (next_ + 1) % kKept;
    }
    return verdict.trust;
  }

 private:
  static constexpr std::size_t kKept = 4;

  static Trust Decide(const Verdict& known, std::int64_t now) {
    if (known.signature != Trust::kTrusted) return known.signature;
    SignatureSection section;
    section.file = known.signed_for;
    section.expires = known.expires;
    return JudgeSection(section, known.file_name, now);
  }

  std::mutex mutex_;
  Verdict verdicts_[kKept];
  std::size_t next_ = 0;
};

Verdicts& SharedVerdicts() {
  static Verdicts verdicts;
  return verdicts;
}

}  // namespace

// An empty path means the caller has no usable file: the system is not asked,
// because Windows would take a bare or empty name relative to its own
// directory and read or damage another file.

int ProfileFile::ReadProfileString(const char* section, const char* key, const char* path,
                                   char* buffer, std::size_t size) const {
  if (size == 0) return 1;
  if (path[0] == '\0') {
    buffer[0] = '\0';
    return 1;
  }
  if (verified_ != nullptr && std::strcmp(path, verified_path_) == 0) {
    return ReadVerified(section, key, buffer, size);
  }
  // The service reports running out of memory only by its last error, and
  // leaves an earlier one standing when it succeeds.
  SetLastError(ERROR_SUCCESS);
  const DWORD read =
      GetPrivateProfileStringA(section, key, nullptr, buffer, static_cast<DWORD>(size), path);
  if (read != 0) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ? kReadFailed : 1;
}

int ProfileFile::WriteProfileString(const char* section, const char* key, const char* path,
                                    const char* value) const {
  if (path[0] == '\0') return 1;
  const ProfileWriteLock lock(path);
  if (!lock.held()) return 1;
  const DWORD attributes = GetFileAttributesA(path);
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (WritePrivateProfileStringA(section, key, value, path) == 1) return 0;
  const DWORD error = GetLastError();
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes);
  return error == ERROR_NO_UNICODE_TRANSLATION ? kTextRefused : 1;
}

// Only a read-only attribute stands in a deletion's way; it alone is
// cleared, and set again when the deletion fails anyway, so that nothing but
// the file itself is ever changed: not a directory in its place, not the file
// a symbolic link leads to (a link's attributes are its own).
void ProfileFile::DeleteProfile(const char* path) const {
  if (path[0] == '\0') return;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
  const bool read_only = writable != attributes;
  if (read_only) SetFileAttributesA(path, writable == 0 ? FILE_ATTRIBUTE_NORMAL : writable);
  if (!DeleteFileA(path) && read_only) SetFileAttributesA(path, attributes);
}

int ProfileFile::ReadVerified(const char* section, const char* key, char* buffer,
                              std::size_t size) const {
  try {
    const std::optional<std::string_view> value = verified_->Find(section, key);
    const std::size_t length = value ? value->size() : 0;
    const std::size_t count = length < size ? length : size - 1;
    if (count > 0) std::memcpy(buffer, value->data(), count);
    buffer[count] = '\0';
    return count > 0 ? 0 : 1;
  } catch (...) {
    buffer[0] = '\0';
    return kReadFailed;
  }
}

ProfileFile::Walk ProfileFile::CheckUpdateFile(const char* path, const char* key_path,
                                               const char* file_name) {
  verified_.reset();
  try {
    Document keys;
    const FileStatus key_status = backend::LoadKeyFile(key_path, keys);
    if (key_status == FileStatus::kMissing) return Walk::kAsUsual;
    if (key_status != FileStatus::kOk) return Walk::kRefused;
    Document file;
    const FileStatus file_status = backend::LoadProfileDocument(path, file);
    if (file_status == FileStatus::kMissing) return Walk::kFileMissing;
    if (file_status != FileStatus::kOk) return Walk::kRefused;
    if (SharedVerdicts().Judge(file, keys, file_name) != Trust::kTrusted) return Walk::kRefused;
    if (!CopyText(verified_path_, sizeof verified_path_, path)) return Walk::kRefused;
    verified_ = std::move(file);
    return Walk::kAsUsual;
  } catch (...) {
    // Out of memory: nothing is known of the file, so nothing of it is believed.
    return Walk::kRefused;
  }
}

bool ProfileFile::GetModuleDirectory(char* directory) const {
  return ReadModuleDirectory(directory);
}

}  // namespace povupdate
