// One operation of a kind at a time: joining a running one, and starting anew once it settled.
#include <gtest/gtest.h>

#include "installations/BCNInstallationsSingleOperationPromiseCache.h"
#include "installations/tests/InstallationsTestSupport.h"

namespace beacon {
namespace {

class SingleOperationPromiseCacheTest : public testing::InstallationsTest {
 protected:
  BCNInstallationsSingleOperationPromiseCache<int> cache{[this] {
    operations.push_back(CVPPromise<int>::pendingPromise());
    return operations.back();
  }};
  std::vector<CVPPromise<int>> operations;
};

TEST_F(SingleOperationPromiseCacheTest, CallersWhileItRunsShareOneOperation) {
  CVPPromise<int> first = cache.getExistingPendingOrCreateNewPromise();
  CVPPromise<int> second = cache.getExistingPendingOrCreateNewPromise();
  EXPECT_EQ(operations.size(), 1u);
  ASSERT_TRUE(cache.getExistingPendingPromise());
  operations[0].fulfill(7);
  dispatch.drain();
  EXPECT_EQ(second.value(), 7);
  EXPECT_FALSE(cache.getExistingPendingPromise());
}

// The clean-up step has not run yet (nothing drained): the settled operation is over all the same,
// so a caller asking again right after a failure gets a new attempt, not the old failure.
TEST_F(SingleOperationPromiseCacheTest, ASettledOperationIsNeverHandedOutBeforeItsCleanUpRan) {
  cache.getExistingPendingOrCreateNewPromise();
  operations[0].reject(platform::Error("test", 1));
  EXPECT_FALSE(cache.getExistingPendingPromise());
  CVPPromise<int> retry = cache.getExistingPendingOrCreateNewPromise();
  ASSERT_EQ(operations.size(), 2u);
  EXPECT_TRUE(retry.isPending());
  // The late clean-up of the first operation leaves the second one in place.
  dispatch.drain();
  ASSERT_TRUE(cache.getExistingPendingPromise());
  EXPECT_TRUE(cache.getExistingPendingPromise()->isPending());
}

TEST_F(SingleOperationPromiseCacheTest, AMissingHandlerIsAProgrammerError) {
  EXPECT_THROW(BCNInstallationsSingleOperationPromiseCache<int>(nullptr), platform::ProgrammerError);
}

}  // namespace
}  // namespace beacon
