// StrList: a growable list of owned strings, in which commands collect names.
//
// The list owns every string in it (each a private copy made on append) and its
// slot array. Strings read with StrListGet stay the list's. Usage:
//   StrList* tags = StrListNew(1, 1);
//   if (tags == NULL || StrListAppend(tags, "Format A") != 0) { /* memory short */ }
//   StrListSort(tags, StrListCompare);
//   StrListFree(tags);
#ifndef GRIDWRIGHT_SUPPORT_STR_LIST_H
#define GRIDWRIGHT_SUPPORT_STR_LIST_H

#include <stdint.h>

struct StrList {
  uint32_t capacity;    // string slots the slot array can hold
  uint32_t count;       // strings held
  uint32_t growthStep;  // slots a growth adds at least
  char** slots;         // capacity + 1 pointers; slots at count and above are NULL
};

// Compares two slots; receives the addresses of two char* slots (qsort style).
typedef int (*StrListCompareFunction)(const void* slotA, const void* slotB);

// ---- Creation and release -----------------------------------------------------

// A new empty list with capacity + 1 NULL slots (the slot array is a
// must-succeed allocation). NULL only when the record cannot be allocated.
StrList* StrListNew(uint32_t capacity, uint32_t growthStep);

// Frees every string and the slot array; count and capacity become 0. The list
// can be appended to again afterwards.
void StrListClear(StrList* list);

// StrListClear and release of the record. NULL does nothing. Returns 0.
int32_t StrListFree(StrList* list);

// ---- Growth and insertion -----------------------------------------------------

// Makes room for n strings: capacity grows by the growth step, or to n when
// that is not enough. Returns 0, or -1 for a NULL list or when memory is short
// (the list is then unchanged).
int32_t StrListReserve(StrList* list, uint32_t n);

// Appends a private copy of s. Returns 0, or -1 (list unchanged) when memory is
// short, for a NULL list or for a NULL s.
int32_t StrListAppend(StrList* list, const char* s);

// For i < count: frees string i and moves the later strings one slot down.
void StrListRemove(StrList* list, uint32_t i);

// ---- Reading ------------------------------------------------------------------

// Number of strings; 0 for a NULL list.
uint32_t StrListCount(const StrList* list);

// The list's own string i (the caller must not free it); NULL for a NULL list
// or i >= count.
const char* StrListGet(const StrList* list, uint32_t i);

// Lowest index whose string is StrEqual (StrEqualNoCase) to s, or -1.
int32_t StrListFind(const StrList* list, const char* s);
int32_t StrListFindNoCase(const StrList* list, const char* s);

// ---- Sorting ------------------------------------------------------------------

// Sorts slots 0 to count - 1 in place with qsort and compare.
void StrListSort(StrList* list, StrListCompareFunction compare);

// StrCompare of the strings in two slots; the comparison commands pass to
// StrListSort.
int StrListCompare(const void* slotA, const void* slotB);

#endif  // GRIDWRIGHT_SUPPORT_STR_LIST_H
