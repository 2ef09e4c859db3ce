// The ring's slot layout under push and pop, and its behaviour when restored damaged.

#include "sdk-core/heartbeat/RingBuffer.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <vector>

namespace beacon {
namespace {

using Slots = std::vector<std::optional<int>>;

TEST(RingBufferTest, PushWritesTheTailWrapsAroundAndHandsBackWhatItReplaced) {
  RingBuffer<int> ring(3);
  for (int value : {1, 2, 3}) {
    auto replaced = ring.push(value);
    ASSERT_TRUE(replaced.ok());
    EXPECT_EQ(*replaced, std::nullopt);
  }
  EXPECT_EQ(ring.tailIndex(), 0);
  auto replaced = ring.push(4);
  ASSERT_TRUE(replaced.ok());
  EXPECT_EQ(*replaced, 1);
  EXPECT_EQ(ring.circularQueue(), (Slots{4, 2, 3}));
  EXPECT_EQ(ring.tailIndex(), 1);
  // Slot order, not push order.
  EXPECT_EQ(ring.elements(), (std::vector<int>{4, 2, 3}));
}

TEST(RingBufferTest, PopTakesTheSlotBeforeTheTailAndLeavesTheTailThereEvenWhenEmpty) {
  RingBuffer<int> ring(4);
  (void)ring.push(1);
  (void)ring.push(2);
  EXPECT_EQ(ring.pop(), 2);
  EXPECT_EQ(ring.pop(), 1);
  EXPECT_EQ(ring.tailIndex(), 0);
  EXPECT_EQ(ring.pop(), std::nullopt);
  EXPECT_EQ(ring.tailIndex(), 3);
  EXPECT_EQ(ring.circularQueue(), (Slots{std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
}

TEST(RingBufferTest, ARingWithoutSlotsIgnoresEverything) {
  RingBuffer<int> ring(0);
  auto pushed = ring.push(1);
  ASSERT_TRUE(pushed.ok());
  EXPECT_EQ(*pushed, std::nullopt);
  EXPECT_EQ(ring.pop(), std::nullopt);
  EXPECT_EQ(ring.tailIndex(), 0);
  EXPECT_THROW(RingBuffer<int>(-1), platform::ProgrammerError);
}

TEST(RingBufferTest, PushAtATailOutsideTheSlotsFailsAndChangesNothing) {
  for (std::int64_t tail : {3, 7, -1}) {
    RingBuffer<int> ring(Slots{1, 2, 3}, tail);
    auto pushed = ring.push(9);
    ASSERT_FALSE(pushed.ok()) << tail;
    EXPECT_TRUE(pushed.error().is(kRingBufferErrorDomain,
                                  static_cast<std::int64_t>(RingBufferError::outOfBoundsPush)));
    EXPECT_EQ(ring.circularQueue(), (Slots{1, 2, 3}));
    EXPECT_EQ(ring.tailIndex(), tail);
  }
  EXPECT_EQ(outOfBoundsPush(30, 30).description,
            "Out-of-bounds push at index 30 to ring buffer withend index of 30.");
}

TEST(RingBufferTest, PopNeverReadsOutsideTheSlotsOfADamagedRing) {
  // A tail well past the end stays past it after stepping back: nothing is read.
  RingBuffer<int> farTail(Slots{1, 2, 3}, 9);
  EXPECT_EQ(farTail.pop(), std::nullopt);
  EXPECT_EQ(farTail.circularQueue(), (Slots{1, 2, 3}));

  // A tail one past the end steps back onto the last slot.
  RingBuffer<int> endTail(Slots{1, 2, 3}, 3);
  EXPECT_EQ(endTail.pop(), 3);

  // A negative tail wraps to the last slot, like a tail of 0.
  RingBuffer<int> negativeTail(Slots{1, 2, 3}, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(negativeTail.pop(), 3);
  EXPECT_EQ(negativeTail.tailIndex(), 2);
}

}  // namespace
}  // namespace beacon
