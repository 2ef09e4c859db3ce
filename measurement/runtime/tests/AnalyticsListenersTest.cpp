#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class AnalyticsListenersTest : public ::testing::Test {
 protected:
  AnalyticsListenersTest() { BMSAnalytics::unsuspendOperationQueue(); }

  static BMSEvent event(const std::string& name) {
    return *BMSEvent::initWithOrigin("app", true, name, 1700000000, 0, {});
  }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
};

TEST_F(AnalyticsListenersTest, ListenersHearEventsInTheOrderTheyWereAdded) {
  std::vector<std::string> heard;
  BMSAnalytics::addLogEventListener([&](const BMSEvent& e) { heard.push_back("1:" + e.name()); });
  BMSAnalytics::addLogEventListener([&](const BMSEvent& e) { heard.push_back("2:" + e.name()); });
  BMSAnalytics::notifyEventListeners(event("level_up"));
  world.dispatch().drain();
  EXPECT_EQ(heard, (std::vector<std::string>{"1:level_up", "2:level_up"}));
}

TEST_F(AnalyticsListenersTest, RemovedListenerHearsNothingAndASecondRemovalIsLogged) {
  int heard = 0;
  const std::optional<BMSLogEventListenerToken> token =
      BMSAnalytics::addLogEventListener([&](const BMSEvent&) { ++heard; });
  ASSERT_TRUE(token);
  BMSAnalytics::removeLogEventListener(token);
  BMSAnalytics::notifyEventListeners(event("level_up"));
  BMSAnalytics::removeLogEventListener(token);
  world.dispatch().drain();
  EXPECT_EQ(heard, 0);
  EXPECT_EQ(world.log().codes(), std::vector<std::int64_t>{25015});
}

TEST_F(AnalyticsListenersTest, EventsAreQueuedForListenersOnlyWhileThereAreAny) {
  platform::OperationQueue& operations = AnalyticsContext::current().facade().operationQueue();
  BMSAnalytics::notifyEventListeners(event("unheard"));
  EXPECT_EQ(operations.operationCount(), 0u);

  std::vector<std::string> heard;
  const auto token = BMSAnalytics::addLogEventListener([&](const BMSEvent& e) { heard.push_back(e.name()); });
  BMSAnalytics::notifyEventListeners(event("heard"));  // the listener is still queued to be added
  BMSAnalytics::removeLogEventListener(token);
  world.dispatch().drain();
  BMSAnalytics::notifyEventListeners(event("after_removal"));
  EXPECT_EQ(operations.operationCount(), 0u);
  world.dispatch().drain();
  EXPECT_EQ(heard, std::vector<std::string>{"heard"});
}

TEST_F(AnalyticsListenersTest, EmptyListenersAndTokensAreRefused) {
  EXPECT_EQ(BMSAnalytics::addLogEventListener(nullptr), std::nullopt);
  BMSAnalytics::removeLogEventListener(std::nullopt);
  BMSAnalytics::removeLogEventListener(BMSLogEventListenerToken{42});
  world.dispatch().drain();
  EXPECT_EQ(world.log().codes(), (std::vector<std::int64_t>{25012, 25013, 25014}));
}

TEST_F(AnalyticsListenersTest, InterceptorIsSetInlineOnTheAnalyticsQueue) {
  bool setInline = false;
  BMSAnalytics::dispatchAsyncOnSerialQueue([&] {
    BMSAnalytics::setLogEventInterceptor(
        [](const std::string&, const std::string&, const BMSParameters&, double) {});
    setInline = BMSAnalytics::logEventInterceptor().has_value();
  });
  world.dispatch().drain();
  EXPECT_TRUE(setInline);

  BMSAnalytics::setLogEventInterceptor(nullptr);
  bool cleared = false;
  BMSAnalytics::queueOperationWithBlock([&] { cleared = !BMSAnalytics::logEventInterceptor(); });
  world.dispatch().drain();
  EXPECT_TRUE(cleared);
}

TEST_F(AnalyticsListenersTest, MaxUserPropertiesQueriesAreCheckedBeforeTheyAreQueued) {
  BMSAnalytics::sharedInstance().maxUserPropertiesForOrigin("", BMSAnalytics::queue(), [](std::int64_t) {});
  BMSAnalytics::sharedInstance().maxUserPropertiesForOrigin("app", nullptr, [](std::int64_t) {});
  BMSAnalytics::sharedInstance().maxUserPropertiesForOrigin("app", BMSAnalytics::queue(), nullptr);
  EXPECT_EQ(world.log().codes(), (std::vector<std::int64_t>{25009, 25010, 25011}));
}

TEST_F(AnalyticsListenersTest, EngineAllowsTwentyFivePropertiesPerOriginOnTheGivenQueue) {
  BMSMeasurement::initializeSharedInstanceWithAppID("1:123456789012:ios:0123456789abcdef", true, false, {});
  std::int64_t maximum = 0;
  bool onGivenQueue = false;
  const platform::QueueRef queue = platform::makeSerialQueue("caller");
  BMSAnalytics::sharedInstance().maxUserPropertiesForOrigin("app", queue, [&](std::int64_t value) {
    maximum = value;
    onGivenQueue = queue->isCurrent();
  });
  world.dispatch().drain();
  EXPECT_EQ(maximum, 25);
  EXPECT_TRUE(onGivenQueue);
}

}  // namespace
}  // namespace beacon
