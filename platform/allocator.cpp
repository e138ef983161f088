#include "platform/allocator.h"

#include "platform/fault_injection.h"

#ifdef _WIN32
#include <objbase.h>
#else
#include <cstdlib>
#endif

namespace povupdate {

#ifdef POVUPDATE_FAULT_INJECTION
namespace fault {
namespace {
// Test-only state; the shipped library has none.
int fail_at = 0;
int count = 0;
bool triggered = false;
}  // namespace

void FailAllocation(int n) noexcept {
  fail_at = n;
  count = 0;
  triggered = false;
}

int AllocationsSinceArmed() noexcept { return count; }

bool Triggered() noexcept { return triggered; }

static bool RefuseThisAllocation() noexcept {
  ++count;
  if (fail_at == 0 || count != fail_at) return false;
  triggered = true;
  return true;
}
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
