// Deep copies, duplicates, releases and SetProperty of the boundary records.
#include "host/property_lists.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "platform/winapi.h"
#include "sample_values.h"
#include "support/memory.h"

namespace {

// An allocator that fails its call number failAt (0-based) and counts the
// blocks it has out, with the matching release.
int gCalls = 0;
int gFailAt = -1;
int gLive = 0;

void* FailingAlloc(size_t size) {
  if (gCalls++ == gFailAt) return nullptr;
  ++gLive;
  return std::malloc(size);
}

void CountingRelease(void* block) {
  if (block == nullptr) return;
  --gLive;
  std::free(block);
}

void ResetFailingAlloc(int failAt) {
  gCalls = 0;
  gFailAt = failAt;
  gLive = 0;
}

// The description a duplicate must have: NULL strings become empty strings.
std::string NullsAsEmpty(std::string text) {
  for (size_t at = text.find("<null>"); at != std::string::npos; at = text.find("<null>")) text.replace(at, 6, "\"\"");
  return text;
}

TEST(PropertyListCopy, CopiesEveryTypeIntoFreshBlocksAndFreesEachHostBlockOnce) {
  uint64_t liveBefore = CoTaskMemLiveBlocks();
  PropertyList host = sample::List(HostBlockAlloc);
  uint64_t hostBlocks = CoTaskMemLiveBlocks() - liveBefore;
  uint64_t freesBefore = CoTaskMemFrees();
  uint64_t badBefore = CoTaskMemBadFrees();

  PropertyList copy;
  ASSERT_EQ(CopyPropertyList(&copy, &host, PluginBlockAlloc), 0);
  const std::string hostText = sample::Describe(host);

  // The copy must not share a block with the host's list: it is read after
  // that list is gone (the sanitizer build catches any use of a freed block).
  ReleasePropertyList(&host, HostBlockFree);
  EXPECT_EQ(host.count, 0u);
  EXPECT_EQ(host.entries, nullptr);
  EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore);
  EXPECT_EQ(CoTaskMemFrees() - freesBefore, hostBlocks);
  EXPECT_EQ(CoTaskMemBadFrees(), badBefore);
  EXPECT_EQ(sample::Describe(copy), hostText);

  FreePropertyList(&copy);
  EXPECT_EQ(copy.count, 0u);
  EXPECT_EQ(copy.entries, nullptr);
}

TEST(PropertyListCopy, CopiesTheNameOnlyOfCodeZero) {
  char name[] = "Named";
  char* foreign = reinterpret_cast<char*>(static_cast<uintptr_t>(0x1234));  // never dereferenced
  PropEntry entries[2];
  std::memset(entries, 0, sizeof entries);
  entries[0].ident = {0, name};
  entries[0].value.type = kValueInt;
  entries[1].ident = {5, foreign};
  entries[1].value.type = kValueInt;
  PropertyList source = {2, entries};

  PropertyList copy;
  ASSERT_EQ(CopyPropertyList(&copy, &source, PluginBlockAlloc), 0);
  EXPECT_NE(copy.entries[0].ident.name, name);
  EXPECT_STREQ(copy.entries[0].ident.name, "Named");
  EXPECT_EQ(copy.entries[1].ident.name, foreign);
  FreePropertyList(&copy);  // must not free the foreign name
}

TEST(TypedValueCopy, NullStringStaysNullInCopiesAndBecomesEmptyInDuplicates) {
  TypedValue value;
  std::memset(&value, 0, sizeof value);
  value.type = kValueString;
  TypedValue copy, duplicate;
  ASSERT_EQ(CopyTypedValue(&copy, &value, PluginBlockAlloc), 0);
  EXPECT_EQ(copy.u.string, nullptr);
  ASSERT_EQ(DuplicateTypedValue(&duplicate, &value), 0);
  ASSERT_NE(duplicate.u.string, nullptr);
  EXPECT_STREQ(duplicate.u.string, "");
  FreeTypedValue(&duplicate);

  char* empty = DuplicateString(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  FreeString(&empty);
  EXPECT_EQ(empty, nullptr);
}

TEST(TypedValueCopy, DuplicatesEveryTypeWithEmptyStringsForNull) {
  for (int32_t type : sample::kTypeCodes) {
    SCOPED_TRACE(type);
    TypedValue source = sample::Value(type, PluginBlockAlloc);
    TypedValue duplicate;
    ASSERT_EQ(DuplicateTypedValue(&duplicate, &source), 0);
    const std::string expected = NullsAsEmpty(sample::Describe(source));
    FreeTypedValue(&source);
    EXPECT_EQ(sample::Describe(duplicate), expected);
    FreeTypedValue(&duplicate);
  }
}

TEST(TypedValueRelease, FreesEveryLevelOfNestedLists) {
  uint64_t liveBefore = CoTaskMemLiveBlocks();
  TypedValue value = sample::Value(kValueList, HostBlockAlloc);
  // The outer list record and array, a string, an int array, the inner list
  // record and array, and a string list's array and one string.
  ASSERT_EQ(CoTaskMemLiveBlocks() - liveBefore, 8u);
  ReleaseTypedValue(&value, HostBlockFree);
  EXPECT_EQ(value.u.list, nullptr);
  EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore);
}

TEST(TextItemLists, CopyTakesStringsOfKindOneAndReleaseFreesOnlyThose) {
  uint64_t liveBefore = CoTaskMemLiveBlocks();
  TextItemList host = sample::TextItems(HostBlockAlloc);
  TextItemList copy;
  ASSERT_EQ(CopyTextItemList(&copy, &host, PluginBlockAlloc), 0);
  ASSERT_EQ(copy.count, 3u);
  EXPECT_STREQ(copy.items[0].u.string, "one");
  EXPECT_NE(copy.items[0].u.string, host.items[0].u.string);
  EXPECT_EQ(copy.items[1].u.value, 77);
  EXPECT_STREQ(copy.items[2].u.string, "two");
  ReleaseTextItemList(&host, HostBlockFree);
  EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore);
  FreeTextItemList(&copy);

  // Items without strings: only the array is freed.
  TextItemList plain = {2, static_cast<TextItem*>(CoTaskMemAlloc(2 * sizeof(TextItem)))};
  plain.items[0] = {0, 5, {nullptr}};
  plain.items[0].u.value = 12345;
  plain.items[1] = plain.items[0];
  uint64_t freesBefore = CoTaskMemFrees();
  ReleaseTextItemList(&plain, HostBlockFree);
  EXPECT_EQ(CoTaskMemFrees() - freesBefore, 1u);
  EXPECT_EQ(CoTaskMemBadFrees(), 0u);
}

TEST(PluginReleases, AcceptNullRecordsAndNullArrays) {
  FreePropertyList(nullptr);
  FreeTypedValue(nullptr);
  FreeTextItemList(nullptr);
  FreeString(nullptr);
  PropertyList list = {3, nullptr};
  FreePropertyList(&list);
  EXPECT_EQ(list.count, 0u);
}

TEST(SetProperty, ReplacesInPlaceKeepingPositionAndCount) {
  PropertyList list = {0, nullptr};
  ASSERT_EQ(SetIntProperty(&list, 29, 1), 0);
  ASSERT_EQ(SetStringProperty(&list, 20, "old"), 0);
  ASSERT_EQ(SetIntProperty(&list, 7, 3), 0);
  ASSERT_EQ(SetStringProperty(&list, 20, nullptr), 0);
  ASSERT_EQ(list.count, 3u);
  EXPECT_EQ(list.entries[1].ident.code, 20);
  EXPECT_STREQ(list.entries[1].value.u.string, "");

  // A value of another type replaces a string (the old string is freed).
  TypedValue nested = sample::Value(kValueList, PluginBlockAlloc);
  ASSERT_EQ(SetProperty(&list, 20, &nested), 0);
  EXPECT_EQ(list.count, 3u);
  EXPECT_EQ(sample::Describe(list.entries[1].value), NullsAsEmpty(sample::Describe(nested)));
  EXPECT_NE(list.entries[1].value.u.list, nested.u.list);  // the caller keeps its value
  FreeTypedValue(&nested);

  const PropEntry* found = FindProperty(&list, 7);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->value.u.intValue, 3);
  EXPECT_EQ(FindProperty(&list, 8), nullptr);
  FreePropertyList(&list);
}

TEST(SetProperty, GrowsTheArrayToEightSixteenThirtyTwoEntries) {
  PropertyList list = {0, nullptr};
  for (int32_t code = 1; code <= 17; ++code) {
    ASSERT_EQ(SetIntProperty(&list, code, code * 10), 0);
#if defined(_WIN32)
    size_t usable = _msize(list.entries);
#else
    size_t usable = malloc_usable_size(list.entries);
#endif
    size_t expected = code <= 8 ? 8 : code <= 16 ? 16 : 32;
    EXPECT_GE(usable, expected * sizeof(PropEntry)) << "after entry " << code;
    EXPECT_LT(usable, expected * 2 * sizeof(PropEntry)) << "after entry " << code;
  }
  EXPECT_EQ(list.count, 17u);
  EXPECT_EQ(list.entries[16].value.u.intValue, 170);
  FreePropertyList(&list);
}

// ---- Running out of memory halfway ------------------------------------------------------

TEST(CopyFailure, EveryFailingAllocationLeavesNothingBehind) {
  PropertyList host = sample::List(HostBlockAlloc);
  int failAt = 0;
  for (;; ++failAt) {
    ResetFailingAlloc(failAt);
    PropertyList copy = {99, reinterpret_cast<PropEntry*>(&host)};
    int32_t result = CopyPropertyList(&copy, &host, FailingAlloc, CountingRelease);
    if (result == 0) {
      EXPECT_EQ(sample::Describe(copy), sample::Describe(host));
      ReleasePropertyList(&copy, CountingRelease);
      EXPECT_EQ(gLive, 0);
      break;
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(copy.count, 0u) << "failing allocation " << failAt;
    EXPECT_EQ(copy.entries, nullptr);
    EXPECT_EQ(gLive, 0) << "failing allocation " << failAt;
  }
  EXPECT_GT(failAt, 50);  // every nested block was a chance to fail
  ReleasePropertyList(&host, HostBlockFree);
}

// Copying into task-allocator blocks (as a host would) with the release
// picked to match the allocator.
TEST(CopyFailure, TaskAllocatorShortageLeavesNoTaskBlocks) {
  PropertyList source = sample::List(PluginBlockAlloc);
  uint64_t liveBefore = CoTaskMemLiveBlocks();
  uint64_t badBefore = CoTaskMemBadFrees();
  CoTaskMemFailNext(1);
  PropertyList copy;
  EXPECT_EQ(CopyPropertyList(&copy, &source, HostBlockAlloc), -1);
  CoTaskMemFailNext(0);
  EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore);
  ASSERT_EQ(CopyPropertyList(&copy, &source, HostBlockAlloc), 0);
  ReleasePropertyList(&copy, HostBlockFree);
  EXPECT_EQ(CoTaskMemLiveBlocks(), liveBefore);
  EXPECT_EQ(CoTaskMemBadFrees(), badBefore);
  FreePropertyList(&source);
}

TEST(CopyFailure, DuplicatesAndSetPropertyLeaveTheListAsItWas) {
  PropertyList list = {0, nullptr};
  ASSERT_EQ(SetStringProperty(&list, 2, "Gridwright"), 0);
  const std::string before = sample::Describe(list);
  TypedValue nested = sample::Value(kValueRecords17, PluginBlockAlloc);
  // Appending needs the duplicate's blocks and then the resized array.
  uint32_t successes = 0;
  for (;; ++successes) {
    MemFailNextAllocationsAfter(successes, 1);
    int32_t appended = SetProperty(&list, 3, &nested);
    MemFailNextAllocations(0);
    if (appended == 0) break;
    EXPECT_EQ(appended, -1);
    EXPECT_EQ(sample::Describe(list), before) << "append after " << successes << " allocations";
  }
  EXPECT_GT(successes, 10u);
  ASSERT_EQ(list.count, 2u);
  // Replacing needs the duplicate only; the old value survives a failure.
  const std::string beforeReplace = sample::Describe(list);
  for (successes = 0;; ++successes) {
    MemFailNextAllocationsAfter(successes, 1);
    int32_t replaced = SetProperty(&list, 2, &nested);
    MemFailNextAllocations(0);
    if (replaced == 0) break;
    EXPECT_EQ(sample::Describe(list), beforeReplace) << "replace after " << successes << " allocations";
  }
  EXPECT_EQ(sample::Describe(list.entries[0].value), NullsAsEmpty(sample::Describe(nested)));
  FreeTypedValue(&nested);
  FreePropertyList(&list);

  MemFailNextAllocations(1);
  PropertyList none = NewPropertyList(4);
  MemFailNextAllocations(0);
  EXPECT_EQ(none.count, 0u);
  EXPECT_EQ(none.entries, nullptr);
}

}  // namespace
