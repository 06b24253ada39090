// StrIndex: open addressing over list positions, keyed by an FNV-1a hash.
#include "support/str_index.h"

#include <stddef.h>
#include <stdint.h>

#include "support/memory.h"
#include "support/strings.h"

namespace {

uint32_t Hash(const char* s) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s != nullptr ? s : ""); *p != 0; ++p) {
    hash = (hash ^ *p) * 16777619u;
  }
  return hash;
}

// Places position (whose string must not be in the slots yet, or only at a
// higher position, which it then replaces) into a slot array with room.
void Place(uint32_t* slots, uint32_t capacity, const StrList* list, uint32_t position) {
  const char* s = StrListGet(list, position);
  uint32_t at = Hash(s) & (capacity - 1);
  while (slots[at] != 0) {
    uint32_t held = slots[at] - 1;
    if (StrEqual(StrListGet(list, held), s)) {
      if (position < held) slots[at] = position + 1;
      return;
    }
    at = (at + 1) & (capacity - 1);
  }
  slots[at] = position + 1;
}

// Makes room for one more position: the slots stay at most half full.
int32_t Grow(StrIndex* index) {
  if ((static_cast<uint64_t>(index->count) + 1) * 2 <= index->capacity) return 0;
  if (index->capacity >= (1u << 30)) return -1;
  uint32_t capacity = index->capacity * 2;
  uint32_t* slots = static_cast<uint32_t*>(MemAllocZeroed(capacity, sizeof(uint32_t), 0));
  if (slots == nullptr) return -1;
  for (uint32_t i = 0; i < index->capacity; ++i) {
    if (index->slots[i] != 0) Place(slots, capacity, index->list, index->slots[i] - 1);
  }
  MemFree(index->slots);
  index->slots = slots;
  index->capacity = capacity;
  return 0;
}

}  // namespace

StrIndex* StrIndexNew(const StrList* list) {
  if (list == nullptr) return nullptr;
  StrIndex* index = static_cast<StrIndex*>(MemAllocZeroed(1, sizeof(StrIndex), 0));
  if (index == nullptr) return nullptr;
  index->list = list;
  index->capacity = 16;
  while (index->capacity < (1u << 30) && index->capacity / 2 < StrListCount(list)) index->capacity *= 2;
  index->slots = static_cast<uint32_t*>(MemAllocZeroed(index->capacity, sizeof(uint32_t), 0));
  if (index->slots == nullptr || index->capacity / 2 < StrListCount(list)) {
    StrIndexFree(index);
    return nullptr;
  }
  for (uint32_t i = 0; i < StrListCount(list); ++i) Place(index->slots, index->capacity, list, i);
  index->count = StrListCount(list);
  return index;
}

int32_t StrIndexAdd(StrIndex** holder, uint32_t position) {
  if (holder == nullptr || *holder == nullptr) return -1;
  StrIndex* index = *holder;
  if (position >= StrListCount(index->list) || Grow(index) != 0) {
    StrIndexFree(index);
    *holder = nullptr;
    return -1;
  }
  Place(index->slots, index->capacity, index->list, position);
  ++index->count;
  return 0;
}

int32_t StrListFindIndexed(const StrList* list, const StrIndex* index, const char* s) {
  if (index == nullptr || index->list != list) return StrListFind(list, s);
  uint32_t at = Hash(s) & (index->capacity - 1);
  while (index->slots[at] != 0) {
    uint32_t held = index->slots[at] - 1;
    if (StrEqual(StrListGet(list, held), s)) return static_cast<int32_t>(held);
    at = (at + 1) & (index->capacity - 1);
  }
  return -1;
}

void StrIndexFree(StrIndex* index) {
  if (index == nullptr) return;
  MemFree(index->slots);
  MemFree(index);
}
