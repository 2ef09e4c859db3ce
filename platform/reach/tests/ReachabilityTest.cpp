// The default reachability table on this machine: loopback has a route, callbacks arrive on the
// scheduled queue, and none after unscheduling.

#include "platform/reach/Reachability.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

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

}  // namespace
}  // namespace platform
