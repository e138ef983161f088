// Helpers for tests that go through the exports.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/allocator.h"
#include "platform/win32.h"
#include "povupdate.h"

namespace povupdate::test {

// Takes ownership of a text the library handed out.
inline std::string TakeText(char* text) {
  if (text == nullptr) return "(null)";
  std::string copy(text);
  FreeBlock(text);
  return copy;
}

// A record whose eight texts are released at the end; compares as the eight
// texts, "(null)" for a null field.
class Record {
 public:
  Record() = default;
  ~Record() { Clear(); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  SoftwareInforRecord* get() { return &record_; }
  char** Fields() { return &record_.Name; }
  std::array<std::string, 8> Texts() {
    std::array<std::string, 8> texts;
    for (int i = 0; i < 8; ++i) texts[i] = Fields()[i] == nullptr ? "(null)" : Fields()[i];
    return texts;
  }
  // Releases the texts the library put into the record.
  void Clear() {
    for (int i = 0; i < 8; ++i) {
      FreeBlock(Fields()[i]);
      Fields()[i] = nullptr;
    }
  }

 private:
  SoftwareInforRecord record_{};
};

// Calls SetSaveFilePath with `text` in a buffer with room for the separator
// and "Install" it may append; `after` receives the buffer's text afterwards.
inline int SetInstallPath(const std::string& text, std::string* after = nullptr) {
  std::vector<char> buffer(text.size() + 9, '\0');
  std::memcpy(buffer.data(), text.c_str(), text.size());
  const int result = SetSaveFilePath(buffer.data());
  if (after != nullptr) *after = buffer.data();
  return result;
}

// Stores "InstallPath" under the install key as the given type and bytes.
inline void StoreInstallPathValue(DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\DravuPovUpdate", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "InstallPath", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace povupdate::test
