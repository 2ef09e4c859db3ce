// What appending, removing and paying out do to a bundle's ring and its counted-period dates.

#include "sdk-core/heartbeat/HeartbeatsBundle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace beacon {
namespace {

constexpr double kDay = 86400.0;

platform::Date day(int n) {
  return platform::Date{n * kDay};
}

Heartbeat heartbeat(const std::string& agent, int dayNumber,
                    std::vector<TimePeriod> periods = {TimePeriod::daily}) {
  return Heartbeat{agent, day(dayNumber), 0, std::move(periods)};
}

std::vector<std::string> agents(const HeartbeatsBundle& bundle) {
  std::vector<std::string> result;
  for (const auto& stored : bundle.buffer.elements()) result.push_back(stored.agent);
  return result;
}

TEST(HeartbeatsBundleTest, ANewBundleHasEmptySlotsAndNeverCountedPeriods) {
  HeartbeatsBundle bundle(30);
  EXPECT_EQ(bundle.buffer.circularQueue().size(), 30u);
  EXPECT_EQ(bundle.buffer.tailIndex(), 0);
  EXPECT_EQ(bundle.lastAddedHeartbeatDates,
            (LastAddedHeartbeatDates{{TimePeriod::daily, platform::Date::distantPast()}}));
}

TEST(HeartbeatsBundleTest, AppendRecordsTheDateForTheHeartbeatsPeriods) {
  HeartbeatsBundle bundle(30);
  bundle.append(heartbeat("a", 5));
  EXPECT_EQ(bundle.buffer.elements(), (std::vector<Heartbeat>{heartbeat("a", 5)}));
  EXPECT_EQ(bundle.lastAddedHeartbeatDates.at(TimePeriod::daily), day(5));
}

TEST(HeartbeatsBundleTest, ABundleWithoutCapacityStoresNothing) {
  HeartbeatsBundle bundle(0);
  const HeartbeatsBundle before = bundle;
  bundle.append(heartbeat("a", 1));
  EXPECT_EQ(bundle, before);
  EXPECT_TRUE(bundle.makePayload().isEmpty());
}

TEST(HeartbeatsBundleTest, PushingOutTheLastCountedHeartbeatMakesItsPeriodCountableAgain) {
  HeartbeatsBundle bundle(30);
  bundle.append(heartbeat("first", 0));
  for (int n = 1; n < 30; ++n) bundle.append(heartbeat("filler", n, {}));
  EXPECT_EQ(bundle.lastAddedHeartbeatDates.at(TimePeriod::daily), day(0));

  HeartbeatsBundle uncounted = bundle;
  uncounted.append(heartbeat("late", 30, {}));
  EXPECT_EQ(uncounted.buffer.elements().size(), 30u);
  EXPECT_EQ(uncounted.buffer.elements().front().agent, "late");
  EXPECT_EQ(uncounted.lastAddedHeartbeatDates.at(TimePeriod::daily), platform::Date::distantPast());

  bundle.append(heartbeat("late", 30));
  EXPECT_EQ(bundle.lastAddedHeartbeatDates.at(TimePeriod::daily), day(30));
}

TEST(HeartbeatsBundleTest, ARingWithItsTailOutsideIsReplacedByOneDiagnosticHeartbeat) {
  std::vector<std::optional<Heartbeat>> slots(30);
  slots[4] = heartbeat("old", 1);
  HeartbeatsBundle damaged(30, {{TimePeriod::daily, day(1)}}, RingBuffer<Heartbeat>(slots, 30));

  damaged.append(heartbeat("agent/1", 9));

  const Heartbeat expected{"agent/1 error/Out-of-bounds-push-at-index-30-to-ring-buffer-withend-index-of-30.",
                           day(9),
                           0,
                           {TimePeriod::daily}};
  EXPECT_EQ(damaged.buffer.circularQueue()[0], expected);
  EXPECT_EQ(damaged.buffer.elements().size(), 1u);
  EXPECT_EQ(damaged.buffer.tailIndex(), 1);
  EXPECT_EQ(damaged.capacity, 30);
  EXPECT_EQ(damaged.lastAddedHeartbeatDates.at(TimePeriod::daily), day(9));
}

TEST(HeartbeatsBundleTest, ARingShorterThanItsCapacityIsWorkedOnItsOwnSlots) {
  // The stored capacity claims 30 slots but the ring has 2: nothing may reach past slot 1.
  HeartbeatsBundle bundle(30, HeartbeatsBundle::initialLastAddedDates(),
                          RingBuffer<Heartbeat>({heartbeat("a", 1), std::nullopt}, 1));
  bundle.append(heartbeat("b", 2));
  bundle.append(heartbeat("c", 3));
  EXPECT_EQ(agents(bundle), (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(bundle.removeHeartbeat(day(3)), heartbeat("c", 3));
  EXPECT_EQ(bundle.removeHeartbeat(day(7)), std::nullopt);
  EXPECT_EQ(agents(bundle), (std::vector<std::string>{"b"}));
}

class RemoveHeartbeatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& stored : {a, b, c}) bundle.append(stored);
  }
  Heartbeat a = heartbeat("A", 1), b = heartbeat("B", 2), c = heartbeat("C", 3);
  HeartbeatsBundle bundle{30};
};

TEST_F(RemoveHeartbeatTest, TheHeartbeatsPassedOnTheWayGoBack) {
  EXPECT_EQ(bundle.removeHeartbeat(b.date), b);
  EXPECT_EQ(bundle.buffer.circularQueue()[0], a);
  EXPECT_EQ(bundle.buffer.circularQueue()[1], c);
  EXPECT_EQ(bundle.buffer.tailIndex(), 2);
  EXPECT_EQ(bundle.buffer.elements().size(), 2u);
  // The period memory is not touched.
  EXPECT_EQ(bundle.lastAddedHeartbeatDates.at(TimePeriod::daily), c.date);
}

TEST_F(RemoveHeartbeatTest, AMissingDateLeavesTheHeartbeatsRotatedBehindTheEmptySlot) {
  EXPECT_EQ(bundle.removeHeartbeat(day(99)), std::nullopt);
  EXPECT_EQ(bundle.buffer.circularQueue()[29], a);
  EXPECT_EQ(bundle.buffer.circularQueue()[0], b);
  EXPECT_EQ(bundle.buffer.circularQueue()[1], c);
  EXPECT_EQ(bundle.buffer.tailIndex(), 2);
  EXPECT_EQ(agents(bundle), (std::vector<std::string>{"B", "C", "A"}));
}

TEST_F(RemoveHeartbeatTest, AFullRingWithoutTheDateKeepsEveryHeartbeat) {
  for (int n = 4; n <= 31; ++n) bundle.append(heartbeat("X", n));
  EXPECT_EQ(bundle.removeHeartbeat(day(99)), std::nullopt);
  EXPECT_EQ(bundle.buffer.elements().size(), 30u);
}

TEST(HeartbeatsBundleTest, PayloadGroupsDatesByAgentInSlotOrderAndSortsTheAgents) {
  HeartbeatsBundle bundle(30);
  bundle.append(heartbeat("b", 1));
  bundle.append(heartbeat("a", 2));
  bundle.append(heartbeat("b", 3));
  const HeartbeatsPayload expected{{{"a", {day(2)}}, {"b", {day(1), day(3)}}}, 2};
  EXPECT_EQ(bundle.makePayload(), expected);
  EXPECT_EQ(heartbeat("z", 4).makePayload(), (HeartbeatsPayload{{{"z", {day(4)}}}, 2}));
}

}  // namespace
}  // namespace beacon
