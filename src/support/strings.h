// Operations on zero-terminated 8-bit strings in the host encoding.
//
// Every operation treats a NULL string as the empty string unless its comment
// says otherwise. Strings returned fresh (StrNew, StrDup) belong to the caller,
// who releases them with MemFree. Sizes are whole buffer sizes in bytes,
// terminating zero included.
#ifndef GRIDWRIGHT_SUPPORT_STRINGS_H
#define GRIDWRIGHT_SUPPORT_STRINGS_H

#include <stddef.h>
#include <stdint.h>

// The lower-case mapping of the FrameRoman character set: ASCII capitals and
// the accented capitals of the upper half map to their small letters; every
// other byte maps to itself. Used whatever the host encoding is.
extern const uint8_t kStrLowerCaseTable[256];

// ---- Length and fresh strings -------------------------------------------------

// Length of s in bytes; 0 for NULL.
size_t StrLen(const char* s);

// A fresh string of n + 1 zero bytes (room for n characters), or NULL when
// memory is short.
char* StrNew(size_t n);

// A fresh copy of s, or NULL for a NULL s or when memory is short.
char* StrDup(const char* s);

// ---- Copying and appending ----------------------------------------------------

// Copies s (NULL copies nothing) into dst and terminates it. Returns the
// address of the terminating zero written into dst; NULL for a NULL dst.
char* StrCopy(char* dst, const char* s);

// Copies at most size - 1 characters of s into dst and always terminates it
// (size 0 writes nothing). Returns the number of characters copied; 0 for a
// NULL dst.
size_t StrCopyN(char* dst, const char* s, size_t size);

// Appends all of s to dst, with no bound. Returns the new length of dst; 0 for
// a NULL dst.
size_t StrAppend(char* dst, const char* s);

// Appends the byte c while the length of dst is below size - 1. Returns the new
// length; 0 for a NULL dst.
size_t StrAppendChar(char* dst, char c, size_t size);

// Appends the signed decimal text of value (as "%d" gives it), character by
// character while the total length stays below size - 1. Returns the new
// length; 0 for a NULL dst.
size_t StrAppendInt(char* dst, int32_t value, size_t size);

// Appends characters of s while the total length stays below size - 1, then
// terminates. Returns the new length; 0 for a NULL dst.
size_t StrAppendN(char* dst, const char* s, size_t size);

// ---- Searching ----------------------------------------------------------------

// The first byte of s equal to c (compared as unsigned bytes), or NULL. The
// terminating zero is never found; NULL for a NULL s.
const char* StrChr(const char* s, int c);
char* StrChr(char* s, int c);

// Index of the first occurrence of t in s, or -1. -1 when s or t is NULL or s
// is empty; an empty t is found at 0 of a non-empty s.
int32_t StrFind(const char* s, const char* t);

// 1 when s begins with prefix, else 0. An empty or NULL prefix gives 1.
int32_t StrStartsWith(const char* s, const char* prefix);

// ---- Comparison ---------------------------------------------------------------

// Difference of the first differing bytes of s and t, as unsigned bytes; 0 when
// equal. Case-sensitive.
int StrCompare(const char* s, const char* t);

// 1 when s and t are equal (NULL equals empty), else 0.
int32_t StrEqual(const char* s, const char* t);

// As StrCompare after mapping both bytes through kStrLowerCaseTable.
int StrCompareNoCase(const char* s, const char* t);

// 1 when s and t are equal after mapping through kStrLowerCaseTable, else 0.
int32_t StrEqualNoCase(const char* s, const char* t);

// ---- Editing in place ---------------------------------------------------------

// Removes leading spaces (0x20 only) by moving the rest of s forward.
void StrTrimLeft(char* s);

// Replaces trailing spaces (0x20 only) by zeros.
void StrTrimRight(char* s);

// ---- Conversion ---------------------------------------------------------------

// The runtime's decimal conversion (leading white space, optional sign, digits,
// stops at the first other character); 0 for NULL.
int32_t StrToInt(const char* s);

#endif  // GRIDWRIGHT_SUPPORT_STRINGS_H
