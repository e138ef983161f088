// Counts the heap allocations of the whole process (the library's included)
// between a start and a stop, by standing in for glibc's malloc, calloc,
// realloc and free. Not thread-safe: count on one thread while no other
// allocates.
#pragma once

namespace povupdate::bench {

struct AllocationCount {
  long calls = 0;
  long bytes = 0;  // as requested
  // The most bytes held at once beyond those held at the start (blocks as
  // glibc sizes them), and those still held at the stop.
  long peak = 0;
  long held = 0;
};

void StartCountingAllocations();
AllocationCount StopCountingAllocations();

}  // namespace povupdate::bench
