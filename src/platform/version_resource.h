// The library's version resource: on Windows read with the version.dll
// functions (GetFileVersionInfo, VerQueryValue) from the resource compiled
// from gridwright.rc, elsewhere a stand-in for them.
//
// Both are built from the strings of platform/version_info.h. The stand-in's
// block holds, after a 32-bit total size, one "path\0value\0" pair per string
// (paths like "\StringFileInfo\040904b0\ClientName") and a closing zero byte.
#ifndef GRIDWRIGHT_PLATFORM_VERSION_RESOURCE_H
#define GRIDWRIGHT_PLATFORM_VERSION_RESOURCE_H

#include <stdint.h>

#include "platform/version_info.h"

// The version resource block of the library and its size in bytes. The block
// stays valid until the next VersionResourceSetStringsForTesting.
const void* VersionResourceBlock(uint32_t* size);

// Copies the version resource of the file into buffer. Only the library's own
// file (ModuleFileName) has one here. Returns 1, or 0 when the file has none
// or the resource does not fit in size bytes.
int32_t VersionResourceLoad(const char* fileName, void* buffer, uint32_t size);

// Looks up path in a block read by VersionResourceLoad. Returns 1 and points
// *value at the zero-terminated value inside the block, or 0 (and NULL) when
// the block has no such path.
int32_t VersionResourceQuery(const void* block, const char* path, const char** value);

// Test seam: builds the resource from these strings instead of
// kVersionStrings (on Windows: serves the stand-in block built from them
// instead of the compiled resource); (NULL, 0) restores the library's own. The strings must
// outlive their use.
void VersionResourceSetStringsForTesting(const VersionString* strings, uint32_t count);

#endif  // GRIDWRIGHT_PLATFORM_VERSION_RESOURCE_H
