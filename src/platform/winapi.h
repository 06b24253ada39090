// Stand-ins for the few Windows system functions the plug-in and the host share:
// the COM task allocator (ole32) and structured exceptions (kernel32).
//
// On Windows these come from system libraries that the host and every plug-in
// load once per process. Here they live in one shared library, gw_winapi, so
// that the substitute host and the plug-in it loads share a single allocator
// and a single exception type, exactly as they would share ole32 and kernel32.
#ifndef GRIDWRIGHT_PLATFORM_WINAPI_H
#define GRIDWRIGHT_PLATFORM_WINAPI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define GW_WINAPI_EXPORT __declspec(dllimport)
#else
#define GW_WINAPI_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- The COM task allocator -------------------------------------------------

// Allocates size bytes (at least one). Returns NULL when memory is short or a
// test has asked for failures (CoTaskMemFailNext).
GW_WINAPI_EXPORT void* CoTaskMemAlloc(size_t size);

// Releases a block of CoTaskMemAlloc. NULL is accepted and ignored. Freeing a
// pointer that this allocator did not hand out, or freeing it twice, is
// counted as a bad free (CoTaskMemBadFrees) and otherwise ignored, so that
// tests can assert on it instead of crashing.
GW_WINAPI_EXPORT void CoTaskMemFree(void* block);

// Counters for tests: blocks handed out, blocks freed, blocks still live, and
// frees of unknown or already freed pointers. Counts run from process start
// or the last CoTaskMemResetCounters.
GW_WINAPI_EXPORT uint64_t CoTaskMemAllocations(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemFrees(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemLiveBlocks(void);
GW_WINAPI_EXPORT uint64_t CoTaskMemBadFrees(void);
GW_WINAPI_EXPORT void CoTaskMemResetCounters(void);

// Makes the next count calls of CoTaskMemAlloc fail (test seam).
GW_WINAPI_EXPORT void CoTaskMemFailNext(uint32_t count);

// ---- Structured exceptions ----------------------------------------------------

// Raises a software exception. On Windows the system unwinds to the nearest
// handler, which for a plug-in is the host's own around each notification.
// Here it throws SoftwareException (below); it never returns.
GW_WINAPI_EXPORT void RaiseException(uint32_t code, uint32_t flags, uint32_t argumentCount,
                                     const uintptr_t* arguments);

#ifdef __cplusplus
}  // extern "C"

// What RaiseException throws. Only the host side catches it (around each
// notification call); the plug-in's own code never does.
struct GW_WINAPI_EXPORT SoftwareException {
  uint32_t code;
  uint32_t flags;
};
#endif

#endif  // GRIDWRIGHT_PLATFORM_WINAPI_H
