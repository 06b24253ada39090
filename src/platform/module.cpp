// The library's own file name and its resource table: through the kernel32
// module and resource functions on Windows, through dladdr elsewhere.
#include "platform/module.h"

#if defined(_WIN32)
#include <windows.h>

namespace {

// The module that holds this code: the plug-in library, or the executable
// the code is linked into.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&OwnModule), &module)) {
    return nullptr;
  }
  return module;
}

}  // namespace

uint32_t ModuleFileName(void* /*module*/, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  HMODULE module = OwnModule();
  if (module == nullptr) return 0;
  DWORD length = GetModuleFileNameA(module, buffer, size);
  // A name that filled the buffer was cut off (and is unterminated on older systems).
  if (length == 0 || length >= size) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<uint32_t>(length);
}

int32_t ModuleFindResource(void* /*module*/, int32_t type, const char* name, const void** data, uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (name == nullptr || data == nullptr || size == nullptr) return 0;
  HMODULE module = OwnModule();
  if (module == nullptr) return 0;
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(type & 0xFFFF));
  if (found == nullptr) return 0;
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return 0;
  *data = bytes;
  *size = SizeofResource(module, found);
  return 1;
}

#else
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/version_resource.h"

uint32_t ModuleFileName(void* /*module*/, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] == '\0') {
    return 0;
  }
  // dladdr gives the name the library was loaded by; the host expects a full one.
  char fullName[PATH_MAX];
  const char* name = realpath(info.dli_fname, fullName) != nullptr ? fullName : info.dli_fname;
  size_t length = strlen(name);
  if (length + 1 > size) return 0;
  memcpy(buffer, name, length + 1);
  return static_cast<uint32_t>(length);
}

int32_t ModuleFindResource(void* /*module*/, int32_t type, const char* name, const void** data, uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  if (name == nullptr || data == nullptr || size == nullptr) return 0;
  // The library's resources: the version resource is its only one.
  if ((type & 0xFFFF) == kResourceTypeVersion && strcasecmp(name, kResourceNameVersion) == 0) {
    *data = VersionResourceBlock(size);
    return 1;
  }
  return 0;
}

#endif  // _WIN32
