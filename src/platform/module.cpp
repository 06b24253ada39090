// The library's own file name (through dladdr) and its resource table.
#include "platform/module.h"

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
