// Tests of StrList: growth, ownership, lookup and memory shortage.
#include <gtest/gtest.h>

#include <cstdio>

#include "../fatal_stop.h"

#include "platform/winapi.h"
#include "support/memory.h"
#include "support/str_index.h"
#include "support/str_list.h"

namespace {

TEST(StringList, GrowsOneSlotPerAppendAndKeepsTheSlotAfterCountNull) {
  StrList* list = StrListNew(1, 1);
  ASSERT_NE(list, nullptr);
  for (const char* s : {"A", "B", "C"}) {
    ASSERT_EQ(StrListAppend(list, s), 0);
  }
  EXPECT_EQ(StrListCount(list), 3u);
  EXPECT_EQ(list->capacity, 3u);
  EXPECT_EQ(list->slots[3], nullptr);
  EXPECT_STREQ(StrListGet(list, 2), "C");
  EXPECT_EQ(StrListGet(list, 3), nullptr);
  StrListFree(list);
}

TEST(StringList, ReserveJumpsToTheRequestWhenTheStepIsTooSmall) {
  StrList* list = StrListNew(0, 2);
  ASSERT_EQ(StrListReserve(list, 1), 0);
  EXPECT_EQ(list->capacity, 2u);
  ASSERT_EQ(StrListReserve(list, 10), 0);
  EXPECT_EQ(list->capacity, 10u);
  for (uint32_t i = 0; i <= 10; ++i) {
    EXPECT_EQ(list->slots[i], nullptr);
  }
  EXPECT_EQ(StrListReserve(list, 4), 0);
  EXPECT_EQ(list->capacity, 10u);
  EXPECT_EQ(StrListReserve(nullptr, 1), -1);
  StrListFree(list);
}

TEST(StringList, AppendKeepsAPrivateCopyAndRefusesNull) {
  StrList* list = StrListNew(1, 1);
  char name[] = "Format A";
  ASSERT_EQ(StrListAppend(list, name), 0);
  name[0] = 'X';
  EXPECT_STREQ(StrListGet(list, 0), "Format A");
  EXPECT_EQ(StrListAppend(list, nullptr), -1);
  EXPECT_EQ(StrListCount(list), 1u);
  EXPECT_EQ(StrListAppend(nullptr, "x"), -1);
  StrListFree(list);
}

TEST(StringList, MemoryShortageLeavesTheListAsItWas) {
  StrList* list = StrListNew(1, 1);
  ASSERT_EQ(StrListAppend(list, "one"), 0);
  // The slot array cannot grow.
  MemFailNextAllocations(1);
  EXPECT_EQ(StrListAppend(list, "two"), -1);
  EXPECT_EQ(StrListCount(list), 1u);
  EXPECT_EQ(list->capacity, 1u);
  // The array grows but the copy cannot be made.
  MemFailNextAllocations(0);
  ASSERT_EQ(StrListReserve(list, 2), 0);
  MemFailNextAllocations(1);
  EXPECT_EQ(StrListAppend(list, "two"), -1);
  EXPECT_EQ(StrListCount(list), 1u);
  EXPECT_EQ(list->slots[1], nullptr);
  ASSERT_EQ(StrListAppend(list, "two"), 0);
  EXPECT_STREQ(StrListGet(list, 1), "two");
  StrListFree(list);
}

TEST(StringList, NewFailsOnlyForTheRecordAndTheSlotArrayMustSucceed) {
  MemFailNextAllocations(1);
  EXPECT_EQ(StrListNew(4, 1), nullptr);
  MemFailNextAllocationsAfter(1, 1);
  EXPECT_EQ(FatalStopCode([] { StrListNew(4, 1); }), 1u);
  // A host that resumes after the fatal stop gets no list.
  StrList* list = nullptr;
  MemFailNextAllocationsAfter(1, 1);
  EXPECT_EQ(ResumedStopCode([&] { list = StrListNew(4, 1); }), 1u);
  EXPECT_EQ(list, nullptr);
  MemFailNextAllocations(0);
}

// With a 32-bit size_t, capacity + 1 slots and their byte count wrap around:
// the slot array must never come out smaller than the capacity asked for.
TEST(StringList, SlotArraySizesThatWrapIn32BitsFail) {
  SKIP_UNLESS_32_BIT_SIZES();
  EXPECT_EQ(FatalStopCode([] { StrListFree(StrListNew(UINT32_MAX, 1)); }), 1u);
  StrList* list = StrListNew(1, 1);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(StrListReserve(list, 0x40000000u), -1);
  EXPECT_EQ(list->capacity, 1u);
  ASSERT_EQ(StrListAppend(list, "kept"), 0);
  EXPECT_STREQ(StrListGet(list, 0), "kept");
  StrListFree(list);
}

TEST(StringList, FindRemoveAndSort) {
  StrList* list = StrListNew(1, 1);
  for (const char* s : {"beta", "Alpha", "\x80pfel", "alpha", "Beta"}) {
    ASSERT_EQ(StrListAppend(list, s), 0);
  }
  EXPECT_EQ(StrListFind(list, "alpha"), 3);
  EXPECT_EQ(StrListFindNoCase(list, "ALPHA"), 1);
  EXPECT_EQ(StrListFindNoCase(list, "\x8Apfel"), 2);
  EXPECT_EQ(StrListFind(list, "gamma"), -1);
  EXPECT_EQ(StrListFind(nullptr, "a"), -1);

  StrListSort(list, StrListCompare);
  const char* sorted[] = {"Alpha", "Beta", "alpha", "beta", "\x80pfel"};
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_STREQ(StrListGet(list, i), sorted[i]) << i;
  }

  StrListRemove(list, 1);
  EXPECT_EQ(StrListCount(list), 4u);
  EXPECT_STREQ(StrListGet(list, 1), "alpha");
  EXPECT_EQ(list->slots[4], nullptr);
  StrListRemove(list, 9);  // out of range: nothing
  EXPECT_EQ(StrListCount(list), 4u);

  StrListClear(list);
  EXPECT_EQ(StrListCount(list), 0u);
  EXPECT_EQ(list->capacity, 0u);
  ASSERT_EQ(StrListAppend(list, "again"), 0);  // usable after clearing
  EXPECT_STREQ(StrListGet(list, 0), "again");
  StrListFree(list);
  EXPECT_EQ(StrListFree(nullptr), 0);
  EXPECT_EQ(StrListCount(nullptr), 0u);
}

TEST(StringIndex, FindsWhatTheListFindsThroughGrowthAndShortage) {
  StrList* list = StrListNew(1, 64);
  ASSERT_NE(list, nullptr);
  char name[32];
  for (int i = 0; i < 3000; ++i) {
    snprintf(name, sizeof name, "Format %d", i % 2000);  // the last 1000 repeat earlier names
    ASSERT_EQ(StrListAppend(list, name), 0);
  }
  StrIndex* index = StrIndexNew(list);
  ASSERT_NE(index, nullptr);
  ASSERT_EQ(StrListAppend(list, "Late"), 0);
  ASSERT_EQ(StrIndexAdd(&index, StrListCount(list) - 1), 0);
  ASSERT_EQ(StrListAppend(list, "Format 5"), 0);  // a duplicate appended keeps the first position
  ASSERT_EQ(StrIndexAdd(&index, StrListCount(list) - 1), 0);
  for (const char* probe : {"Format 0", "Format 1999", "Format 5", "Late", "format 5", "", "Format 2000"}) {
    EXPECT_EQ(StrListFindIndexed(list, index, probe), StrListFind(list, probe)) << probe;
  }
  // Growing past the slots while memory is short drops the index; finds go on in the list.
  for (int i = 0; StrIndexAdd(&index, 0) == 0 && i < 100000; ++i) {
    if (i == 1000) MemFailNextAllocations(1);
  }
  MemFailNextAllocations(0);
  EXPECT_EQ(index, nullptr);
  EXPECT_EQ(StrListFindIndexed(list, index, "Late"), 3000);
  MemFailNextAllocations(1);
  EXPECT_EQ(StrIndexNew(list), nullptr);
  MemFailNextAllocations(0);
  StrListFree(list);
}

}  // namespace
