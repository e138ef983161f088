// The install directory: the text value "InstallPath" under the install key.
#include <cstring>

#include "config/config_context.h"
#include "interface/facts.h"
#include "platform/allocator.h"
#include "platform/text.h"

namespace povupdate {
namespace {

constexpr const char* kInstallDirName = "Install";

// Takes the bytes a read left in `block` as text, if they are one that fits
// `text` (kTextSize bytes) with its NUL: a string value, terminated or not.
// An empty text is no directory: the default takes its place.
bool TakeStoredText(DWORD type, const BYTE* block, DWORD size, char* text) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  const auto* bytes = reinterpret_cast<const char*>(block);
  const std::size_t length = strnlen(bytes, size);
  if (length == 0 || length >= kTextSize) return false;
  std::memcpy(text, bytes, length);
  text[length] = '\0';
  return true;
}

// The text after the last separator; the whole text when it has none.
const char* LastComponent(const char* path) {
  const char* separator = std::strrchr(path, kPathSeparator);
  return separator == nullptr ? path : separator + 1;
}

}  // namespace

const char* ConfigContext::GetInstallPath() {
  return LoadInstallPath() == POVUPDATE_OK ? install_path_ : nullptr;
}

int ConfigContext::LoadInstallPath() {
  DWORD type = REG_SZ;
  DWORD size = kTextSize;
  auto* block = static_cast<BYTE*>(AllocateBlock(kTextSize));
  if (block == nullptr) return POVUPDATE_NO_WORK_BLOCK;

  int result = registry_.QueryRegValue(kInstallKey, kInstallValue, type, size, block);
  if (result != POVUPDATE_OK || !TakeStoredText(type, block, size, install_path_)) {
    // Unreadable, missing or unusable: store the default in its place.
    result = registry_.CreateRegKey(kInstallKey);
    if (result == POVUPDATE_OK) {
      char* fallback = MakeDefaultInstallPath();
      if (fallback == nullptr) {
        result = POVUPDATE_NO_WORK_BLOCK;
      } else {
        CopyText(install_path_, kTextSize, fallback);
        FreeBlock(fallback);
        type = REG_SZ;
        size = static_cast<DWORD>(std::strlen(install_path_) + 1);
        std::memcpy(block, install_path_, size);
        result = registry_.SetRegValue(kInstallKey, kInstallValue, type, size, block);
        // A default the registry refused to keep is still the install path.
        if (result == POVUPDATE_VALUE_REFUSED) result = POVUPDATE_OK;
      }
    }
  }
  FreeBlock(block);
  return result;
}

char* ConfigContext::MakeDefaultInstallPath() const {
  auto* path = static_cast<char*>(AllocateBlock(kTextSize));
  if (path == nullptr) return nullptr;
  if (!profile_.GetModuleDirectory(path) || !AppendText(path, kTextSize, kInstallDirName)) {
    FreeBlock(path);
    return nullptr;
  }
  return path;
}

int ConfigContext::StoreInstallPath(char* path) {
  const bool append = !EqualsIgnoringAsciiCase(LastComponent(path), kInstallDirName);
  const std::size_t length = std::strlen(path) + (append ? 1 + std::strlen(kInstallDirName) : 0);
  if (length >= kTextSize) return POVUPDATE_PATH_TOO_LONG;

  DWORD type = REG_SZ;
  DWORD size = kTextSize;
  auto* block = static_cast<BYTE*>(AllocateBlock(kTextSize));
  if (block == nullptr) return POVUPDATE_NO_WORK_BLOCK;
  int result = POVUPDATE_INSTALL_KEY_FAILED;
  if (registry_.CreateRegKey(kInstallKey) == POVUPDATE_OK) {
    if (append) {
      const char separator[2] = {kPathSeparator, '\0'};
      AppendText(path, length + 1, separator);
      AppendText(path, length + 1, kInstallDirName);
    }
    size = static_cast<DWORD>(length + 1);
    std::memcpy(block, path, size);
    result = registry_.SetRegValue(kInstallKey, kInstallValue, type, size, block);
  }
  FreeBlock(block);
  return result;
}

}  // namespace povupdate
