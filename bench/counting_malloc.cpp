#include "counting_malloc.h"

#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

namespace povupdate::bench {
namespace {

bool counting = false;
AllocationCount counted;

void Count(const void* block, std::size_t bytes) {
  if (!counting || block == nullptr) return;
  ++counted.calls;
  counted.bytes += static_cast<long>(bytes);
}

}  // namespace

void StartCountingAllocations() {
  counted = AllocationCount{};
  counting = true;
}

AllocationCount StopCountingAllocations() {
  counting = false;
  return counted;
}

}  // namespace povupdate::bench

// The executable exports these (ENABLE_EXPORTS), so the library's calls and
// the C++ runtime's bind to them rather than to glibc's.
extern "C" {

void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  povupdate::bench::Count(block, size);
  return block;
}

void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  povupdate::bench::Count(block, count * size);
  return block;
}

void* realloc(void* block, std::size_t size) {
  void* moved = __libc_realloc(block, size);
  povupdate::bench::Count(moved, size);
  return moved;
}

}  // extern "C"
