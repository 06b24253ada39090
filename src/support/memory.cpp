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
uint64_t gLiveBlockCount = 0;

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

// Every live block has a header in front of it that links it into the list
// of live blocks and names the notification that allocated it (0: none), so
// that the blocks of a notification that ended in the fatal stop can be found.
// The header keeps the block aligned as malloc's own blocks are.
struct alignas(alignof(max_align_t)) BlockHeader {
  BlockHeader* previous;
  BlockHeader* next;
  size_t size;  // as asked for
  uint32_t notification;
};

BlockHeader* gLiveBlocks = nullptr;
uint32_t gNotification = 0;      // the notification running now, 0 between them
uint32_t gLastNotification = 0;  // the newest notification number given out

void Link(BlockHeader* header) {
  header->previous = nullptr;
  header->next = gLiveBlocks;
  if (gLiveBlocks != nullptr) gLiveBlocks->previous = header;
  gLiveBlocks = header;
  ++gLiveBlockCount;
}

void Unlink(BlockHeader* header) {
  if (header->previous != nullptr) {
    header->previous->next = header->next;
  } else {
    gLiveBlocks = header->next;
  }
  if (header->next != nullptr) header->next->previous = header->previous;
  --gLiveBlockCount;
}

BlockHeader* HeaderOf(void* block) { return static_cast<BlockHeader*>(block) - 1; }

// A block of size bytes after a fresh header (raw is malloc's or calloc's
// answer for size + the header), or NULL.
void* Adopt(void* raw, size_t size) {
  if (raw == nullptr) return nullptr;
  BlockHeader* header = static_cast<BlockHeader*>(raw);
  header->size = size;
  header->notification = gNotification;
  Link(header);
  return header + 1;
}

}  // namespace

void* MemAlloc(size_t size, uint32_t flags) {
  void* block = nullptr;
  if (!SeamFailsThisAllocation() && size <= SIZE_MAX - sizeof(BlockHeader)) {
    block = Adopt(malloc(sizeof(BlockHeader) + (size == 0 ? 1 : size)), size);
  }
  return Checked(block, flags);
}

void* MemAllocZeroed(size_t count, size_t size, uint32_t flags) {
  void* block = nullptr;
  // A product that does not fit in size_t is a failed allocation.
  const bool overflows = size != 0 && count > (SIZE_MAX - sizeof(BlockHeader)) / size;
  if (!SeamFailsThisAllocation() && !overflows) {
    block = Adopt(calloc(1, sizeof(BlockHeader) + ((count == 0 || size == 0) ? 1 : count * size)), count * size);
  }
  return Checked(block, flags);
}

void* MemRealloc(void* block, size_t size, uint32_t flags) {
  if (block == nullptr) return MemAlloc(size, flags);
  void* resized = nullptr;
  if (!SeamFailsThisAllocation() && size <= SIZE_MAX - sizeof(BlockHeader)) {
    BlockHeader* header = HeaderOf(block);
    uint32_t notification = header->notification;
    // The old header leaves the list first: realloc may move it.
    Unlink(header);
    void* raw = realloc(header, sizeof(BlockHeader) + (size == 0 ? 1 : size));
    BlockHeader* kept = static_cast<BlockHeader*>(raw != nullptr ? raw : header);
    kept->notification = notification;
    Link(kept);
    if (raw != nullptr) {
      kept->size = size;
      resized = kept + 1;
    }
  }
  return Checked(resized, flags);
}

int32_t MemFree(void* block) {
  if (block == nullptr) return 0;
  BlockHeader* header = HeaderOf(block);
  Unlink(header);
  free(header);
  return 0;
}

int32_t MemFreeAt(void* holderAddress) {
  if (holderAddress != nullptr) {
    void* block = nullptr;
    memcpy(&block, holderAddress, sizeof block);
    MemFree(block);
  }
  return 0;
}

size_t MemSize(const void* block) {
  return block == nullptr ? 0 : (static_cast<const BlockHeader*>(block) - 1)->size;
}

void MemBeginNotification(void) {
  MemReleaseStranded();
  gNotification = ++gLastNotification;
  if (gNotification == 0) gNotification = ++gLastNotification;  // 0 means none
}

void MemEndNotification(void) { gNotification = 0; }

size_t MemReleaseStranded(void) {
  if (gNotification == 0) return 0;
  size_t released = 0;
  for (BlockHeader* header = gLiveBlocks; header != nullptr;) {
    BlockHeader* next = header->next;
    if (header->notification == gNotification) {
      Unlink(header);
      free(header);
      ++released;
    }
    header = next;
  }
  gNotification = 0;
  return released;
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

uint64_t MemLiveBlocks(void) { return gLiveBlockCount; }
