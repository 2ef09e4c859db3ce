// Resolution, observation, chaining and the dispatch group.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PromiseTestSupport.h"

using namespace std::chrono_literals;

namespace beacon::testing {
namespace {

using CorePromiseTest = PromiseTest;

TEST_F(CorePromiseTest, OnlyTheFirstResolutionCountsAndObserversRunOnce) {
  auto promise = CVPPromise<int>::pendingPromise();
  int fulfilments = 0, rejections = 0;
  promise.observeOnQueue(
      queue, [&](const int&) { ++fulfilments; }, [&](const platform::Error&) { ++rejections; });
  promise.fulfill(1);
  promise.reject(error(7));
  promise.fulfill(2);
  dispatch.drain();
  EXPECT_TRUE(promise.isFulfilled());
  EXPECT_EQ(promise.value(), 1);
  EXPECT_FALSE(promise.error());
  EXPECT_EQ(fulfilments, 1);
  EXPECT_EQ(rejections, 0);
}

TEST_F(CorePromiseTest, ResolvingWithAnErrorRejects) {
  auto promise = CVPPromise<std::string>::pendingPromise();
  promise.resolve(error(3));
  EXPECT_TRUE(promise.isRejected());
  EXPECT_TRUE(promise.error()->is("test.domain", 3));
  EXPECT_FALSE(promise.value());
}

TEST_F(CorePromiseTest, ObserverOfASettledPromiseRunsLaterOnItsQueue) {
  auto promise = CVPPromise<int>::resolvedWith(5);
  auto other = platform::makeSerialQueue("other");
  bool ran = false, onQueue = false;
  promise.observeOnQueue(
      other,
      [&](const int& value) {
        ran = value == 5;
        onQueue = other->isCurrent();
      },
      [](const platform::Error&) {});
  EXPECT_FALSE(ran);
  dispatch.drain();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onQueue);
}

TEST_F(CorePromiseTest, CallbacksRunInRegistrationOrder) {
  auto promise = CVPPromise<int>::pendingPromise();
  std::vector<int> order;
  for (int i = 0; i < 5; ++i) {
    promise.observeOnQueue(
        queue, [&order, i](const int&) { order.push_back(i); }, [](const platform::Error&) {});
  }
  promise.fulfill(0);
  dispatch.drain();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(CorePromiseTest, ChainedFulfilBlockReturningAnErrorRejects) {
  auto chained = CVPPromise<int>::resolvedWith(1).chainOnQueue<int>(
      queue, [this](const int&) { return CVPOutcome<int>(error(9)); }, nullptr);
  dispatch.drain();
  ASSERT_TRUE(chained.isRejected());
  EXPECT_EQ(chained.error()->code, 9);
}

TEST_F(CorePromiseTest, ChainedFulfilBlockReturningAPendingPromiseFollowsIt) {
  auto inner = CVPPromise<std::string>::pendingPromise();
  auto chained = CVPPromise<int>::resolvedWith(1).chainOnQueue<std::string>(
      queue, [inner](const int&) { return CVPOutcome<std::string>(inner); }, nullptr);
  dispatch.drain();
  EXPECT_TRUE(chained.isPending());
  inner.fulfill("later");
  dispatch.drain();
  EXPECT_EQ(chained.value(), "later");
}

TEST_F(CorePromiseTest, RejectionPassesUnchangedThroughLinksWithoutRejectBlock) {
  auto source = CVPPromise<int>::pendingPromise();
  int fulfilBlocksRun = 0;
  auto link = [&](const CVPPromise<int>& previous) {
    return previous.chainOnQueue<int>(
        queue,
        [&](const int& value) {
          ++fulfilBlocksRun;
          return CVPOutcome<int>(value);
        },
        nullptr);
  };
  auto end = link(link(link(source)));
  source.reject(error(42));
  dispatch.drain();
  EXPECT_EQ(fulfilBlocksRun, 0);
  ASSERT_TRUE(end.isRejected());
  EXPECT_TRUE(end.error()->is("test.domain", 42));
}

TEST_F(CorePromiseTest, RejectBlockCanRecoverAValue) {
  auto chained = CVPPromise<int>::resolvedWith(error(1)).chainOnQueue<int>(
      queue, nullptr,
      [](const platform::Error& e) { return CVPOutcome<int>(static_cast<int>(e.code) + 10); });
  dispatch.drain();
  EXPECT_EQ(chained.value(), 11);
}

TEST_F(CorePromiseTest, ResolvedWithNothingIsFulfilledWithNothing) {
  auto promise = CVPPromise<std::optional<std::string>>::resolvedWith(std::nullopt);
  EXPECT_TRUE(promise.isFulfilled());
  ASSERT_TRUE(promise.value());
  EXPECT_FALSE(promise.value()->has_value());
  EXPECT_NE(promise.description().find("> Fulfilled: (null)"), std::string::npos);
}

TEST_F(CorePromiseTest, DescriptionNamesStateAndResolution) {
  auto pending = CVPPromise<int>::pendingPromise();
  EXPECT_EQ(pending.description().rfind("<CVPPromise 0x", 0), 0u);
  EXPECT_NE(pending.description().find("> Pending"), std::string::npos);
  pending.fulfill(17);
  EXPECT_NE(pending.description().find("> Fulfilled: 17"), std::string::npos);
  auto rejected = CVPPromise<int>::resolvedWith(platform::Error("d", 4, "broken"));
  EXPECT_NE(rejected.description().find("> Rejected: Error Domain=d Code=4 \"broken\""), std::string::npos);
}

TEST_F(CorePromiseTest, PendingObjectsLiveUntilResolution) {
  auto promise = CVPPromise<int>::pendingPromise();
  auto object = std::make_shared<int>(1);
  std::weak_ptr<int> watched = object;
  promise.addPendingObject(std::move(object));
  EXPECT_FALSE(watched.expired());
  promise.reject(error(1));
  EXPECT_TRUE(watched.expired());

  auto late = std::make_shared<int>(2);
  promise.addPendingObject(late);
  EXPECT_EQ(late.use_count(), 1);
}

TEST_F(CorePromiseTest, GroupWaitsForPendingPromisesAndTheirCallbacks) {
  auto promise = CVPPromise<int>::pendingPromise();
  bool callbackRan = false;
  promise.observeOnQueue(
      queue, [&](const int&) { callbackRan = true; }, [](const platform::Error&) {});
  queue->asyncAfter(3s, [promise] { promise.fulfill(1); });
  EXPECT_TRUE(CVPPromiseClass::dispatchGroup().wait(10s));
  EXPECT_TRUE(callbackRan);
  EXPECT_EQ(elapsedSeconds(), 3.0);
}

TEST_F(CorePromiseTest, PendingPromiseDestroyedLeavesTheGroup) {
  { auto forgotten = CVPPromise<int>::pendingPromise(); }
  EXPECT_TRUE(CVPPromiseClass::dispatchGroup().wait(0s));
}

TEST_F(CorePromiseTest, MissingArgumentsAreProgrammerErrors) {
  auto promise = CVPPromise<int>::pendingPromise();
  try {
    promise.observeOnQueue(
        nullptr, [](const int&) {}, [](const platform::Error&) {});
    FAIL() << "a null queue was accepted";
  } catch (const platform::ProgrammerError& e) {
    EXPECT_EQ(e.reason(), "Invalid parameter not satisfying: queue");
  }
  EXPECT_THROW(promise.observeOnQueue(queue, nullptr, [](const platform::Error&) {}),
               platform::ProgrammerError);
  EXPECT_THROW(promise.addPendingObject(nullptr), platform::ProgrammerError);
  EXPECT_THROW(CVPPromiseClass::setDefaultDispatchQueue(nullptr), platform::ProgrammerError);
}

TEST(PromiseDefaultQueueTest, DefaultQueueIsTheMainQueueUntilReplaced) {
  platform::DeterministicDispatch dispatch;
  EXPECT_EQ(CVPPromiseClass::defaultDispatchQueue(), platform::mainQueue());
  bool onMain = false;
  CVPPromise<int>::resolvedWith(1).then([&](const int&) { onMain = platform::mainQueue()->isCurrent(); });
  dispatch.drain();
  EXPECT_TRUE(onMain);
}

}  // namespace
}  // namespace beacon::testing
