// Test seam of the general allocator, built only into the test library:
// makes a chosen allocation come back empty, so every failure path can be
// driven through the exports.
#pragma once

#ifdef POVUPDATE_FAULT_INJECTION

#include <cstddef>

namespace povupdate::fault {

// The n-th allocation from now (1 is the next one) comes back empty; 0 turns
// the seam off. Only that one allocation fails.
void FailAllocation(int n) noexcept;
// Allocations made since the last FailAllocation call.
int AllocationsSinceArmed() noexcept;
// True once the armed allocation has been refused.
bool Triggered() noexcept;

// Linux: every allocation of at least `bytes` bytes through operator new,
// as the system services make them, throws std::bad_alloc from now on; 0
// turns this off.
void FailLargeSystemAllocations(std::size_t bytes) noexcept;

}  // namespace povupdate::fault

#endif
