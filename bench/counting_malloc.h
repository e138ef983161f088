// Counts the heap allocations of the whole process (the library's included)
// between a start and a stop, by standing in for glibc's malloc, calloc and
// realloc. Not thread-safe: count on one thread while no other allocates.
#pragma once

namespace povupdate::bench {

struct AllocationCount {
  long calls = 0;
  long bytes = 0;  // as requested
};

void StartCountingAllocations();
AllocationCount StopCountingAllocations();

}  // namespace povupdate::bench
