// Clean-up in the exception handler chain (Windows) or a C++ handler (elsewhere).
#include "platform/cleanup.h"

#if defined(_WIN32)
#include <windows.h>
#include <intrin.h>

namespace {

// A frame of the thread's exception handler chain; the record comes first.
struct CleanupFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  void (*cleanup)(void*);
  void* context;
};

// Takes no part in handling; when an unwind passes the frame, runs the
// clean-up once.
extern "C" EXCEPTION_DISPOSITION __cdecl CleanupHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*,
                                                        void*) {
  if ((exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    CleanupFrame* frame = static_cast<CleanupFrame*>(establisher);
    void (*cleanup)(void*) = frame->cleanup;
    frame->cleanup = nullptr;
    if (cleanup != nullptr) cleanup(frame->context);
  }
  return ExceptionContinueSearch;
}

}  // namespace

void CallWithCleanup(void (*body)(void*), void (*cleanup)(void*), void* context) {
  CleanupFrame frame;
  frame.cleanup = cleanup;
  frame.context = context;
  frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(CleanupHandler);
  frame.record.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
  __writefsdword(0, reinterpret_cast<DWORD>(&frame.record));
  body(context);
  __writefsdword(0, reinterpret_cast<DWORD>(frame.record.Next));
  cleanup(context);
}

#else

void CallWithCleanup(void (*body)(void*), void (*cleanup)(void*), void* context) {
  try {
    body(context);
  } catch (...) {
    cleanup(context);
    throw;
  }
  cleanup(context);
}

#endif
