// The default reachability table on this machine: loopback has a route, callbacks arrive on the
// scheduled queue, and none after unscheduling.

#include "platform/reach/Reachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace platform {
namespace {

struct Received {
  std::promise<std::uint32_t> first;
  std::atomic<int> calls{0};
  QueueRef queue;
  std::atomic<bool> onQueue{false};
};

void record(ReachabilityHandle, std::uint32_t flags, void* info) {
  auto& received = *static_cast<Received*>(info);
  received.onQueue = received.queue->isCurrent();
  if (received.calls++ == 0) received.first.set_value(flags);
}

TEST(ReachabilityTest, LoopbackIsReachableAndANameThatCannotResolveIsNot) {
  EXPECT_EQ(currentReachabilityFlags("127.0.0.1"), kReachabilityFlagReachable);
  EXPECT_EQ(currentReachabilityFlags("no-such-host.invalid"), 0u);
}

TEST(ReachabilityTest, FirstCallbackArrivesOnTheScheduledQueueAndNoneAfterUnschedule) {
  const ReachabilityApi& api = defaultReachabilityApi();
  EXPECT_EQ(api.create(""), nullptr);
  ReachabilityHandle handle = api.create("127.0.0.1");
  ASSERT_NE(handle, nullptr);
  Received received;
  received.queue = makeSerialQueue("reach.test");
  ASSERT_TRUE(api.setCallback(handle, record, &received));
  ASSERT_TRUE(api.schedule(handle, received.queue));
  auto first = received.first.get_future();
  ASSERT_EQ(first.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(first.get(), kReachabilityFlagReachable);
  received.queue->sync([] {});
  EXPECT_TRUE(received.onQueue);

  EXPECT_TRUE(api.unschedule(handle, received.queue));
  EXPECT_FALSE(api.unschedule(handle, received.queue));
  const int calls = received.calls;
  api.release(handle);
  received.queue->sync([] {});
  EXPECT_EQ(received.calls, calls);
}

// The callback is inside its first call when another thread unschedules: unschedule returns only
// after the callback did, so the caller may free what the callback uses right away.
TEST(ReachabilityTest, UnscheduleFromAnotherThreadWaitsForARunningCallback) {
  struct Blocking {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> unscheduled{false};
    std::atomic<bool> unscheduledWhileRunning{false};
    std::atomic<int> calls{0};
  } blocking;
  const ReachabilityApi& api = defaultReachabilityApi();
  ReachabilityHandle handle = api.create("127.0.0.1");
  ASSERT_TRUE(api.setCallback(
      handle,
      [](ReachabilityHandle, std::uint32_t, void* info) {
        auto& state = *static_cast<Blocking*>(info);
        if (state.calls++ > 0) return;
        state.entered.set_value();
        state.released.wait();
        state.unscheduledWhileRunning = state.unscheduled.load();
      },
      &blocking));
  auto queue = makeSerialQueue("reach.test.blocking");
  ASSERT_TRUE(api.schedule(handle, queue));
  ASSERT_EQ(blocking.entered.get_future().wait_for(10s), std::future_status::ready);

  std::thread stopper([&] {
    api.unschedule(handle, queue);
    blocking.unscheduled = true;
  });
  // Time for a stop that does not wait to return while the callback still runs.
  std::this_thread::sleep_for(50ms);
  blocking.release.set_value();
  stopper.join();
  queue->sync([] {});
  EXPECT_FALSE(blocking.unscheduledWhileRunning);
  api.release(handle);
  queue->sync([] {});
  EXPECT_EQ(blocking.calls, 1);
}

// A callback may end its own watch without waiting for itself.
TEST(ReachabilityTest, TheCallbackCanUnscheduleItsOwnHandle) {
  struct Self {
    ReachabilityHandle handle = nullptr;
    QueueRef queue = makeSerialQueue("reach.test.self");
    std::promise<bool> unscheduled;
  } self;
  const ReachabilityApi& api = defaultReachabilityApi();
  self.handle = api.create("127.0.0.1");
  ASSERT_TRUE(api.setCallback(
      self.handle,
      [](ReachabilityHandle, std::uint32_t, void* info) {
        auto& state = *static_cast<Self*>(info);
        state.unscheduled.set_value(defaultReachabilityApi().unschedule(state.handle, state.queue));
      },
      &self));
  ASSERT_TRUE(api.schedule(self.handle, self.queue));
  auto done = self.unscheduled.get_future();
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(done.get());
  api.release(self.handle);
}

}  // namespace
}  // namespace platform
