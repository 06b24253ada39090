// File paths: path records, normalisation, variable expansion and splitting a
// path into directory and file name, for local paths and network file names.
//
// Both "\" and "/" separate components; ":" ends a drive prefix. Scanning is
// aware of the host encoding, so the second byte of a two-byte character is
// never taken for a separator, colon or dot. Network file names (as the
// network-file library tells them) are neither expanded nor normalised. The
// scanning itself (CopyBounded, FindLastChar, ...) is in support/text_encoding.h.
#ifndef GRIDWRIGHT_SUPPORT_PATHS_H
#define GRIDWRIGHT_SUPPORT_PATHS_H

#include <stddef.h>
#include <stdint.h>

// Buffer sizes: a path work buffer (4095 characters and the zero) and a file
// name buffer (1022 characters and the zero).
constexpr size_t kPathBufferSize = 4096;
constexpr size_t kFileNameBufferSize = 1023;

// The tag that marks a PathRecord ("path").
constexpr uint32_t kPathRecordTag = 0x70617468;
// Flag set in PathRecord::flags by PathFromString.
constexpr uint16_t kPathFlagNormalized = 0x10;

// A path made by PathFromString. The record owns its text; release both with
// PathFree.
struct PathRecord {
  uint32_t tag;          // kPathRecordTag
  uint16_t flags;        // bit 0 clear, bit 4 (kPathFlagNormalized) set
  char* text;            // normalised path, at most kPathBufferSize - 1 bytes
  uint32_t reserved[4];  // left zero
};

// ---- Path records -------------------------------------------------------------

// A new record holding the normalised fileName, or NULL for a NULL or empty
// name, when normalisation leaves nothing, or when memory is short.
PathRecord* PathFromString(const char* fileName);

// Releases a record and its text. NULL is accepted.
void PathFree(PathRecord* path);

// A fresh copy (MemFree) of the path's file name; a path ending in "\" gives
// the name of its last folder. NULL for a NULL record or when memory is short.
char* PathFileName(const PathRecord* path);

// ---- Splitting ----------------------------------------------------------------

// 0 when the network-file library counts s as a network file name, else 1
// (also for NULL).
int32_t IsLocalPath(const char* s);

// Index in path where the file name begins: just after the later of the last
// "\" and the last ":", or 0. "/" plays no part.
size_t FileNameStart(const char* path);

// Fills directory (kPathBufferSize bytes, may be NULL) and name
// (kFileNameBufferSize bytes) from path. Local paths split at FileNameStart; a
// root such as "\" or "C:\" keeps its separator. Network file names split at
// the last "/" and the name is decoded with DecodeUrlName.
void SplitPath(const char* path, char* directory, char* name);

// ---- Rewriting in place -------------------------------------------------------

// Normalises the path in buffer (kPathBufferSize bytes) in place: expands
// variables, unifies separators on the first one met, drops "." components,
// resolves ".." and collapses doubled separators (a leading "\\" pair stays).
// Network file names are left unchanged.
void NormalizePath(char* buffer);

// Expands "$NAME" (up to the next separator) from the process environment and
// drops a leading "~", in place in buffer (kPathBufferSize bytes). Undefined
// variables stay as written.
void ExpandPathVariables(char* buffer);

// Decodes a file name taken from a network file name in place: "/" becomes
// "\" and "%XX" (two hex digits, value not 0) becomes that byte.
void DecodeUrlName(char* name);

#endif  // GRIDWRIGHT_SUPPORT_PATHS_H
