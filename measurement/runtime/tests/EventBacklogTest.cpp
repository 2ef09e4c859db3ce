// The bound on events waiting to be stored: places while there are some, a wait for one where the
// caller may wait, refusal (counted, logged once per thousand) when storage is stuck.

#include "measurement/runtime/BMSEventBacklog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/dispatch/DeterministicDispatch.h"

namespace beacon {
namespace {

constexpr std::int64_t kRefusedLogCode = 25060;

class EventBacklogTest : public ::testing::Test {
 protected:
  std::int64_t refusalLines() const {
    const std::vector<std::int64_t> codes = services.log->codes();
    return std::count(codes.begin(), codes.end(), kRefusedLogCode);
  }
  testing::ScopedEngineServices services;
};

TEST_F(EventBacklogTest, PastTheBoundOnlyACallerThatMayNotWaitIsLetThroughAtOnce) {
  // Waits for a place pass in virtual time, so how long a caller was held is read off the clock.
  platform::DeterministicDispatch dispatch;
  const platform::ManualClock& clock = dispatch.clock();
  constexpr std::chrono::seconds kPatience{10};
  BMSEventBacklog backlog(2, kPatience);
  auto first = backlog.admit("a", true);
  auto second = backlog.admit("b", true);
  ASSERT_TRUE(first.admitted && first.place && second.admitted && second.place);

  // An SDK queue's own event: through, holding no place.
  const auto unbounded = backlog.admit("_e", false);
  EXPECT_TRUE(unbounded.admitted);
  EXPECT_FALSE(unbounded.place);

  // No place frees up within the patience: refused and logged; the next caller is refused at once.
  const auto beforeFirst = clock.monotonicNow();
  EXPECT_FALSE(backlog.admit("c", true).admitted);
  EXPECT_EQ(clock.monotonicNow() - beforeFirst, kPatience) << "the first caller waits the patience out";
  const auto beforeNext = clock.monotonicNow();
  EXPECT_FALSE(backlog.admit("d", true).admitted);
  EXPECT_EQ(clock.monotonicNow(), beforeNext) << "the next caller does not wait at all";
  EXPECT_EQ(backlog.refusedCount(), 2);
  EXPECT_EQ(refusalLines(), 1);

  // A place given back ends the refusals.
  second.place.reset();
  EXPECT_TRUE(backlog.admit("e", true).admitted);
}

TEST_F(EventBacklogTest, AWaitingCallerGetsThePlaceTheEngineGivesBack) {
  BMSEventBacklog backlog(1, std::chrono::minutes(5));
  auto held = backlog.admit("a", true);
  std::thread engine([place = std::move(held.place)]() mutable {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    place.reset();
  });
  const auto waited = backlog.admit("b", true);
  engine.join();
  EXPECT_TRUE(waited.admitted);
  EXPECT_TRUE(waited.place);
  EXPECT_EQ(backlog.refusedCount(), 0);
}

TEST_F(EventBacklogTest, PlacesGivenBackOneByOneAreTakenAtOnceAndNoneIsLost) {
  constexpr std::int64_t kBound = 64;
  BMSEventBacklog backlog(kBound, std::chrono::milliseconds(1));
  std::vector<BMSEventBacklog::Place> held;
  const auto takeAll = [&] {
    while (true) {
      BMSEventBacklog::Admission admission = backlog.admit("a", false);
      if (!admission.place) return;
      held.push_back(std::move(admission.place));
    }
  };
  takeAll();
  ASSERT_EQ(static_cast<std::int64_t>(held.size()), kBound);
  // Fewer than a waiting caller's batch: still there for a caller that asks.
  held.resize(kBound - 3);
  takeAll();
  EXPECT_EQ(static_cast<std::int64_t>(held.size()), kBound);
  held.clear();
  takeAll();
  EXPECT_EQ(static_cast<std::int64_t>(held.size()), kBound);
  held.resize(kBound - 1);
  EXPECT_TRUE(backlog.admit("b", true).place);
  EXPECT_EQ(backlog.refusedCount(), 0);
}

TEST_F(EventBacklogTest, RefusalsAreLoggedOncePerThousand) {
  BMSEventBacklog backlog(1, std::chrono::milliseconds(1));
  const auto held = backlog.admit("a", true);
  for (int i = 0; i < 2001; ++i) EXPECT_FALSE(backlog.admit("b", true).admitted);
  EXPECT_EQ(backlog.refusedCount(), 2001);
  EXPECT_EQ(refusalLines(), 3);
}

}  // namespace
}  // namespace beacon
