// Heap blocks with a single failure policy, and the library's fatal stop.
//
// Every block comes from MemAlloc, MemAllocZeroed or MemRealloc and is
// released with MemFree (or MemFreeAt). Without kMemMustSucceed a failed
// allocation returns NULL and the caller copes; with it the allocation ends in
// FatalError, which returns to the caller only when the host resumes.
#ifndef GRIDWRIGHT_SUPPORT_MEMORY_H
#define GRIDWRIGHT_SUPPORT_MEMORY_H

#include <stddef.h>
#include <stdint.h>

// Bit 0 of the flags argument: a failed allocation is fatal instead of NULL.
constexpr uint32_t kMemMustSucceed = 1;

// ---- Allocation ---------------------------------------------------------------

// Returns an uninitialised block of size bytes (a block of at least one byte
// for size 0), or NULL when memory is short and kMemMustSucceed is clear.
void* MemAlloc(size_t size, uint32_t flags);

// Returns count * size zero bytes, or NULL when memory is short (or when the
// product does not fit in size_t) and kMemMustSucceed is clear.
void* MemAllocZeroed(size_t count, size_t size, uint32_t flags);

// Resizes block (NULL allocates afresh) to size bytes, keeping the contents.
// On failure returns NULL and the old block stays valid and owned by the
// caller (unless kMemMustSucceed is set, which makes the failure fatal).
void* MemRealloc(void* block, size_t size, uint32_t flags);

// ---- Release and clearing -----------------------------------------------------

// Releases a block of this library. NULL is accepted. Always returns 0.
int32_t MemFree(void* block);

// holderAddress is the address of a block pointer (for example a char**).
// Releases the block it points at (a NULL block is accepted). The holder itself
// is NOT cleared. Always returns 0; a NULL holderAddress does nothing.
int32_t MemFreeAt(void* holderAddress);

// Sets length bytes of block to 0. Returns 0, or 1 for a NULL block.
int32_t MemZero(void* block, size_t length);

// ---- Fatal stop ---------------------------------------------------------------

// Raises the software exception of code 1 (no flags, no arguments) that ends
// the current host notification. Reached by a must-succeed allocation that
// fails and by MetricDiv with a divisor of 0. Returns only when the host's
// handler resumes execution; a must-succeed allocation then returns NULL.
void FatalError(void);

// ---- Failure count -------------------------------------------------------------

// How many allocations have failed since the library was loaded. A change of
// this count across a piece of work tells that memory ran short during it,
// even where the code that met the failure coped silently.
uint32_t MemFailureCount(void);

// ---- Test seam ----------------------------------------------------------------

// Makes the next count allocations (MemAlloc, MemAllocZeroed, MemRealloc)
// fail as if memory were short. 0 switches the seam off.
void MemFailNextAllocations(uint32_t count);

// Lets the next successes allocations through, then makes count fail.
void MemFailNextAllocationsAfter(uint32_t successes, uint32_t count);

// How many allocations (MemAlloc, MemAllocZeroed, MemRealloc) were asked for
// since the library was loaded, failed ones included.
uint64_t MemAllocationCount(void);

// Blocks handed out by the allocation functions and not yet released, from
// the start of the process (a resize keeps the count).
uint64_t MemLiveBlocks(void);

#endif  // GRIDWRIGHT_SUPPORT_MEMORY_H
