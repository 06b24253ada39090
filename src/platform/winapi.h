// The few Windows system functions the plug-in and the host share: the COM
// task allocator (ole32) and structured exceptions (kernel32), with the
// counting and failing seams the tests and the substitute host use, and the
// host's handler around a notification.
//
// On Windows the system's own functions are used, from <windows.h>; the seams
// wrap the task allocator (an IMallocSpy registered by gw_winapi) without
// replacing it. Elsewhere gw_winapi is one shared library of stand-ins, so
// that the substitute host and the plug-in it loads share a single allocator
// and a single exception type, exactly as they would share ole32 and kernel32.
#ifndef GRIDWRIGHT_PLATFORM_WINAPI_H
#define GRIDWRIGHT_PLATFORM_WINAPI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#include <objbase.h>
#define GW_WINAPI_EXPORT
#else
#define GW_WINAPI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)
// ---- Stand-ins for the system functions ----------------------------------------

// Allocates size bytes (at least one). Returns NULL when memory is short or a
// test has asked for failures (CoTaskMemFailNext).
GW_WINAPI_EXPORT void* CoTaskMemAlloc(size_t size);

// Releases a block of CoTaskMemAlloc. NULL is accepted and ignored. Freeing a
// pointer that this allocator did not hand out, or freeing it twice, is
// counted as a bad free (CoTaskMemBadFrees) and otherwise ignored, so that
// tests can assert on it instead of crashing.
GW_WINAPI_EXPORT void CoTaskMemFree(void* block);

// Raises a software exception. The system unwinds to the nearest handler,
// which for a plug-in is the host's own around each notification. Here it
// throws SoftwareException (below), unless the handler of
// CallWithExceptionHandler resumes, in which case it returns.
GW_WINAPI_EXPORT void RaiseException(uint32_t code, uint32_t flags, uint32_t argumentCount,
                                     const uintptr_t* arguments);
#endif  // !_WIN32

// ---- Seams of the task allocator ------------------------------------------------

// Counters: blocks handed out, blocks freed, blocks still live, and frees of
// unknown or already freed pointers. Counts run from process start (on
// Windows, from the first use of a counter or the seam) or the last
// CoTaskMemResetCounters.
GW_WINAPI_EXPORT uint64_t CoTaskMemAllocations(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemFrees(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemLiveBlocks(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemBadFrees(void);
GW_WINAPI_EXPORT void CoTaskMemResetCounters(void);

// Makes the next count calls of CoTaskMemAlloc fail.
GW_WINAPI_EXPORT void CoTaskMemFailNext(uint32_t count);

// ---- The host's handler around a notification --------------------------------------

// What the handler does with a software exception raised inside the call.
enum {
  // The exception ends the call: the frames between the raise and the
  // handler are abandoned. On Windows their C++ destructors do not run, as
  // under a real host's handler.
  kExceptionEndsCall = 0,
  // RaiseException returns to its caller and the call goes on, as a host
  // handler that resumes execution allows.
  kExceptionResumes = 1,
};

// Runs call(context) under a handler for software exceptions (codes below
// 0x40000000, as RaiseException(1, 0, 0, NULL) raises). Returns 0 when the
// call ran to its end without one, 1 when one was raised; *code (may be
// NULL) then holds the code of the last. Other exceptions pass by.
GW_WINAPI_EXPORT int32_t CallWithExceptionHandler(void (*call)(void*), void* context, int32_t handling,
                                                  uint32_t* code);

#ifdef __cplusplus
}  // extern "C"

#include <type_traits>

#if !defined(_WIN32)
// What the stand-in RaiseException throws. Only CallWithExceptionHandler
// catches it; the plug-in's own code never does.
struct GW_WINAPI_EXPORT SoftwareException {
  uint32_t code;
  uint32_t flags;
};
#endif

// Runs a callable under CallWithExceptionHandler.
template <typename Callable>
int32_t CallWithExceptionHandler(Callable&& callable, int32_t handling, uint32_t* code) {
  using Plain = std::remove_reference_t<Callable>;
  return CallWithExceptionHandler([](void* context) { (*static_cast<Plain*>(context))(); },
                                  const_cast<void*>(static_cast<const void*>(&callable)), handling, code);
}
#endif  // __cplusplus

#endif  // GRIDWRIGHT_PLATFORM_WINAPI_H
