// Deep copies, duplicates and releases of the records that cross the host
// boundary, and the building of property lists inside the plug-in.
//
// Every shape is copied element by element through one array routine, so
// that a copy that runs out of memory halfway can release exactly the blocks
// it made: a new array is zeroed first, and each element's nested pointers
// are cleared before its own blocks are made.
#include "host/property_lists.h"

#include <string.h>

#include "platform/winapi.h"
#include "support/memory.h"

namespace {

// How one copy allocates: the allocator of every new block, its matching
// release (to undo a copy that failed halfway), and whether NULL strings
// become empty strings (duplicates inside the plug-in) or stay NULL (copies
// of host blocks).
struct Copier {
  BlockAllocFunction alloc;
  BlockReleaseFunction release;
  bool nullStringsBecomeEmpty;
};

template <typename T>
void ReleaseBlock(T** slot, BlockReleaseFunction release) {
  if (*slot != nullptr) {
    release(const_cast<void*>(static_cast<const void*>(*slot)));
    *slot = nullptr;
  }
}

int32_t CopyString(const Copier& copier, char** dst, const char* src) {
  *dst = nullptr;
  if (src == nullptr) {
    if (!copier.nullStringsBecomeEmpty) return 0;
    src = "";
  }
  size_t size = strlen(src) + 1;
  char* copy = static_cast<char*>(copier.alloc(size));
  if (copy == nullptr) return -1;
  memcpy(copy, src, size);
  *dst = copy;
  return 0;
}

// ---- Elements: one copy and one release per element type -------------------------
// CopyElement leaves *dst owning nothing when it fails; ReleaseElement frees
// the element's nested blocks (not the element) and clears their pointers.

int32_t CopyElement(const Copier& copier, int32_t* dst, const int32_t* src);
int32_t CopyElement(const Copier& copier, uint8_t* dst, const uint8_t* src);
int32_t CopyElement(const Copier& copier, IntPair* dst, const IntPair* src);
int32_t CopyElement(const Copier& copier, char** dst, char* const* src);
int32_t CopyElement(const Copier& copier, Record8* dst, const Record8* src);
int32_t CopyElement(const Copier& copier, Record17* dst, const Record17* src);
int32_t CopyElement(const Copier& copier, Record18* dst, const Record18* src);
int32_t CopyElement(const Copier& copier, Record21* dst, const Record21* src);
int32_t CopyElement(const Copier& copier, Record22* dst, const Record22* src);
int32_t CopyElement(const Copier& copier, TypedValue* dst, const TypedValue* src);
int32_t CopyElement(const Copier& copier, PropEntry* dst, const PropEntry* src);
int32_t CopyElement(const Copier& copier, TextItem* dst, const TextItem* src);

void ReleaseElement(int32_t*, BlockReleaseFunction) {}
void ReleaseElement(uint8_t*, BlockReleaseFunction) {}
void ReleaseElement(IntPair*, BlockReleaseFunction) {}
void ReleaseElement(char** string, BlockReleaseFunction release) { ReleaseBlock(string, release); }
void ReleaseElement(Record8* record, BlockReleaseFunction release);
void ReleaseElement(Record17* record, BlockReleaseFunction release);
void ReleaseElement(Record18* record, BlockReleaseFunction release);
void ReleaseElement(Record21* record, BlockReleaseFunction release);
void ReleaseElement(Record22* record, BlockReleaseFunction release);
void ReleaseElement(TypedValue* value, BlockReleaseFunction release);
void ReleaseElement(PropEntry* entry, BlockReleaseFunction release);
void ReleaseElement(TextItem* item, BlockReleaseFunction release);

// ---- Arrays ---------------------------------------------------------------------------

// Copies an array of count elements into a new zeroed block. A NULL source
// array or a count of 0 gives {NULL, 0}. On failure everything made is
// released and the destination is {NULL, 0}.
template <typename T>
int32_t CopyArray(const Copier& copier, T** dstItems, uint32_t* dstCount, const T* srcItems, uint32_t srcCount) {
  *dstItems = nullptr;
  *dstCount = 0;
  if (srcItems == nullptr || srcCount == 0) return 0;
  // A count from the host that no block could hold, with 32-bit sizes.
  if (srcCount > SIZE_MAX / sizeof(T)) return -1;
  size_t size = static_cast<size_t>(srcCount) * sizeof(T);
  T* items = static_cast<T*>(copier.alloc(size));
  if (items == nullptr) return -1;
  memset(static_cast<void*>(items), 0, size);
  for (uint32_t i = 0; i < srcCount; ++i) {
    if (CopyElement(copier, &items[i], &srcItems[i]) != 0) {
      for (uint32_t j = 0; j < i; ++j) ReleaseElement(&items[j], copier.release);
      copier.release(items);
      return -1;
    }
  }
  *dstItems = items;
  *dstCount = srcCount;
  return 0;
}

// Releases every element's nested blocks, then the array; leaves {NULL, 0}.
// A NULL array counts as empty.
template <typename T>
void ReleaseArray(T** items, uint32_t* count, BlockReleaseFunction release) {
  if (*items != nullptr) {
    for (uint32_t i = 0; i < *count; ++i) ReleaseElement(&(*items)[i], release);
    release(static_cast<void*>(*items));
  }
  *items = nullptr;
  *count = 0;
}

int32_t CopyStringList(const Copier& copier, StringList* dst, const StringList* src) {
  return CopyArray(copier, &dst->strings, &dst->count, src->strings, src->count);
}

void ReleaseStringList(StringList* list, BlockReleaseFunction release) {
  ReleaseArray(&list->strings, &list->count, release);
}

// ---- Element definitions -----------------------------------------------------------------

int32_t CopyElement(const Copier&, int32_t* dst, const int32_t* src) {
  *dst = *src;
  return 0;
}

int32_t CopyElement(const Copier&, uint8_t* dst, const uint8_t* src) {
  *dst = *src;
  return 0;
}

int32_t CopyElement(const Copier&, IntPair* dst, const IntPair* src) {
  *dst = *src;
  return 0;
}

int32_t CopyElement(const Copier& copier, char** dst, char* const* src) { return CopyString(copier, dst, *src); }

int32_t CopyElement(const Copier& copier, Record8* dst, const Record8* src) {
  *dst = *src;
  return CopyString(copier, &dst->string, src->string);
}

void ReleaseElement(Record8* record, BlockReleaseFunction release) { ReleaseBlock(&record->string, release); }

int32_t CopyElement(const Copier& copier, Record17* dst, const Record17* src) {
  *dst = *src;
  dst->string1 = dst->string2 = dst->string3 = nullptr;
  dst->list1 = StringList{0, nullptr};
  dst->list2 = StringList{0, nullptr};
  if (CopyString(copier, &dst->string1, src->string1) != 0 || CopyStringList(copier, &dst->list1, &src->list1) != 0 ||
      CopyStringList(copier, &dst->list2, &src->list2) != 0 || CopyString(copier, &dst->string2, src->string2) != 0 ||
      CopyString(copier, &dst->string3, src->string3) != 0) {
    ReleaseElement(dst, copier.release);
    return -1;
  }
  return 0;
}

void ReleaseElement(Record17* record, BlockReleaseFunction release) {
  ReleaseBlock(&record->string1, release);
  ReleaseStringList(&record->list1, release);
  ReleaseStringList(&record->list2, release);
  ReleaseBlock(&record->string2, release);
  ReleaseBlock(&record->string3, release);
}

int32_t CopyElement(const Copier& copier, Record18* dst, const Record18* src) {
  *dst = *src;
  dst->string = nullptr;
  dst->list = StringList{0, nullptr};
  if (CopyString(copier, &dst->string, src->string) != 0 || CopyStringList(copier, &dst->list, &src->list) != 0) {
    ReleaseElement(dst, copier.release);
    return -1;
  }
  return 0;
}

void ReleaseElement(Record18* record, BlockReleaseFunction release) {
  ReleaseBlock(&record->string, release);
  ReleaseStringList(&record->list, release);
}

int32_t CopyElement(const Copier& copier, Record21* dst, const Record21* src) {
  *dst = *src;
  dst->string = nullptr;
  dst->list1 = StringList{0, nullptr};
  dst->list2 = StringList{0, nullptr};
  if (CopyString(copier, &dst->string, src->string) != 0 || CopyStringList(copier, &dst->list1, &src->list1) != 0 ||
      CopyStringList(copier, &dst->list2, &src->list2) != 0) {
    ReleaseElement(dst, copier.release);
    return -1;
  }
  return 0;
}

void ReleaseElement(Record21* record, BlockReleaseFunction release) {
  ReleaseBlock(&record->string, release);
  ReleaseStringList(&record->list1, release);
  ReleaseStringList(&record->list2, release);
}

int32_t CopyElement(const Copier& copier, Record22* dst, const Record22* src) {
  *dst = *src;
  return CopyStringList(copier, &dst->list, &src->list);
}

void ReleaseElement(Record22* record, BlockReleaseFunction release) { ReleaseStringList(&record->list, release); }

// Type 19: the record's first kRecord19CopySize bytes in a new zeroed block of
// kRecord19BlockSize bytes.
int32_t CopyRecord19(const Copier& copier, void** dst, const void* src) {
  *dst = nullptr;
  if (src == nullptr) return 0;
  void* block = copier.alloc(kRecord19BlockSize);
  if (block == nullptr) return -1;
  memset(block, 0, kRecord19BlockSize);
  memcpy(block, src, kRecord19CopySize);
  *dst = block;
  return 0;
}

// Type 20: a new list record and a copy of every element (recursively).
int32_t CopyValueList(const Copier& copier, TypedValueList** dst, const TypedValueList* src) {
  *dst = nullptr;
  if (src == nullptr) return 0;
  TypedValueList* list = static_cast<TypedValueList*>(copier.alloc(sizeof(TypedValueList)));
  if (list == nullptr) return -1;
  if (CopyArray(copier, &list->values, &list->count, src->values, src->count) != 0) {
    copier.release(list);
    return -1;
  }
  *dst = list;
  return 0;
}

// The dispatch by type code. Codes without a rule own nothing: their 16 bytes
// are copied as they are.
int32_t CopyElement(const Copier& copier, TypedValue* dst, const TypedValue* src) {
  *dst = *src;
  int32_t result = 0;
  switch (src->type) {
    case kValueString:
      result = CopyString(copier, &dst->u.string, src->u.string);
      break;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      result = CopyArray(copier, &dst->u.ints.values, &dst->u.ints.count, src->u.ints.values, src->u.ints.count);
      break;
    case kValueStrings:
      result = CopyStringList(copier, &dst->u.strings, &src->u.strings);
      break;
    case kValuePairs:
    case kValuePairs12:
      result = CopyArray(copier, &dst->u.pairs.items, &dst->u.pairs.count, src->u.pairs.items, src->u.pairs.count);
      break;
    case kValueRecords8:
      result = CopyArray(copier, &dst->u.records8.items, &dst->u.records8.count, src->u.records8.items,
                         src->u.records8.count);
      break;
    case kValueBytes:
      result = CopyArray(copier, &dst->u.bytes.bytes, &dst->u.bytes.count, src->u.bytes.bytes, src->u.bytes.count);
      break;
    case kValueRecords17:
      result = CopyArray(copier, &dst->u.records17.items, &dst->u.records17.count, src->u.records17.items,
                         src->u.records17.count);
      break;
    case kValueRecords18:
      result = CopyArray(copier, &dst->u.records18.items, &dst->u.records18.count, src->u.records18.items,
                         src->u.records18.count);
      break;
    case kValueRecord19:
      result = CopyRecord19(copier, &dst->u.record19, src->u.record19);
      break;
    case kValueList:
      result = CopyValueList(copier, &dst->u.list, src->u.list);
      break;
    case kValueRecords21:
      result = CopyArray(copier, &dst->u.records21.items, &dst->u.records21.count, src->u.records21.items,
                         src->u.records21.count);
      break;
    case kValueRecords22:
      result = CopyArray(copier, &dst->u.records22.items, &dst->u.records22.count, src->u.records22.items,
                         src->u.records22.count);
      break;
    default:
      break;
  }
  if (result != 0) memset(static_cast<void*>(dst), 0, sizeof *dst);
  return result;
}

void ReleaseElement(TypedValue* value, BlockReleaseFunction release) {
  switch (value->type) {
    case kValueString:
      ReleaseBlock(&value->u.string, release);
      break;
    case kValueInts:
    case kValueInts13:
    case kValueInts15:
      ReleaseArray(&value->u.ints.values, &value->u.ints.count, release);
      break;
    case kValueStrings:
      ReleaseStringList(&value->u.strings, release);
      break;
    case kValuePairs:
    case kValuePairs12:
      ReleaseArray(&value->u.pairs.items, &value->u.pairs.count, release);
      break;
    case kValueRecords8:
      ReleaseArray(&value->u.records8.items, &value->u.records8.count, release);
      break;
    case kValueBytes:
      ReleaseArray(&value->u.bytes.bytes, &value->u.bytes.count, release);
      break;
    case kValueRecords17:
      ReleaseArray(&value->u.records17.items, &value->u.records17.count, release);
      break;
    case kValueRecords18:
      ReleaseArray(&value->u.records18.items, &value->u.records18.count, release);
      break;
    case kValueRecord19:
      ReleaseBlock(&value->u.record19, release);
      break;
    case kValueList:
      if (value->u.list != nullptr) {
        ReleaseArray(&value->u.list->values, &value->u.list->count, release);
        ReleaseBlock(&value->u.list, release);
      }
      break;
    case kValueRecords21:
      ReleaseArray(&value->u.records21.items, &value->u.records21.count, release);
      break;
    case kValueRecords22:
      ReleaseArray(&value->u.records22.items, &value->u.records22.count, release);
      break;
    default:
      break;
  }
}

// The name is copied only for code 0 (NULL stays NULL); for any other code
// the name field keeps the bits it had, and is never freed.
int32_t CopyElement(const Copier& copier, PropEntry* dst, const PropEntry* src) {
  dst->ident = src->ident;
  if (src->ident.code == 0 && src->ident.name != nullptr) {
    const Copier nameCopier = {copier.alloc, copier.release, false};
    if (CopyString(nameCopier, &dst->ident.name, src->ident.name) != 0) {
      memset(static_cast<void*>(dst), 0, sizeof *dst);
      return -1;
    }
  }
  if (CopyElement(copier, &dst->value, &src->value) != 0) {
    if (src->ident.code == 0) ReleaseBlock(&dst->ident.name, copier.release);
    memset(static_cast<void*>(dst), 0, sizeof *dst);
    return -1;
  }
  return 0;
}

void ReleaseElement(PropEntry* entry, BlockReleaseFunction release) {
  if (entry->ident.code == 0) ReleaseBlock(&entry->ident.name, release);
  ReleaseElement(&entry->value, release);
}

int32_t CopyElement(const Copier& copier, TextItem* dst, const TextItem* src) {
  *dst = *src;
  if (src->kind != kTextItemString) return 0;
  return CopyString(copier, &dst->u.string, src->u.string);
}

void ReleaseElement(TextItem* item, BlockReleaseFunction release) {
  if (item->kind == kTextItemString) ReleaseBlock(&item->u.string, release);
}

const Copier kDuplicator = {PluginBlockAlloc, PluginBlockFree, true};

// A copy of host blocks; releaseOnFailure NULL means the release that
// matches the allocator.
Copier HostBlockCopier(BlockAllocFunction alloc, BlockReleaseFunction releaseOnFailure) {
  if (releaseOnFailure == nullptr) {
    releaseOnFailure = alloc == HostBlockAlloc ? HostBlockFree : PluginBlockFree;
  }
  return Copier{alloc, releaseOnFailure, false};
}

}  // namespace

void* PluginBlockAlloc(size_t size) { return MemAlloc(size, 0); }

void* HostBlockAlloc(size_t size) { return CoTaskMemAlloc(size); }

void HostBlockFree(void* block) { CoTaskMemFree(block); }

void PluginBlockFree(void* block) { MemFree(block); }

// ---- Deep copies ---------------------------------------------------------------------------

int32_t CopyPropertyList(PropertyList* dst, const PropertyList* src, BlockAllocFunction alloc,
                         BlockReleaseFunction releaseOnFailure) {
  if (dst == nullptr) return -1;
  if (src == nullptr) {
    *dst = PropertyList{0, nullptr};
    return 0;
  }
  const Copier copier = HostBlockCopier(alloc, releaseOnFailure);
  return CopyArray(copier, &dst->entries, &dst->count, src->entries, src->count);
}

int32_t CopyTypedValue(TypedValue* dst, const TypedValue* src, BlockAllocFunction alloc,
                       BlockReleaseFunction releaseOnFailure) {
  if (dst == nullptr) return -1;
  if (src == nullptr) {
    memset(static_cast<void*>(dst), 0, sizeof *dst);
    return -1;
  }
  const Copier copier = HostBlockCopier(alloc, releaseOnFailure);
  return CopyElement(copier, dst, src);
}

int32_t CopyTextItemList(TextItemList* dst, const TextItemList* src, BlockAllocFunction alloc,
                         BlockReleaseFunction releaseOnFailure) {
  if (dst == nullptr) return -1;
  if (src == nullptr) {
    *dst = TextItemList{0, nullptr};
    return 0;
  }
  const Copier copier = HostBlockCopier(alloc, releaseOnFailure);
  return CopyArray(copier, &dst->items, &dst->count, src->items, src->count);
}

// ---- Releases -----------------------------------------------------------------------------

void ReleasePropertyList(PropertyList* list, BlockReleaseFunction release) {
  if (list == nullptr) return;
  ReleaseArray(&list->entries, &list->count, release);
}

void ReleaseTypedValue(TypedValue* value, BlockReleaseFunction release) {
  if (value == nullptr) return;
  ReleaseElement(value, release);
}

void ReleaseTextItemList(TextItemList* list, BlockReleaseFunction release) {
  if (list == nullptr) return;
  ReleaseArray(&list->items, &list->count, release);
}

// ---- Building inside the plug-in -------------------------------------------------------------

PropertyList NewPropertyList(uint32_t n) {
  if (n == 0) return PropertyList{0, nullptr};
  PropEntry* entries = static_cast<PropEntry*>(MemAllocZeroed(n, sizeof(PropEntry), 0));
  if (entries == nullptr) return PropertyList{0, nullptr};
  return PropertyList{n, entries};
}

int32_t DuplicateTypedValue(TypedValue* dst, const TypedValue* src) {
  if (dst == nullptr) return -1;
  if (src == nullptr) {
    memset(static_cast<void*>(dst), 0, sizeof *dst);
    return -1;
  }
  return CopyElement(kDuplicator, dst, src);
}

char* DuplicateString(const char* s) {
  char* copy = nullptr;
  CopyString(kDuplicator, &copy, s);
  return copy;
}

// The duplicate is made before the list is touched, so that a shortage of
// memory leaves the list as it was.
int32_t SetProperty(PropertyList* list, int32_t code, const TypedValue* value) {
  if (list == nullptr || value == nullptr) return -1;
  if (list->entries == nullptr) list->count = 0;
  TypedValue duplicate;
  if (DuplicateTypedValue(&duplicate, value) != 0) return -1;

  for (uint32_t i = 0; i < list->count; ++i) {
    PropEntry* entry = &list->entries[i];
    if (entry->ident.code != code) continue;
    if (entry->ident.code == 0) PluginBlockFree(entry->ident.name);
    entry->ident.name = nullptr;
    FreeTypedValue(&entry->value);
    entry->ident.code = code;
    entry->value = duplicate;
    return 0;
  }

  // Capacity 8, doubled until it exceeds the current count; the array is
  // resized to it on every append.
  size_t capacity = 8;
  while (capacity <= list->count) capacity *= 2;
  PropEntry* entries = static_cast<PropEntry*>(MemRealloc(list->entries, capacity * sizeof(PropEntry), 0));
  if (entries == nullptr) {
    FreeTypedValue(&duplicate);
    return -1;
  }
  list->entries = entries;
  PropEntry* entry = &entries[list->count];
  entry->ident.code = code;
  entry->ident.name = nullptr;
  entry->value = duplicate;
  ++list->count;
  return 0;
}

int32_t SetStringProperty(PropertyList* list, int32_t code, const char* string) {
  TypedValue value;
  memset(&value, 0, sizeof value);
  value.type = kValueString;
  value.u.string = const_cast<char*>(string);  // only read: SetProperty stores a duplicate
  return SetProperty(list, code, &value);
}

int32_t SetIntProperty(PropertyList* list, int32_t code, int32_t intValue) {
  TypedValue value;
  memset(&value, 0, sizeof value);
  value.type = kValueInt;
  value.u.intValue = intValue;
  return SetProperty(list, code, &value);
}

// ---- Freeing plug-in blocks ---------------------------------------------------------------------

void FreePropertyList(PropertyList* list) { ReleasePropertyList(list, PluginBlockFree); }

void FreeTypedValue(TypedValue* value) { ReleaseTypedValue(value, PluginBlockFree); }

void FreeTextItemList(TextItemList* list) { ReleaseTextItemList(list, PluginBlockFree); }

void FreeString(char** slot) {
  if (slot == nullptr) return;
  MemFree(*slot);
  *slot = nullptr;
}

const PropEntry* FindProperty(const PropertyList* list, int32_t code) {
  if (list == nullptr || list->entries == nullptr) return nullptr;
  for (uint32_t i = 0; i < list->count; ++i) {
    if (list->entries[i].ident.code == code) return &list->entries[i];
  }
  return nullptr;
}
