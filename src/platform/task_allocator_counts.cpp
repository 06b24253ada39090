// The task allocator's test seams that read and reset its counts: the same on
// every platform, whatever keeps the counts.
#include "platform/task_allocator_counts.h"

#include "platform/winapi.h"

using gw::platform::ProcessTaskAllocatorCounts;
using gw::platform::TaskAllocatorCounts;

extern "C" uint64_t CoTaskMemAllocations(void) {
  std::lock_guard<std::mutex> lock(ProcessTaskAllocatorCounts().mutex);
  return ProcessTaskAllocatorCounts().allocations;
}

extern "C" uint64_t CoTaskMemFrees(void) {
  std::lock_guard<std::mutex> lock(ProcessTaskAllocatorCounts().mutex);
  return ProcessTaskAllocatorCounts().frees;
}

extern "C" uint64_t CoTaskMemLiveBlocks(void) {
  std::lock_guard<std::mutex> lock(ProcessTaskAllocatorCounts().mutex);
  return ProcessTaskAllocatorCounts().live.size();
}

extern "C" uint64_t CoTaskMemBadFrees(void) {
  std::lock_guard<std::mutex> lock(ProcessTaskAllocatorCounts().mutex);
  return ProcessTaskAllocatorCounts().badFrees;
}

extern "C" void CoTaskMemResetCounters(void) {
  TaskAllocatorCounts& counts = ProcessTaskAllocatorCounts();
  std::lock_guard<std::mutex> lock(counts.mutex);
  counts.allocations = counts.frees = counts.badFrees = 0;
  counts.failNext = 0;
}

extern "C" void CoTaskMemFailNext(uint32_t count) {
  std::lock_guard<std::mutex> lock(ProcessTaskAllocatorCounts().mutex);
  ProcessTaskAllocatorCounts().failNext = count;
}
