#include "platform/allocator.h"

#include "platform/fault_injection.h"

#ifdef POVUPDATE_FAULT_INJECTION
#include <atomic>
#include <new>
#endif

#ifdef _WIN32
#include <objbase.h>
#else
#include <cstdlib>
#endif

namespace povupdate {

#ifdef POVUPDATE_FAULT_INJECTION
namespace fault {
namespace {
// Test-only state; the shipped library has none. Threads of one test
// allocate at once, so it is atomic.
std::atomic<int> fail_at{0};
std::atomic<int> count{0};
std::atomic<bool> triggered{false};
std::atomic<std::size_t> large_from{0};
}  // namespace

void FailAllocation(int n) noexcept {
  fail_at = 0;
  count = 0;
  triggered = false;
  fail_at = n;
}

int AllocationsSinceArmed() noexcept { return count; }

bool Triggered() noexcept { return triggered; }

void FailLargeSystemAllocations(std::size_t bytes) noexcept { large_from = bytes; }

static bool RefuseThisAllocation() noexcept {
  const int n = ++count;
  const int at = fail_at;
  if (at == 0 || n != at) return false;
  triggered = true;
  return true;
}

#ifndef _WIN32
// Only the Linux services allocate through the operator new below.
static bool RefuseSystemAllocation(std::size_t bytes) noexcept {
  const std::size_t from = large_from;
  return from != 0 && bytes >= from;
}
#endif
}  // namespace fault
#endif

// A block of zero bytes is still a block: one byte is asked for, so that
// only a real shortage comes back empty.
void* AllocateBlock(std::size_t bytes) noexcept {
  if (bytes == 0) bytes = 1;
#ifdef POVUPDATE_FAULT_INJECTION
  if (fault::RefuseThisAllocation()) return nullptr;
#endif
#ifdef _WIN32
  return CoTaskMemAlloc(bytes);
#else
  return std::malloc(bytes);
#endif
}

void FreeBlock(void* block) noexcept {
#ifdef _WIN32
  CoTaskMemFree(block);
#else
  std::free(block);
#endif
}

}  // namespace povupdate

#if defined(POVUPDATE_FAULT_INJECTION) && !defined(_WIN32)
// The Linux services beneath the library allocate with operator new; the
// seam makes them run out of memory as they would.
void* operator new(std::size_t bytes) {
  if (povupdate::fault::RefuseSystemAllocation(bytes)) throw std::bad_alloc();
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#endif
