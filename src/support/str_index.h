// StrIndex: a hash index over the strings of a StrList, so that commands find
// names in long lists (a catalogue of thousands of formats) in constant time
// instead of comparing with every entry.
//
// The index holds list positions, not strings: it stays right while strings
// are appended to the list (each added with StrIndexAdd) and must be made
// again after a removal or a sort. An index that could not be made (memory
// short) is NULL, and StrListFindIndexed then searches the list itself, so a
// caller needs no second path:
//   StrIndex* index = StrIndexNew(names);           // NULL is fine
//   if (StrListFindIndexed(names, index, "Format A") >= 0) { ... }
//   StrIndexFree(index);
#ifndef GRIDWRIGHT_SUPPORT_STR_INDEX_H
#define GRIDWRIGHT_SUPPORT_STR_INDEX_H

#include <stdint.h>

#include "support/str_list.h"

struct StrIndex {
  const StrList* list;  // the indexed list (not owned)
  uint32_t capacity;    // slots, a power of two
  uint32_t count;       // positions held
  uint32_t* slots;      // list position + 1; 0 for an empty slot
};

// An index of every string of list (NULL for a NULL list or when memory is
// short). Of equal strings, the lowest position is found.
StrIndex* StrIndexNew(const StrList* list);

// Adds the list's string at position (appended after the index was made).
// Returns 0, or -1 when memory is short: the index is then freed and the
// holder's pointer set to NULL, so later finds search the list.
int32_t StrIndexAdd(StrIndex** holder, uint32_t position);

// As StrListFind(list, s) (the lowest position whose string is StrEqual to s,
// or -1), through the index when there is one.
int32_t StrListFindIndexed(const StrList* list, const StrIndex* index, const char* s);

// Frees the index (not the list). NULL does nothing.
void StrIndexFree(StrIndex* index);

#endif  // GRIDWRIGHT_SUPPORT_STR_INDEX_H
