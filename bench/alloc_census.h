// Counts the heap allocations of the process by whose code asked for them: the executable's own
// code (the viewer's sources, the decoder compiled into it, the generated loader) or a library.
#pragma once

#include <cstdint>

struct AllocationCount {
  std::uint64_t ownBytes = 0;
  std::uint64_t ownCalls = 0;
  std::uint64_t otherBytes = 0;
  std::uint64_t otherCalls = 0;
};

// Counting runs only when the process started with ZV_ALLOC_CENSUS=1 in its environment.
bool allocationCensusActive();

// Allocations from now on, on any thread, are counted under `stage` (0 .. 63). Stage 0 holds
// everything before the first call, static initialisation included.
void setAllocationStage(int stage);
AllocationCount allocationsOfStage(int stage);
