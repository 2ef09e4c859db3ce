#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/BMSAnalytics.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

class AnalyticsQueuesTest : public ::testing::Test {
 protected:
  testing::AnalyticsTestWorld world;
  std::vector<std::string> ran;
};

TEST_F(AnalyticsQueuesTest, OperationsWaitForTheStartAndThenFollowTheEngineStartBlock) {
  BMSAnalytics::queueOperationWithBlock([this] { ran.push_back("first"); });
  BMSAnalytics::queueOperationWithBlock([this] { ran.push_back("second"); });
  world.dispatch().drain();
  EXPECT_TRUE(ran.empty());

  // The start hands the engine-start block to the analytics queue before it lets operations flow.
  BMSAnalytics::dispatchAsyncOnSerialQueue([this] { ran.push_back("engine start"); });
  BMSAnalytics::unsuspendOperationQueue();
  BMSAnalytics::queueOperationWithBlock([this] { ran.push_back("third"); });
  world.dispatch().drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"engine start", "first", "second", "third"}));
}

TEST_F(AnalyticsQueuesTest, DispatchedWorkRunsBeforeTheStart) {
  BMSAnalytics::dispatchAsyncOnSerialQueue([this] { ran.push_back("dispatched"); });
  world.dispatch().drain();
  EXPECT_EQ(ran, std::vector<std::string>{"dispatched"});
}

TEST_F(AnalyticsQueuesTest, KnowsWhenItRunsOnTheAnalyticsQueue) {
  EXPECT_FALSE(BMSAnalytics::isCurrentQueueSerialQueue());
  bool inside = false;
  BMSAnalytics::dispatchAsyncOnSerialQueue([&] { inside = BMSAnalytics::isCurrentQueueSerialQueue(); });
  bool onOtherQueue = true;
  platform::makeSerialQueue("elsewhere")->async([&] {
    onOtherQueue = BMSAnalytics::isCurrentQueueSerialQueue();
  });
  world.dispatch().drain();
  EXPECT_TRUE(inside);
  EXPECT_FALSE(onOtherQueue);
  EXPECT_EQ(BMSAnalytics::queue()->label(), "BMSAnalyticsQueue");
}

TEST_F(AnalyticsQueuesTest, WaitingOperationHoldsLaterOnesForHalfASecond) {
  BMSAnalytics::unsuspendOperationQueue();
  BMSAnalytics::queueOperationWithBlockThenWait([this] { ran.push_back("user data"); });
  BMSAnalytics::queueOperationWithBlock([this] { ran.push_back("later"); });
  world.dispatch().drain();
  EXPECT_EQ(ran, std::vector<std::string>{"user data"});

  world.dispatch().advance(499ms);
  EXPECT_EQ(ran.size(), 1u);
  world.dispatch().advance(1ms);
  EXPECT_EQ(ran, (std::vector<std::string>{"user data", "later"}));
}

TEST_F(AnalyticsQueuesTest, WaitingOperationBeforeTheStartOnlyQueues) {
  BMSAnalytics::queueOperationWithBlockThenWait([this] { ran.push_back("user data"); });
  BMSAnalytics::queueOperationWithBlock([this] { ran.push_back("later"); });
  BMSAnalytics::unsuspendOperationQueue();
  world.dispatch().drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"user data", "later"}));
}

TEST_F(AnalyticsQueuesTest, LoadTimestampStartsAtTheContextsCreation) {
  const double created = world.clock().now().unixSeconds();
  world.clock().advance(5s);
  EXPECT_DOUBLE_EQ(BMSAnalytics::loadTimestamp(), created);
  BMSAnalytics::setLoadTimestamp(42.5);
  EXPECT_DOUBLE_EQ(BMSAnalytics::loadTimestamp(), 42.5);
}

TEST_F(AnalyticsQueuesTest, EachContextHasItsOwnQueues) {
  platform::QueueRef outer = BMSAnalytics::queue();
  {
    AnalyticsContext::Scope inner(std::make_shared<AnalyticsContext>());
    EXPECT_NE(BMSAnalytics::queue(), outer);
  }
  EXPECT_EQ(BMSAnalytics::queue(), outer);
}

}  // namespace
}  // namespace beacon
