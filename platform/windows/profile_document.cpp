// An update file and a key file read whole, once, by the call that walks:
// the walk then reads its values from these bytes, never through the
// system's profile service, whose cache or second open could bring in
// another version of the file.
#include "platform/profile_document.h"

#include <string>

#include "platform/ini_document.h"
#include "platform/win32.h"

namespace povupdate::backend {
namespace {

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

FileStatus ReadWhole(const char* path, std::string& bytes) {
  // Others may go on reading, writing and replacing the file meanwhile:
  // whatever this one read gives is what is verified and walked.
  const HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return IsMissing(GetLastError()) ? FileStatus::kMissing : FileStatus::kFailed;
  }
  LARGE_INTEGER size{};
  bool read = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
              static_cast<unsigned long long>(size.QuadPart) <= IniDocument::kMostTextSize;
  if (read) bytes.reserve(static_cast<std::size_t>(size.QuadPart));
  char chunk[65536];
  while (read) {
    DWORD got = 0;
    read = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0;
    if (!read || got == 0) break;
    bytes.append(chunk, got);
    read = bytes.size() <= IniDocument::kMostTextSize;
  }
  CloseHandle(file);
  return read ? FileStatus::kOk : FileStatus::kFailed;
}

FileStatus Load(const char* path, std::shared_ptr<const IniDocument>& document) {
  std::string bytes;
  const FileStatus status = ReadWhole(path, bytes);
  if (status == FileStatus::kOk) document = std::make_shared<const IniDocument>(std::move(bytes));
  return status;
}

}  // namespace

FileStatus LoadProfileDocument(const char* path, std::shared_ptr<const IniDocument>& document) {
  return Load(path, document);
}

FileStatus LoadKeyFile(const char* path, std::shared_ptr<const IniDocument>& document) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return IsMissing(GetLastError()) ? FileStatus::kMissing : FileStatus::kFailed;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileStatus::kFailed;
  const FileStatus status = Load(path, document);
  return status == FileStatus::kOk ? status : FileStatus::kFailed;
}

}  // namespace povupdate::backend
