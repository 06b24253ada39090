// Tests of heap blocks, the must-succeed policy and the fatal stop.
#include "support/memory.h"

#include <gtest/gtest.h>
#include <string.h>

#include "../fatal_stop.h"

#include "platform/winapi.h"

namespace {

TEST(Memory, FailureSeamMakesPlainAllocationsReturnNull) {
  MemFailNextAllocations(3);
  EXPECT_EQ(MemAlloc(16, 0), nullptr);
  EXPECT_EQ(MemAllocZeroed(4, 4, 0), nullptr);
  EXPECT_EQ(MemRealloc(nullptr, 16, 0), nullptr);
  void* block = MemAlloc(16, 0);  // the seam is used up
  EXPECT_NE(block, nullptr);
  MemFree(block);
}

TEST(Memory, FailedReallocKeepsTheOldBlock) {
  char* block = static_cast<char*>(MemAlloc(4, 0));
  ASSERT_NE(block, nullptr);
  memcpy(block, "abc", 4);
  MemFailNextAllocations(1);
  EXPECT_EQ(MemRealloc(block, 1 << 20, 0), nullptr);
  EXPECT_STREQ(block, "abc");
  char* grown = static_cast<char*>(MemRealloc(block, 8, 0));
  ASSERT_NE(grown, nullptr);
  EXPECT_STREQ(grown, "abc");
  MemFree(grown);
}

TEST(Memory, AllocZeroedGivesZerosAndRefusesOverflowingProducts) {
  unsigned char* block = static_cast<unsigned char*>(MemAllocZeroed(8, 4, 0));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(block[i], 0);
  }
  MemFree(block);
  EXPECT_EQ(MemAllocZeroed(SIZE_MAX / 2, 4, 0), nullptr);
}

// A failed must-succeed allocation raises software exception 1 and the code
// after it never runs.
TEST(Memory, MustSucceedFailureEndsTheCallWithSoftwareException) {
  bool reachedAfter = false;
  MemFailNextAllocations(1);
  EXPECT_EQ(FatalStopCode([&] {
              MemAlloc(16, kMemMustSucceed);
              reachedAfter = true;
            }),
            1u);
  EXPECT_FALSE(reachedAfter);

  MemFailNextAllocations(1);
  EXPECT_EQ(FatalStopCode([] { MemRealloc(nullptr, 8, kMemMustSucceed); }), 1u);
  MemFailNextAllocations(1);
  EXPECT_EQ(FatalStopCode([] { MemAllocZeroed(1, 8, kMemMustSucceed); }), 1u);
  MemFailNextAllocations(0);
}

// A host handler may resume after the fatal stop: the allocation then returns
// NULL to its caller instead of ending the process.
TEST(Memory, MustSucceedFailureReturnsNullWhenTheHostResumes) {
  void* block = &block;
  MemFailNextAllocations(1);
  EXPECT_EQ(ResumedStopCode([&] { block = MemAlloc(16, kMemMustSucceed); }), 1u);
  EXPECT_EQ(block, nullptr);
  MemFailNextAllocations(0);
}

TEST(Memory, FreeAtReleasesThroughTheHolderAndLeavesItSet) {
  char* block = static_cast<char*>(MemAlloc(8, 0));
  char* holder = block;
  EXPECT_EQ(MemFreeAt(&holder), 0);
  EXPECT_EQ(holder, block);  // not cleared
  char* none = nullptr;
  EXPECT_EQ(MemFreeAt(&none), 0);
  EXPECT_EQ(MemFreeAt(nullptr), 0);
  EXPECT_EQ(MemFree(nullptr), 0);
}

// A notification that ended in the fatal stop leaves its blocks to the next
// one, which frees them; blocks of a notification that ended stay the
// owner's, resized or not.
TEST(Memory, BlocksOfANotificationThatNeverEndedAreFreedByTheNext) {
  MemBeginNotification();
  char* kept = static_cast<char*>(MemAlloc(4, 0));
  MemEndNotification();

  MemBeginNotification();
  MemAlloc(16, 0);
  char* grown = static_cast<char*>(MemRealloc(MemAllocZeroed(2, 4, 0), 4096, 0));
  ASSERT_NE(grown, nullptr);
  grown[4095] = 'x';
  MemFree(MemAlloc(8, 0));
  kept = static_cast<char*>(MemRealloc(kept, 64, 0));  // an earlier block stays its owner's
  MemFailNextAllocations(1);
  EXPECT_EQ(FatalStopCode([] { MemAlloc(8, kMemMustSucceed); }), 1u);
  // The next notification begins: the two stranded blocks go.
  EXPECT_EQ(MemReleaseStranded(), 2u);

  MemBeginNotification();
  EXPECT_EQ(MemReleaseStranded(), 0u);  // nothing allocated in it yet
  ASSERT_NE(kept, nullptr);
  kept[63] = 'y';
  MemFree(kept);
}

}  // namespace

