// Property lists, typed values and text-item lists: the deep copy of host
// blocks into plug-in blocks, duplication and building inside the plug-in,
// and the releases of both kinds of block.
//
// Host blocks come from CoTaskMemAlloc and are released with the host-block
// releases (passing HostBlockFree); plug-in blocks come from the support
// library's heap (MemAlloc) and are freed with the Free* operations. A
// released record is left as {0, NULL}; the outer record itself belongs to
// the caller and is never freed.
#ifndef GRIDWRIGHT_HOST_PROPERTY_LISTS_H
#define GRIDWRIGHT_HOST_PROPERTY_LISTS_H

#include "host/fm_api.h"

typedef void* (*BlockAllocFunction)(size_t size);
typedef void (*BlockReleaseFunction)(void* block);

// The plug-in's allocator for copies (MemAlloc without the must-succeed flag)
// and its release (MemFree).
void* PluginBlockAlloc(size_t size);
void PluginBlockFree(void* block);

// The host's allocator (CoTaskMemAlloc) and its release (CoTaskMemFree) as
// plain functions: on 32-bit Windows the system's own are __stdcall and do
// not fit the function types above.
void* HostBlockAlloc(size_t size);
void HostBlockFree(void* block);

// ---- Deep copies from host blocks -----------------------------------------------------
// Each returns 0 on success and -1 when an allocation failed; on failure the
// blocks made so far are released with releaseOnFailure (which must match
// alloc; NULL picks HostBlockFree for HostBlockAlloc, else PluginBlockFree)
// and the destination is left empty ({0, NULL}, or a zeroed value), so
// it holds nothing that needs freeing. A source array pointer that is NULL, or
// a count of 0, gives {0, NULL}. NULL strings stay NULL. Type codes without a
// rule (11, 16, above 22) are copied as their 16 bytes and own nothing.

int32_t CopyPropertyList(PropertyList* dst, const PropertyList* src, BlockAllocFunction alloc,
                         BlockReleaseFunction releaseOnFailure = NULL);
int32_t CopyTypedValue(TypedValue* dst, const TypedValue* src, BlockAllocFunction alloc,
                       BlockReleaseFunction releaseOnFailure = NULL);
int32_t CopyTextItemList(TextItemList* dst, const TextItemList* src, BlockAllocFunction alloc,
                         BlockReleaseFunction releaseOnFailure = NULL);

// ---- Releases of host blocks (or of any blocks, given their release function) ----

void ReleasePropertyList(PropertyList* list, BlockReleaseFunction release);
void ReleaseTypedValue(TypedValue* value, BlockReleaseFunction release);
void ReleaseTextItemList(TextItemList* list, BlockReleaseFunction release);

// ---- Building inside the plug-in ---------------------------------------------------------

// n zeroed entries; {0, NULL} when the allocation fails.
PropertyList NewPropertyList(uint32_t n);
// Stores a duplicate of value under code: replaces the first entry with that
// code in place, or appends (growing the array to 8, 16, 32, ... entries).
// The caller keeps ownership of value. Returns 0, or -1 when memory is short
// (the list is then unchanged).
int32_t SetProperty(PropertyList* list, int32_t code, const TypedValue* value);
int32_t SetStringProperty(PropertyList* list, int32_t code, const char* string);
int32_t SetIntProperty(PropertyList* list, int32_t code, int32_t value);
// A duplicate whose NULL strings become empty strings. Returns 0, or -1 when
// memory is short (dst is then a zeroed value that owns nothing).
int32_t DuplicateTypedValue(TypedValue* dst, const TypedValue* src);
// A fresh copy; NULL gives a fresh empty string; NULL only when memory runs out.
char* DuplicateString(const char* s);

// ---- Freeing plug-in blocks ----------------------------------------------------------------
// Each accepts NULL and a list whose array pointer is NULL.

void FreePropertyList(PropertyList* list);
void FreeTypedValue(TypedValue* value);
void FreeTextItemList(TextItemList* list);
void FreeString(char** slot);

// The first entry with the given code, or NULL.
const PropEntry* FindProperty(const PropertyList* list, int32_t code);

#endif  // GRIDWRIGHT_HOST_PROPERTY_LISTS_H
