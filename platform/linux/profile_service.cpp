// GetPrivateProfileStringA and WritePrivateProfileStringA over INI files, as
// Windows reads and writes them (ini_document.cpp). Reads come from the
// process's cache of parsed files, which is checked against the file once
// per exported call and on every call outside one (profile_cache.cpp,
// profile_call.h); writes are serialised across threads and processes and
// replace the file in one step (atomic_file.cpp).
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ini_document.h"
#include "platform/linux/atomic_file.h"
#include "platform/linux/last_error.h"
#include "platform/linux/profile_cache.h"
#include "platform/linux/profile_call.h"
#include "platform/linux/win32_api.h"

namespace {

using povupdate::backend::Fail;
using povupdate::backend::IniDocument;
using povupdate::backend::ProfileCall;
using povupdate::backend::ProfileSnapshot;
using povupdate::backend::ReadStatus;
using povupdate::backend::SharedProfileCache;
using povupdate::backend::WriteTarget;

constexpr mode_t kNewFileMode = 0666;

bool IsEmptyName(LPCSTR file_name) { return file_name == nullptr || file_name[0] == '\0'; }

// A NULL default is "", and trailing spaces (spaces only) of a default are
// dropped; quotes around it are kept.
std::string_view DefaultText(LPCSTR default_value) {
  std::string_view text = default_value == nullptr ? std::string_view() : default_value;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Copies what fits of `text`, at most size - 1 characters and a NUL, and
// never touches buffer[size] or beyond.
DWORD CopyValueOut(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::size_t count = text.size() < size ? text.size() : size - 1;
  std::copy_n(text.data(), count, buffer);
  buffer[count] = '\0';
  if (count < text.size()) SetLastError(ERROR_MORE_DATA);
  return static_cast<DWORD>(count);
}

DWORD ErrorOf(ReadStatus status) {
  return status == ReadStatus::kMissing ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
}

// A file larger than a read can index is refused before it is read.
bool IsTooLarge(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 &&
         static_cast<std::uintmax_t>(status.st_size) > IniDocument::kMostTextSize;
}

// After a write the open call sees the file as the write left it.
void KeepInCall(LPCSTR file_name, const ProfileSnapshot& file) {
  if (ProfileCall* const call = ProfileCall::Current()) call->Keep(file_name, file);
}

BOOL WriteProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file_name) {
  if (IsEmptyName(file_name)) return Fail(ERROR_ACCESS_DENIED);
  const std::string target = WriteTarget(file_name);
  const povupdate::backend::RewriteLock lock(target);
  if (!lock.held()) {
    return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
  }
  if (IsTooLarge(target)) return Fail(ERROR_FILE_TOO_LARGE);
  // The file as it is now, under the lock, rather than as the call first saw
  // it: a write starts from what the last writer left.
  const ProfileSnapshot current = SharedProfileCache().Load(file_name);
  if (current.status == ReadStatus::kFailed) return Fail(ERROR_ACCESS_DENIED);
  const bool existed = current.status == ReadStatus::kOk;
  if (existed && !povupdate::backend::IsWritable(target)) return Fail(ERROR_ACCESS_DENIED);

  const std::shared_ptr<const IniDocument> old =
      existed ? current.document : std::make_shared<const IniDocument>(std::string());
  // The text of a UTF-16 file can outgrow its bytes.
  if (!old->IndexedWhole()) return Fail(ERROR_FILE_TOO_LARGE);
  const std::optional<std::string_view> new_value =
      value == nullptr ? std::nullopt : std::optional<std::string_view>(value);
  if (!old->CanHold(section) || (key != nullptr && !old->CanHold(key)) ||
      (new_value && !old->CanHold(*new_value))) {
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  }
  std::string edited =
      key == nullptr ? old->RemoveSection(section) : old->Edit(section, key, new_value);
  // Deleting a key from a file that doesn't exist still leaves an empty file.
  if (existed && edited == old->bytes()) {
    KeepInCall(file_name, current);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  }
  if (!povupdate::backend::ReplaceFile(target, edited, kNewFileMode)) {
    KeepInCall(file_name, current);
    return Fail(ERROR_ACCESS_DENIED);
  }
  const ProfileSnapshot written{ReadStatus::kOk,
                                std::make_shared<const IniDocument>(std::move(edited))};
  SharedProfileCache().Remember(file_name, written.document);
  KeepInCall(file_name, written);
  // Windows reports a file it had to create even though the call succeeds.
  SetLastError(existed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
  return TRUE;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) {
  try {
    // Listing sections or keys (a NULL section or key) is not offered.
    if (section == nullptr || key == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return CopyValueOut({}, buffer, size);
    }
    const std::string_view fallback = DefaultText(defaultValue);
    if (IsEmptyName(fileName)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return CopyValueOut(fallback, buffer, size);
    }
    const ProfileSnapshot file = povupdate::backend::CallSnapshot(fileName);
    if (file.status != ReadStatus::kOk) {
      SetLastError(ErrorOf(file.status));
      return CopyValueOut(fallback, buffer, size);
    }
    SetLastError(ERROR_SUCCESS);
    const std::optional<std::string_view> value = file.document->Find(section, key);
    return CopyValueOut(value ? *value : fallback, buffer, size);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return CopyValueOut({}, buffer, size);
  }
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  try {
    // A NULL key removes the whole section; flushing (a NULL section) is not
    // offered.
    if (section == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return WriteProfileString(section, key, value, fileName);
  } catch (...) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}
