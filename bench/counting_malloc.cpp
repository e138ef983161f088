#include "counting_malloc.h"

#include <malloc.h>

#include <algorithm>
#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
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

// Blocks made before the start and released meanwhile count as released:
// the peak is what the counted work added at most.
void Hold(void* block, long sign) {
  if (!counting || block == nullptr) return;
  counted.held += sign * static_cast<long>(malloc_usable_size(block));
  counted.peak = std::max(counted.peak, counted.held);
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
  povupdate::bench::Hold(block, 1);
  return block;
}

void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  povupdate::bench::Count(block, count * size);
  povupdate::bench::Hold(block, 1);
  return block;
}

void* realloc(void* block, std::size_t size) {
  povupdate::bench::Hold(block, -1);
  void* moved = __libc_realloc(block, size);
  povupdate::bench::Count(moved, size);
  // A failed realloc keeps the old block.
  povupdate::bench::Hold(moved != nullptr || size == 0 ? moved : block, 1);
  return moved;
}

void free(void* block) {
  povupdate::bench::Hold(block, -1);
  __libc_free(block);
}

}  // extern "C"
