#include "platform/text.h"

#include <cstring>

#include "platform/allocator.h"

namespace povupdate {

// One pass, byte by byte: the texts are short, and a call into the C
// library for each measure and copy costs more than the copy itself.
bool CopyText(char* destination, std::size_t size, const char* source) noexcept {
  for (std::size_t i = 0; i < size; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') return true;
  }
  if (size != 0) destination[0] = '\0';
  return false;
}

bool AppendText(char* destination, std::size_t size, const char* source) noexcept {
  std::size_t used = 0;
  while (used < size && destination[used] != '\0') ++used;
  // A failed copy leaves "" at `used`, which is where the text ended.
  return used < size && CopyText(destination + used, size - used, source);
}

char* DuplicateText(const char* text) noexcept {
  const std::size_t bytes = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(AllocateBlock(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

}  // namespace povupdate
