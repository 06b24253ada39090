// The seams of the system's task allocator and the host's handler around a
// notification, on Windows.
//
// The counting and failing seams are an IMallocSpy: ole32 calls it around
// every CoTaskMemAlloc and CoTaskMemFree of the process, the plug-in's
// included, and the system allocator still does the work. The spy is
// registered while the program starts, before the first block is handed out.
//
// The handler is a structured exception handler frame on the stack, as a host
// puts around each notification. Code compiled by GCC registers no frames of
// its own, so the unwind back to the handler (msvcrt's longjmp unwinds the
// frame chain) runs no C++ destructors in the frames it abandons.
#include "platform/winapi.h"

#include <intrin.h>
#include <setjmp.h>

#include <mutex>

#include "platform/task_allocator_counts.h"

namespace {

class TaskAllocatorSpy final : public IMallocSpy, public gw::platform::TaskAllocatorCounts {
 public:
  // IUnknown: the spy is a static object that lives until the process ends,
  // so the reference count is not kept.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *object = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // A size of 0 makes the allocation fail.
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (failNext > 0) {
      --failNext;
      return 0;
    }
    return size == 0 ? 1 : size;
  }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (block != nullptr) {
      live.insert(block);
      ++allocations;
    }
    return block;
  }
  // A block this allocator did not hand out, or one freed before, is counted
  // and not freed (the system frees NULL as nothing).
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (live.erase(block) == 0) {
      ++badFrees;
      return nullptr;
    }
    ++frees;
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newRequest, BOOL) override {
    std::lock_guard<std::mutex> lock(mutex);
    live.erase(block);
    *newRequest = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (block != nullptr) live.insert(block);
    return block;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// Registers the spy once; never unregistered, since blocks it counted may be
// freed until the process ends.
TaskAllocatorSpy& Spy() {
  static TaskAllocatorSpy* spy = [] {
    auto* created = new TaskAllocatorSpy;
    CoRegisterMallocSpy(created);
    return created;
  }();
  return *spy;
}

// Registered while the program starts, so that every block is seen.
const bool kSpyRegistered = (Spy(), true);

}  // namespace

gw::platform::TaskAllocatorCounts& gw::platform::ProcessTaskAllocatorCounts() { return Spy(); }

// ---- The handler around a notification ------------------------------------------------

namespace {

// A frame of the thread's exception handler chain. The record must come
// first: the system finds the handler through it.
struct HandlerFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  jmp_buf target;
  int32_t handling;
  volatile int32_t raised;
  volatile uint32_t code;
};

bool IsSoftwareException(DWORD code) { return code < 0x40000000u; }

extern "C" EXCEPTION_DISPOSITION __cdecl NotificationHandler(EXCEPTION_RECORD* exception, void* establisher,
                                                             CONTEXT*, void*) {
  if ((exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      !IsSoftwareException(exception->ExceptionCode)) {
    return ExceptionContinueSearch;
  }
  HandlerFrame* frame = static_cast<HandlerFrame*>(establisher);
  frame->raised = 1;
  frame->code = exception->ExceptionCode;
  if (frame->handling == kExceptionResumes && (exception->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0) {
    return ExceptionContinueExecution;
  }
  // Unwinds every frame registered after this one, then resumes after the
  // setjmp below.
  longjmp(frame->target, 1);
}

}  // namespace

extern "C" int32_t CallWithExceptionHandler(void (*call)(void*), void* context, int32_t handling,
                                            uint32_t* code) {
  HandlerFrame frame;
  frame.handling = handling;
  frame.raised = 0;
  frame.code = 0;
  frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(NotificationHandler);
  frame.record.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
  __writefsdword(0, reinterpret_cast<DWORD>(&frame.record));
  if (setjmp(frame.target) == 0) call(context);
  __writefsdword(0, reinterpret_cast<DWORD>(frame.record.Next));
  if (frame.raised && code != nullptr) *code = frame.code;
  return frame.raised ? 1 : 0;
}
