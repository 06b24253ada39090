// The library's version resource. On Windows it is the resource compiled
// from gridwright.rc, read with version.dll; elsewhere, and on Windows while a
// test has put in strings of its own, it is a stand-in block built from the
// strings of version_info.h.
#include "platform/version_resource.h"

#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <string>

#include "platform/module.h"

namespace {

const VersionString* gStrings = kVersionStrings;
uint32_t gStringCount = kVersionStringCount;
bool gBlockBuilt = false;

// The built block; rebuilt when the test seam changes the strings.
std::string& Block() {
  static std::string block;  // destroyed when the library is unloaded
  return block;
}

void BuildBlock() {
  std::string& block = Block();
  block.assign(sizeof(uint32_t), '\0');
  for (uint32_t i = 0; i < gStringCount; ++i) {
    block += "\\StringFileInfo\\" GW_VERSION_BLOCK "\\";
    block += gStrings[i].key;
    block.push_back('\0');
    block += gStrings[i].value;
    block.push_back('\0');
  }
  block.push_back('\0');
  uint32_t size = static_cast<uint32_t>(block.size());
  memcpy(block.data(), &size, sizeof size);
  gBlockBuilt = true;
}

#if defined(_WIN32)
// True while the test seam has strings of its own in: the stand-in block
// serves then instead of the compiled resource.
bool StandInServes() { return gStrings != kVersionStrings; }
#endif

}  // namespace

const void* VersionResourceBlock(uint32_t* size) {
#if defined(_WIN32)
  if (!StandInServes()) {
    const void* data = nullptr;
    uint32_t dataSize = 0;
    ModuleFindResource(nullptr, kResourceTypeVersion, kResourceNameVersion, &data, &dataSize);
    if (size != nullptr) *size = dataSize;
    return data;
  }
#endif
  if (!gBlockBuilt) BuildBlock();
  if (size != nullptr) *size = static_cast<uint32_t>(Block().size());
  return Block().data();
}

int32_t VersionResourceLoad(const char* fileName, void* buffer, uint32_t size) {
  if (fileName == nullptr || buffer == nullptr) return 0;
#if defined(_WIN32)
  if (!StandInServes()) {
    DWORD needed = GetFileVersionInfoSizeA(fileName, nullptr);
    if (needed == 0 || needed > size) return 0;
    return GetFileVersionInfoA(fileName, 0, size, buffer) ? 1 : 0;
  }
#endif
  char ownName[kModuleFileNameSize];
  if (ModuleFileName(nullptr, ownName, sizeof ownName) == 0 || strcmp(ownName, fileName) != 0) return 0;
  uint32_t blockSize = 0;
  const void* block = VersionResourceBlock(&blockSize);
  if (blockSize > size) return 0;
  memcpy(buffer, block, blockSize);
  return 1;
}

int32_t VersionResourceQuery(const void* block, const char* path, const char** value) {
  if (value != nullptr) *value = nullptr;
  if (block == nullptr || path == nullptr || value == nullptr) return 0;
#if defined(_WIN32)
  if (!StandInServes()) {
    void* found = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, path, &found, &length) || found == nullptr) return 0;
    *value = static_cast<const char*>(found);
    return 1;
  }
#endif
  uint32_t blockSize = 0;
  memcpy(&blockSize, block, sizeof blockSize);
  const char* cursor = static_cast<const char*>(block) + sizeof blockSize;
  const char* end = static_cast<const char*>(block) + blockSize;
  // Each pair is two zero-terminated strings; an empty path ends the table.
  while (cursor < end && *cursor != '\0') {
    const char* entryPath = cursor;
    const char* pathEnd = static_cast<const char*>(memchr(entryPath, '\0', end - entryPath));
    if (pathEnd == nullptr || pathEnd + 1 >= end) return 0;
    const char* entryValue = pathEnd + 1;
    const char* valueEnd = static_cast<const char*>(memchr(entryValue, '\0', end - entryValue));
    if (valueEnd == nullptr) return 0;
    if (strcmp(entryPath, path) == 0) {
      *value = entryValue;
      return 1;
    }
    cursor = valueEnd + 1;
  }
  return 0;
}

void VersionResourceSetStringsForTesting(const VersionString* strings, uint32_t count) {
  if (strings == nullptr && count == 0) {
    gStrings = kVersionStrings;
    gStringCount = kVersionStringCount;
  } else {
    gStrings = strings;
    gStringCount = strings == nullptr ? 0 : count;
  }
  gBlockBuilt = false;
}
