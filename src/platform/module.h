// The library's own file name and resources: the kernel32 module and
// resource functions (GetModuleFileName, FindResource and friends) on
// Windows, and stand-ins for them elsewhere.
//
// Both always answer for the library that contains this code (found from the
// address of this code); the module handle the host passed in is not needed
// to find it.
#ifndef GRIDWRIGHT_PLATFORM_MODULE_H
#define GRIDWRIGHT_PLATFORM_MODULE_H

#include <stdint.h>

// Largest file name the module functions hand out, terminating zero included.
constexpr uint32_t kModuleFileNameSize = 260;

// Resource type of the version resource, and its name.
constexpr int32_t kResourceTypeVersion = 16;
#define kResourceNameVersion "#1"

// Writes the full file name of the library (the executable, when the code is
// linked into one) with its terminating zero into buffer and returns its
// length. Returns 0 and writes an empty string when the name cannot be found
// or does not fit in size bytes: a cut-off name would name another file.
uint32_t ModuleFileName(void* module, char* buffer, uint32_t size);

// Finds the library's resource of that type (its low 16 bits) and name (the
// case of letters does not matter). Returns 1 and sets *data and *size (the
// data stays the library's; it lives as long as the library), or 0 when there
// is no such resource.
int32_t ModuleFindResource(void* module, int32_t type, const char* name, const void** data, uint32_t* size);

#endif  // GRIDWRIGHT_PLATFORM_MODULE_H
