#include "Velloran/data/MockSyncService.h"

#include <gtest/gtest.h>

#include "Velloran/data/testing/RepositoryTestSupport.h"

namespace velloran::testing {
namespace {

TEST(MockSyncServiceTest, PullAndPushSucceedOnTheMainQueue) {
  platform::DeterministicDispatch dispatch;
  MockSyncService sync;
  EXPECT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { sync.pullChanges(done); }).ok());
  EXPECT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { sync.pushChanges(done); }).ok());
}

TEST(MockSyncServiceTest, ObservingCompletesOnceOnTheMainQueueEvenWhenCalledFromThere) {
  platform::DeterministicDispatch dispatch;
  MockSyncService sync;
  int calls = 0;
  bool onMainQueue = false;
  platform::mainQueue()->async([&] {
    sync.startObservingRemoteChanges([&] {
      ++calls;
      onMainQueue = platform::mainQueue()->isCurrent();
    });
    // Even from the main queue the work is posted, never run inline.
    EXPECT_EQ(calls, 0);
  });
  dispatch.drain();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(onMainQueue);
}

}  // namespace
}  // namespace velloran::testing
