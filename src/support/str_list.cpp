// StrList: a growable list of owned strings.
#include "support/str_list.h"

#include <stdint.h>
#include <stdlib.h>

#include "support/memory.h"
#include "support/strings.h"

StrList* StrListNew(uint32_t capacity, uint32_t growthStep) {
  StrList* list = static_cast<StrList*>(MemAllocZeroed(1, sizeof(StrList), 0));
  if (list == nullptr) {
    return nullptr;
  }
  // The slot array must succeed; the record is released first so that the
  // fatal stop leaves nothing behind. The slot count is computed in 64 bits:
  // capacity + 1 wraps to 0 in a 32-bit size_t.
  const uint64_t slotCount = static_cast<uint64_t>(capacity) + 1;
  if (slotCount <= SIZE_MAX) {
    list->slots = static_cast<char**>(MemAllocZeroed(static_cast<size_t>(slotCount), sizeof(char*), 0));
  }
  if (list->slots == nullptr) {
    MemFree(list);
    FatalError();
    return nullptr;  // a host that resumes after the fatal stop gets no list
  }
  list->capacity = capacity;
  list->growthStep = growthStep;
  return list;
}

int32_t StrListReserve(StrList* list, uint32_t n) {
  if (list == nullptr) {
    return -1;
  }
  if (list->capacity >= n) {
    return 0;
  }
  // Computed in 64 bits so that a large growth step cannot wrap around.
  uint64_t newCapacity = static_cast<uint64_t>(list->capacity) + list->growthStep;
  if (newCapacity < n) {
    newCapacity = n;
  }
  if (newCapacity >= UINT32_MAX) {
    return -1;
  }
  // The byte count too: (newCapacity + 1) * sizeof(char*) outgrows a 32-bit size_t.
  const uint64_t bytes = (newCapacity + 1) * sizeof(char*);
  if (bytes > SIZE_MAX) {
    return -1;
  }
  char** slots = static_cast<char**>(MemRealloc(list->slots, static_cast<size_t>(bytes), 0));
  if (slots == nullptr) {
    return -1;
  }
  for (uint64_t i = list->count; i <= newCapacity; ++i) {
    slots[i] = nullptr;
  }
  list->slots = slots;
  list->capacity = static_cast<uint32_t>(newCapacity);
  return 0;
}

int32_t StrListAppend(StrList* list, const char* s) {
  if (list == nullptr || s == nullptr || list->count == UINT32_MAX) {
    return -1;
  }
  if (StrListReserve(list, list->count + 1) != 0) {
    return -1;
  }
  char* copy = StrDup(s);
  if (copy == nullptr) {
    return -1;
  }
  list->slots[list->count++] = copy;
  return 0;
}

uint32_t StrListCount(const StrList* list) { return list == nullptr ? 0 : list->count; }

const char* StrListGet(const StrList* list, uint32_t i) {
  if (list == nullptr || i >= list->count) {
    return nullptr;
  }
  return list->slots[i];
}

int32_t StrListFind(const StrList* list, const char* s) {
  if (list == nullptr) {
    return -1;
  }
  for (uint32_t i = 0; i < list->count; ++i) {
    if (StrEqual(list->slots[i], s)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

int32_t StrListFindNoCase(const StrList* list, const char* s) {
  if (list == nullptr) {
    return -1;
  }
  for (uint32_t i = 0; i < list->count; ++i) {
    if (StrEqualNoCase(list->slots[i], s)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

void StrListRemove(StrList* list, uint32_t i) {
  if (list == nullptr || i >= list->count) {
    return;
  }
  MemFree(list->slots[i]);
  for (uint32_t j = i; j + 1 < list->count; ++j) {
    list->slots[j] = list->slots[j + 1];
  }
  --list->count;
  list->slots[list->count] = nullptr;
}

void StrListSort(StrList* list, StrListCompareFunction compare) {
  if (list == nullptr || compare == nullptr || list->count < 2) {
    return;
  }
  qsort(list->slots, list->count, sizeof(char*), compare);
}

int StrListCompare(const void* slotA, const void* slotB) {
  return StrCompare(*static_cast<char* const*>(slotA), *static_cast<char* const*>(slotB));
}

void StrListClear(StrList* list) {
  if (list == nullptr) {
    return;
  }
  for (uint32_t i = 0; i < list->count; ++i) {
    MemFree(list->slots[i]);
  }
  MemFree(list->slots);
  list->slots = nullptr;
  list->count = 0;
  list->capacity = 0;
}

int32_t StrListFree(StrList* list) {
  if (list != nullptr) {
    StrListClear(list);
    MemFree(list);
  }
  return 0;
}
