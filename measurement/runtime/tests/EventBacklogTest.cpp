// The bound on events waiting to be stored: places while there are some; past the bound a wait as
// long as the caller may wait - patiently on a thread of its own or in a global queue's block,
// briefly on the main thread, not at all in a serial queue's block - then refusal (counted, logged
// once per thousand).

#include "measurement/runtime/BMSEventBacklog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"

namespace beacon {
namespace {

using Wait = BMSEventBacklog::Wait;
constexpr std::int64_t kRefusedLogCode = 25062;
constexpr auto kHangPatience = std::chrono::seconds(20);  // only a real hang takes this long

class EventBacklogTest : public ::testing::Test {
 protected:
  std::int64_t refusalLines() const {
    const std::vector<std::int64_t> codes = services.log->codes();
    return std::count(codes.begin(), codes.end(), kRefusedLogCode);
  }
  testing::ScopedEngineServices services;
};

TEST_F(EventBacklogTest, PastTheBoundEachCallerWaitsAsLongAsItMayThenIsRefused) {
  // Waits for a place pass in virtual time, so how long a caller was held is read off the clock.
  platform::DeterministicDispatch dispatch;
  const platform::ManualClock& clock = dispatch.clock();
  constexpr std::chrono::seconds kPatience{10};
  BMSEventBacklog backlog(2, kPatience);
  auto first = backlog.admit("a", Wait::Patiently);
  auto second = backlog.admit("b", Wait::Patiently);
  ASSERT_TRUE(first.admitted && first.place && second.admitted && second.place);
  const auto heldFor = [&](Wait wait) {
    const auto before = clock.monotonicNow();
    EXPECT_FALSE(backlog.admit("c", wait).admitted);
    return clock.monotonicNow() - before;
  };

  EXPECT_EQ(heldFor(Wait::Never), std::chrono::nanoseconds::zero());
  EXPECT_EQ(heldFor(Wait::Briefly), BMSEventBacklog::kBriefPatience);
  EXPECT_EQ(heldFor(Wait::Briefly), std::chrono::nanoseconds::zero()) << "a brief wait ran out already";
  EXPECT_EQ(heldFor(Wait::Patiently), kPatience) << "brief waits that ran out do not hold patient ones";
  EXPECT_EQ(heldFor(Wait::Patiently), std::chrono::nanoseconds::zero()) << "storage is stuck";
  EXPECT_EQ(backlog.refusedCount(), 5);
  EXPECT_EQ(refusalLines(), 1);

  // A place given back ends the refusals.
  second.place.reset();
  EXPECT_TRUE(backlog.admit("e", Wait::Patiently).place);
  first.place.reset();
  EXPECT_TRUE(backlog.admit("f", Wait::Briefly).place);
}

TEST_F(EventBacklogTest, BeforeTheStartEventsAreLetThroughWithAPlaceWhileThereIsOne) {
  BMSEventBacklog backlog(1);
  const auto first = backlog.letThrough();
  const auto second = backlog.letThrough();
  EXPECT_TRUE(first.admitted && first.place);
  EXPECT_TRUE(second.admitted);
  EXPECT_FALSE(second.place);
  EXPECT_EQ(backlog.refusedCount(), 0);
}

TEST_F(EventBacklogTest, ACallerWaitsPatientlyOnlyOutsideSerialQueuesAndOffTheMainThread) {
  ASSERT_TRUE(platform::isMainThread());
  EXPECT_EQ(BMSEventBacklog::callerWait(), Wait::Briefly);
  std::atomic<Wait> onPlainThread = Wait::Never;
  std::thread([&] { onPlainThread = BMSEventBacklog::callerWait(); }).join();
  EXPECT_EQ(onPlainThread.load(), Wait::Patiently);

  std::atomic<int> answered = 0;
  std::atomic<Wait> inGlobalBlock = Wait::Never;
  std::atomic<Wait> inSerialBlock = Wait::Patiently;
  std::atomic<Wait> inMainBlock = Wait::Never;
  const platform::QueueRef serial = platform::makeSerialQueue("app.serial");
  platform::globalQueue()->async([&] {
    inGlobalBlock = BMSEventBacklog::callerWait();
    // A global queue's block reached from a serial one still holds the serial queue.
    serial->sync(
        [&] { platform::globalQueue()->sync([&] { inSerialBlock = BMSEventBacklog::callerWait(); }); });
    ++answered;
  });
  platform::mainQueue()->async([&] {
    inMainBlock = BMSEventBacklog::callerWait();
    ++answered;
  });
  ASSERT_TRUE(platform::runUntil([&] { return answered == 2; }, kHangPatience));
  EXPECT_EQ(inGlobalBlock.load(), Wait::Patiently);
  EXPECT_EQ(inSerialBlock.load(), Wait::Never);
  EXPECT_EQ(inMainBlock.load(), Wait::Briefly);
}

TEST_F(EventBacklogTest, AGlobalQueueBlockPastTheBoundIsSlowedToStorageAndLosesNothing) {
  constexpr std::int64_t kBound = 64;
  constexpr int kEvents = 2000;
  BMSEventBacklog backlog(kBound, kHangPatience);
  const platform::QueueRef storage = platform::makeSerialQueue("storage");
  std::atomic<std::int64_t> held = 0;
  std::atomic<std::int64_t> mostHeld = 0;
  std::atomic<int> withoutPlace = 0;
  platform::Semaphore done;
  platform::globalQueue()->async([&] {
    for (int i = 0; i < kEvents; ++i) {
      BMSEventBacklog::Admission admission = backlog.admit("burst", BMSEventBacklog::callerWait());
      if (!admission.place) {
        ++withoutPlace;
        continue;
      }
      const std::int64_t now = ++held;
      std::int64_t most = mostHeld.load();
      while (now > most && !mostHeld.compare_exchange_weak(most, now)) {
      }
      storage->async([&held, place = std::move(admission.place)]() mutable {
        --held;
        place.reset();
      });
    }
    done.signal();
  });
  ASSERT_TRUE(done.wait(kHangPatience));
  storage->sync([] {});
  EXPECT_EQ(withoutPlace.load(), 0);
  EXPECT_LE(mostHeld.load(), kBound);
  EXPECT_EQ(backlog.refusedCount(), 0);
}

TEST_F(EventBacklogTest, AMainQueueBlockPastTheBoundWaitsBrieflyThenIsRefused) {
  BMSEventBacklog backlog(1, kHangPatience);
  const auto held = backlog.admit("a", Wait::Patiently);
  std::optional<BMSEventBacklog::Admission> inMainBlock;
  platform::mainQueue()->async([&] { inMainBlock = backlog.admit("b", BMSEventBacklog::callerWait()); });
  ASSERT_TRUE(platform::runUntil([&] { return inMainBlock.has_value(); }, kHangPatience));
  EXPECT_FALSE(inMainBlock->admitted);
  EXPECT_EQ(backlog.refusedCount(), 1);
  EXPECT_EQ(refusalLines(), 1);
}

TEST_F(EventBacklogTest, AWaitingCallerGetsThePlaceTheEngineGivesBack) {
  BMSEventBacklog backlog(1, std::chrono::minutes(5));
  auto held = backlog.admit("a", Wait::Patiently);
  std::thread engine([place = std::move(held.place)]() mutable {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    place.reset();
  });
  const auto waited = backlog.admit("b", Wait::Patiently);
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
      BMSEventBacklog::Admission admission = backlog.letThrough();
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
  EXPECT_TRUE(backlog.admit("b", Wait::Patiently).place);
  EXPECT_EQ(backlog.refusedCount(), 0);
}

TEST_F(EventBacklogTest, RefusalsAreLoggedOncePerThousand) {
  BMSEventBacklog backlog(1);
  const auto held = backlog.admit("a", Wait::Never);
  for (int i = 0; i < 2001; ++i) EXPECT_FALSE(backlog.admit("b", Wait::Never).admitted);
  EXPECT_EQ(backlog.refusedCount(), 2001);
  EXPECT_EQ(refusalLines(), 3);
}

}  // namespace
}  // namespace beacon
