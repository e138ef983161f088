#include "platform/text.h"

#include <cstring>

#include "platform/allocator.h"

namespace povupdate {

bool CopyText(char* destination, std::size_t size, const char* source) noexcept {
  if (size == 0) return false;
  const std::size_t length = std::strlen(source);
  if (length >= size) {
    destination[0] = '\0';
    return false;
  }
  std::memcpy(destination, source, length + 1);
  return true;
}

bool AppendText(char* destination, std::size_t size, const char* source) noexcept {
  const std::size_t used = strnlen(destination, size);
  if (used == size) return false;
  const std::size_t length = std::strlen(source);
  if (length >= size - used) return false;
  std::memcpy(destination + used, source, length + 1);
  return true;
}

char* DuplicateText(const char* text) noexcept {
  const std::size_t bytes = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(AllocateBlock(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

bool HasLineBreak(const char* text) noexcept { return std::strpbrk(text, "\r\n") != nullptr; }

}  // namespace povupdate
