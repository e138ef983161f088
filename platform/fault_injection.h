// Test seam of the general allocator, built only into the test library:
// makes a chosen allocation come back empty, so every failure path can be
// driven through the exports.
#pragma once

#ifdef POVUPDATE_FAULT_INJECTION

namespace povupdate::fault {

// The n-th allocation from now (1 is the next one) comes back empty; 0 turns
// the seam off. Only that one allocation fails.
void FailAllocation(int n) noexcept;
// Allocations made since the last FailAllocation call.
int AllocationsSinceArmed() noexcept;
// True once the armed allocation has been refused.
bool Triggered() noexcept;

}  // namespace povupdate::fault

#endif
