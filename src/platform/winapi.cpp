// The shared stand-ins for ole32's task allocator and kernel32's RaiseException,
// and the host's handler around a notification.
#include "platform/winapi.h"

#include <cstdlib>
#include <mutex>

#include "platform/task_allocator_counts.h"

namespace {

using TaskAllocator = gw::platform::TaskAllocatorCounts;

TaskAllocator& Allocator() { return gw::platform::ProcessTaskAllocatorCounts(); }

}  // namespace

gw::platform::TaskAllocatorCounts& gw::platform::ProcessTaskAllocatorCounts() {
  static TaskAllocatorCounts* counts = new TaskAllocatorCounts;  // never destroyed: used until exit
  return *counts;
}

extern "C" void* CoTaskMemAlloc(size_t size) {
  TaskAllocator& a = Allocator();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.failNext > 0) {
    --a.failNext;
    return nullptr;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  a.live.insert(block);
  ++a.allocations;
  return block;
}

extern "C" void CoTaskMemFree(void* block) {
  if (block == nullptr) return;
  TaskAllocator& a = Allocator();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.live.erase(block) == 0) {
    ++a.badFrees;
    return;
  }
  ++a.frees;
  std::free(block);
}

namespace {

// The handler of the innermost CallWithExceptionHandler on this thread that
// resumes: RaiseException records the code there and returns.
struct ResumingHandler {
  bool raised = false;
  uint32_t code = 0;
};
thread_local ResumingHandler* gResumingHandler = nullptr;

}  // namespace

extern "C" void RaiseException(uint32_t code, uint32_t flags, uint32_t, const uintptr_t*) {
  if (gResumingHandler != nullptr && code < 0x40000000u) {
    gResumingHandler->raised = true;
    gResumingHandler->code = code;
    return;
  }
  throw SoftwareException{code, flags};
}

extern "C" int32_t CallWithExceptionHandler(void (*call)(void*), void* context, int32_t handling, uint32_t* code) {
  if (handling == kExceptionResumes) {
    ResumingHandler handler;
    ResumingHandler* outer = gResumingHandler;
    gResumingHandler = &handler;
    try {
      call(context);
    } catch (...) {
      gResumingHandler = outer;
      throw;
    }
    gResumingHandler = outer;
    if (handler.raised && code != nullptr) *code = handler.code;
    return handler.raised ? 1 : 0;
  }
  // A handler that ends the call hides any resuming handler further out.
  ResumingHandler* outer = gResumingHandler;
  gResumingHandler = nullptr;
  try {
    call(context);
  } catch (const SoftwareException& exception) {
    gResumingHandler = outer;
    if (exception.code >= 0x40000000u) throw;
    if (code != nullptr) *code = exception.code;
    return 1;
  } catch (...) {
    gResumingHandler = outer;
    throw;
  }
  gResumingHandler = outer;
  return 0;
}
