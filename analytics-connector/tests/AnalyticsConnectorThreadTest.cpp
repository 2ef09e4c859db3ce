// The listener table under real threads: one thread registers and unregisters while logged events
// reach the connector on the analytics queue (threaded dispatch backend).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNAnalyticsConnector.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

// Heard on the main queue only.
class CountingListener : public BCNAnalyticsInteropListener {
 public:
  void messageTriggered(const std::string&, const platform::Dictionary&) override { ++count; }
  int count = 0;
};

TEST(AnalyticsConnectorThreadTest, ListenersChangeWhileEventsAreDelivered) {
  platform::testing::TemporaryUser user;
  BCNAnalytics::unsuspendOperationQueue();
  auto connector = std::make_shared<BCNAnalyticsConnector>();
  auto listener = std::make_shared<CountingListener>();
  connector->registerAnalyticsListener(listener, "crash");

  constexpr int kEvents = 500;
  std::atomic<bool> delivered = false;
  std::atomic<bool> churning = false;
  // "biam" sorts between the events' origin and "crash": its comings and goings rewrite the very
  // table links that each event's lookup reads.
  std::thread churn([&] {
    while (!delivered) {
      connector->registerAnalyticsListener(std::make_shared<CountingListener>(), "biam");
      connector->unregisterAnalyticsListenerWithOrigin("biam");
      churning = true;
    }
  });
  while (!churning) std::this_thread::yield();
  const BMSEvent event = *BMSEvent::initWithOrigin("app", false, "prompt_copy", 1.7e9, 0, {});
  for (int i = 0; i < kEvents; ++i) BCNAnalytics::notifyEventListeners(event);
  EXPECT_TRUE(platform::runUntil([&] { return listener->count >= kEvents; }, 60s));
  delivered = true;
  churn.join();
}

}  // namespace
}  // namespace beacon
