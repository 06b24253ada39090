// Catching the plug-in's fatal stop in a test the way the host does: under
// the handler of CallWithExceptionHandler, which on Windows is a structured
// exception handler and elsewhere catches the stand-in's C++ exception.
#ifndef GRIDWRIGHT_TESTS_FATAL_STOP_H
#define GRIDWRIGHT_TESTS_FATAL_STOP_H

#include <stdint.h>

#include "platform/winapi.h"

// The code of the software exception that ended callable, or 0 when it ran to
// its end.
template <typename Callable>
uint32_t FatalStopCode(Callable&& callable) {
  uint32_t code = 0;
  return CallWithExceptionHandler(callable, kExceptionEndsCall, &code) != 0 ? code : 0;
}

// Runs callable under a handler that resumes after each software exception;
// returns the code of the last one, or 0 when none was raised.
template <typename Callable>
uint32_t ResumedStopCode(Callable&& callable) {
  uint32_t code = 0;
  return CallWithExceptionHandler(callable, kExceptionResumes, &code) != 0 ? code : 0;
}

// Skips a test of sizes that only wrap where size_t is 32 bits wide.
#define SKIP_UNLESS_32_BIT_SIZES()                                               \
  if (SIZE_MAX > UINT32_MAX) GTEST_SKIP() << "size_t is 64 bits wide here"

#endif  // GRIDWRIGHT_TESTS_FATAL_STOP_H
