// Loading a plug-in library into the host process: LoadLibrary and
// GetProcAddress on Windows, dlopen and dlsym elsewhere.
#ifndef GRIDWRIGHT_PLATFORM_LIBRARY_H
#define GRIDWRIGHT_PLATFORM_LIBRARY_H

#include <stddef.h>

// The plug-in library's file name on this system.
#if defined(_WIN32)
#define GW_PLUGIN_FILE_NAME "gridwright.dll"
#else
#define GW_PLUGIN_FILE_NAME "gridwright.so"
#endif

// Loads the library at path, with every symbol resolved now. Returns its
// handle, or NULL with the system's reason in why (whySize bytes, always
// terminated; why may be NULL).
void* LibraryLoad(const char* path, char* why, size_t whySize);

// The address of the exported symbol name, or NULL when the library has none.
void* LibrarySymbol(void* library, const char* name);

// The module handle of a loaded library as the host hands it to the plug-in:
// the library's instance handle on Windows; elsewhere there is none, and
// otherHandle is returned.
void* LibraryModuleHandle(void* library, void* otherHandle);

// Unloads a library of LibraryLoad. NULL is accepted.
void LibraryUnload(void* library);

// Writes the running program's full file name with its terminating zero into
// buffer and returns its length, or 0 (and an empty string) when it cannot be
// found or does not fit in size bytes.
size_t ProgramFileName(char* buffer, size_t size);

#endif  // GRIDWRIGHT_PLATFORM_LIBRARY_H
