// Helpers for tests that go through the exports.
#pragma once

#include <array>
#include <cstdlib>
#include <string>

#include "platform/allocator.h"
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

}  // namespace povupdate::test
