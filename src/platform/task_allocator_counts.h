// The counts that the task allocator's test seams keep (around ole32's
// allocator on Windows, in its stand-in elsewhere); task_allocator_counts.cpp
// reads and resets them through the CoTaskMem* seam functions of winapi.h.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace gw::platform {

struct TaskAllocatorCounts {
  std::mutex mutex;                // guards every member
  std::unordered_set<void*> live;  // blocks handed out and not yet freed
  uint64_t allocations = 0;
  uint64_t frees = 0;
  uint64_t badFrees = 0;           // frees of blocks not handed out, or freed twice
  uint32_t failNext = 0;           // allocations still to fail
};

// The process's one set of counts, defined beside the platform's allocator.
TaskAllocatorCounts& ProcessTaskAllocatorCounts();

}  // namespace gw::platform
