// Heap blocks with a single failure policy, and the fatal stop.
#include "support/memory.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/winapi.h"

namespace {

// Test seam: allocations to let through, then allocations to fail.
uint32_t gSuccessesBeforeFailure = 0;
uint32_t gFailuresPending = 0;
uint64_t gAllocations = 0;
uint32_t gFailures = 0;
// Blocks live now (test seam).
uint64_t gLiveBlocks = 0;

// Advances the seam by one allocation; true when this allocation fails.
bool SeamFailsThisAllocation() {
  ++gAllocations;
  if (gFailuresPending == 0) {
    return false;
  }
  if (gSuccessesBeforeFailure > 0) {
    --gSuccessesBeforeFailure;
    return false;
  }
  --gFailuresPending;
  return true;
}

// The single failure policy: NULL goes back to the caller unless the caller
// asked for a must-succeed allocation.
void* Checked(void* block, uint32_t flags) {
  if (block == nullptr) ++gFailures;
  if (block == nullptr && (flags & kMemMustSucceed) != 0) {
    FatalError();
  }
  return block;
}

void* Counted(void* block) {
  if (block != nullptr) ++gLiveBlocks;
  return block;
}

void Released(void* block) {
  if (block != nullptr) --gLiveBlocks;
  free(block);
}

}  // namespace

void* MemAlloc(size_t size, uint32_t flags) {
  void* block = SeamFailsThisAllocation() ? nullptr : Counted(malloc(size == 0 ? 1 : size));
  return Checked(block, flags);
}

void* MemAllocZeroed(size_t count, size_t size, uint32_t flags) {
  void* block = nullptr;
  // A product that does not fit in size_t is a failed allocation.
  const bool overflows = size != 0 && count > SIZE_MAX / size;
  if (!SeamFailsThisAllocation() && !overflows) {
    block = Counted((count == 0 || size == 0) ? calloc(1, 1) : calloc(count, size));
  }
  return Checked(block, flags);
}

void* MemRealloc(void* block, size_t size, uint32_t flags) {
  void* resized = SeamFailsThisAllocation() ? nullptr : realloc(block, size == 0 ? 1 : size);
  if (block == nullptr) Counted(resized);
  return Checked(resized, flags);
}

int32_t MemFree(void* block) {
  Released(block);
  return 0;
}

int32_t MemFreeAt(void* holderAddress) {
  if (holderAddress != nullptr) {
    void* block = nullptr;
    memcpy(&block, holderAddress, sizeof block);
    Released(block);
  }
  return 0;
}

int32_t MemZero(void* block, size_t length) {
  if (block == nullptr) {
    return 1;
  }
  memset(block, 0, length);
  return 0;
}

void FatalError(void) {
  // Usually the host's handler ends the notification here. A handler may
  // resume execution instead; then this returns, and so do the callers.
  RaiseException(1, 0, 0, nullptr);
}

uint64_t MemAllocationCount(void) { return gAllocations; }

uint32_t MemFailureCount(void) { return gFailures; }

void MemFailNextAllocations(uint32_t count) { MemFailNextAllocationsAfter(0, count); }

void MemFailNextAllocationsAfter(uint32_t successes, uint32_t count) {
  gSuccessesBeforeFailure = successes;
  gFailuresPending = count;
}

uint64_t MemLiveBlocks(void) { return gLiveBlocks; }
