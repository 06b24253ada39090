// Loading a plug-in library through the system's dynamic loader.
#include "platform/library.h"

#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>

void* LibraryLoad(const char* path, char* why, size_t whySize) {
  if (why != nullptr && whySize > 0) why[0] = '\0';
  HMODULE library = LoadLibraryA(path);
  if (library == nullptr && why != nullptr && whySize > 0) {
    DWORD error = GetLastError();
    char message[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  message, sizeof message, nullptr);
    // The system's messages end in a line break.
    while (length > 0 && (message[length - 1] == '\n' || message[length - 1] == '\r' || message[length - 1] == ' ')) {
      message[--length] = '\0';
    }
    if (length > 0) {
      snprintf(why, whySize, "%s (error %lu)", message, static_cast<unsigned long>(error));
    } else {
      snprintf(why, whySize, "LoadLibrary failed with error %lu", static_cast<unsigned long>(error));
    }
  }
  return library;
}

void* LibrarySymbol(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
  void* address = nullptr;
  memcpy(&address, &symbol, sizeof address);
  return address;
}

void* LibraryModuleHandle(void* library, void* /*otherHandle*/) { return library; }

void LibraryUnload(void* library) {
  if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

size_t ProgramFileName(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

#else
#include <dlfcn.h>
#include <unistd.h>

void* LibraryLoad(const char* path, char* why, size_t whySize) {
  if (why != nullptr && whySize > 0) why[0] = '\0';
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr && why != nullptr && whySize > 0) {
    const char* reason = dlerror();
    snprintf(why, whySize, "%s", reason != nullptr ? reason : "dlopen failed");
  }
  return library;
}

void* LibrarySymbol(void* library, const char* name) {
  if (library == nullptr || name == nullptr) return nullptr;
  return dlsym(library, name);
}

void* LibraryModuleHandle(void* /*library*/, void* otherHandle) { return otherHandle; }

void LibraryUnload(void* library) {
  if (library != nullptr) dlclose(library);
}

size_t ProgramFileName(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  ssize_t length = readlink("/proc/self/exe", buffer, size);
  if (length <= 0 || static_cast<size_t>(length) >= size) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[length] = '\0';
  return static_cast<size_t>(length);
}

#endif
