#include "measurement/engine/BMSScheduler.h"

#include <gtest/gtest.h>

#include <thread>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/dispatch/DeterministicDispatch.h"

namespace beacon {
namespace {

class BMSSchedulerTest : public ::testing::Test {
 protected:
  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  BMSScheduler scheduler{"com.corvane.cnp.bms.worker"};
};

TEST_F(BMSSchedulerTest, AThrowingBlockIsLoggedWithItsIDAndTheNextBlockStillRuns) {
  std::vector<int> ran;
  scheduler.scheduleOnWorkerQueueBlockID("BMSMeasurement:1", [] { throw std::runtime_error("broken"); });
  scheduler.scheduleOnWorkerQueueBlockID("BMSMeasurement:2", [&] { ran.push_back(2); });
  EXPECT_TRUE(ran.empty());  // never inline
  dispatch.drain();
  EXPECT_EQ(ran, std::vector<int>{2});
  ASSERT_EQ(services.log->lines.size(), 1u);
  EXPECT_EQ(services.log->lines[0].code, 30000);
  EXPECT_EQ(services.log->lines[0].message,
            "Exception on worker queue. Block ID=BMSMeasurement:1. Exception");
}

TEST_F(BMSSchedulerTest, EmptyBlocksAreLoggedAndDropped) {
  scheduler.scheduleOnWorkerQueueBlockID("A:1", nullptr);
  scheduler.dispatchSyncOnWorkerQueueBlockID("A:2", nullptr);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{30005, 30002}));
  EXPECT_EQ(services.log->lines[1].message,
            "Nil block dispatched synchronously on worker queue. Block ID=A:2.");
}

TEST_F(BMSSchedulerTest, SyncRunsAfterEarlierBlocksAndReportsAThrowingBlockAsFailed) {
  std::vector<int> ran;
  scheduler.scheduleOnWorkerQueueBlockID("A:1", [&] { ran.push_back(1); });
  scheduler.dispatchSyncOnWorkerQueueBlockID("A:2", [&] { ran.push_back(2); });
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_TRUE(services.log->lines.empty());

  scheduler.dispatchSyncOnWorkerQueueBlockID("A:3", [] { throw std::logic_error("bad"); });
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{30003, 30004}));
  EXPECT_EQ(services.log->lines[1].level, 4);
  EXPECT_EQ(services.log->lines[1].message, "Synchronous task failed. Block ID=A:3");
}

TEST_F(BMSSchedulerTest, SyncFromTheWorkerQueueItselfIsRefusedInsteadOfWaitingForEver) {
  bool innerRan = false;
  scheduler.scheduleOnWorkerQueueBlockID(
      "A:1", [&] { scheduler.dispatchSyncOnWorkerQueueBlockID("A:2", [&] { innerRan = true; }); });
  dispatch.drain();
  EXPECT_FALSE(innerRan);
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{30004});
}

TEST_F(BMSSchedulerTest, BackgroundCheckFailsOnlyOnTheMainThread) {
  EXPECT_FALSE(BMSScheduler::checkOnBackgroundThreadWithMethodName(""));
  ASSERT_EQ(services.log->lines.size(), 1u);
  EXPECT_EQ(services.log->lines[0].code, 30001);
  EXPECT_EQ(services.log->lines[0].message, "Method <empty method name> should execute on background thread");
  EXPECT_TRUE(services.log->lines[0].contexts.empty());

  bool onOtherThread = false;
  std::thread([&] { onOtherThread = BMSScheduler::checkOnBackgroundThreadWithMethodName("m"); }).join();
  EXPECT_TRUE(onOtherThread);
  EXPECT_EQ(services.log->lines.size(), 1u);
}

}  // namespace
}  // namespace beacon
