// Clean-up that runs however a call ends: when it returns, and when a
// software exception (the fatal stop) unwinds through it to the host.
//
// C++ destructors are not enough for that on Windows: the host's handler
// unwinds the structured exception without running them in a plug-in built
// by GCC. Here the clean-up hangs in the thread's exception handler chain
// instead, where every unwind finds it.
#ifndef GRIDWRIGHT_PLATFORM_CLEANUP_H
#define GRIDWRIGHT_PLATFORM_CLEANUP_H

// Calls body(context), then cleanup(context): after body returns, or while an
// exception unwinds out of body (the exception then goes on unchanged).
void CallWithCleanup(void (*body)(void*), void (*cleanup)(void*), void* context);

#endif  // GRIDWRIGHT_PLATFORM_CLEANUP_H
