// The allocation seam of the plug-in, exported by the fault-sweep build of the
// plug-in (gridwright_faults) so that the sweep can make its allocations fail.
// The plug-in people install has no such exports.
#include <stdint.h>

#include "support/memory.h"

extern "C" {

// Lets `successes` allocations of the plug-in through, then fails `count`.
__attribute__((visibility("default"))) void GridwrightFailAllocationsAfter(uint32_t successes, uint32_t count) {
  MemFailNextAllocationsAfter(successes, count);
}

// Allocations the plug-in asked for since it was loaded.
__attribute__((visibility("default"))) uint64_t GridwrightAllocationCount(void) { return MemAllocationCount(); }

}  // extern "C"
