// Operators that build one promise from another or from work blocks.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "PromiseTestSupport.h"

using namespace std::chrono_literals;

namespace beacon::testing {
namespace {

using OperatorTest = PromiseTest;

TEST_F(OperatorTest, ThenMapsValuesAndAdoptsReturnedPromises) {
  auto inner = CVPPromise<std::string>::pendingPromise();
  auto chain = CVPPromise<int>::resolvedWith(20)
                   .then([](const int& value) { return value + 1; })
                   .then([inner](const int&) { return inner; })
                   .then([](const std::string& text) { return text + "!"; });
  dispatch.drain();
  EXPECT_TRUE(chain.isPending());
  inner.fulfill("done");
  dispatch.drain();
  EXPECT_EQ(chain.value(), "done!");
}

TEST_F(OperatorTest, ThenWithoutResultFulfilsWithNothingAndRunsOnTheGivenQueue) {
  auto other = platform::makeSerialQueue("other");
  bool onOther = false;
  auto chained =
      CVPPromise<int>::resolvedWith(1).then(other, [&](const int&) { onOther = other->isCurrent(); });
  static_assert(std::is_same_v<decltype(chained), CVPPromise<CVPUnit>>);
  dispatch.drain();
  EXPECT_TRUE(onOther);
  EXPECT_TRUE(chained.isFulfilled());
}

TEST_F(OperatorTest, CatchDoesNotRecover) {
  std::int64_t seen = 0;
  auto caught =
      CVPPromise<int>::resolvedWith(error(5)).catchError([&](const platform::Error& e) { seen = e.code; });
  dispatch.drain();
  EXPECT_EQ(seen, 5);
  ASSERT_TRUE(caught.isRejected());
  EXPECT_EQ(caught.error()->code, 5);

  bool called = false;
  auto passed = CVPPromise<int>::resolvedWith(3).catchError([&](const platform::Error&) { called = true; });
  dispatch.drain();
  EXPECT_FALSE(called);
  EXPECT_EQ(passed.value(), 3);
}

TEST_F(OperatorTest, RecoverTurnsARejectionIntoTheRecoveryResult) {
  auto recovered = CVPPromise<int>::resolvedWith(error(2)).recover(
      [](const platform::Error& e) { return static_cast<int>(e.code * 100); });
  auto stillFailing = CVPPromise<int>::resolvedWith(error(2)).recover(
      [this](const platform::Error&) { return CVPOutcome<int>(error(3)); });
  dispatch.drain();
  EXPECT_EQ(recovered.value(), 200);
  EXPECT_EQ(stillFailing.error()->code, 3);
}

TEST_F(OperatorTest, AlwaysRunsOnBothOutcomesAndKeepsThem) {
  int runs = 0;
  auto kept = CVPPromise<int>::resolvedWith(4).always([&] { ++runs; });
  auto failed = CVPPromise<int>::resolvedWith(error(8)).always([&] { ++runs; });
  dispatch.drain();
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(kept.value(), 4);
  EXPECT_EQ(failed.error()->code, 8);
}

TEST_F(OperatorTest, ValidateRejectsARefusedValueWithCodeTwo) {
  auto accepted = CVPPromise<int>::resolvedWith(4).validate([](const int& v) { return v % 2 == 0; });
  auto refused = CVPPromise<int>::resolvedWith(5).validate([](const int& v) { return v % 2 == 0; });
  dispatch.drain();
  EXPECT_EQ(accepted.value(), 4);
  ASSERT_TRUE(refused.isRejected());
  EXPECT_TRUE(refused.error()->is(kCVPPromiseErrorDomain, kCVPPromiseErrorCodeValidationFailure));
  EXPECT_TRUE(refused.error()->userInfo.empty());
  EXPECT_TRUE(kCVPPromiseErrorDomain.ends_with("CVPPromises.Error"));
}

TEST_F(OperatorTest, DelayHoldsBackFulfilmentButNotRejection) {
  auto delayed = CVPPromise<int>::resolvedWith(1).delay(2.5);
  auto rejected = CVPPromise<int>::resolvedWith(error(1)).delay(2.5);
  dispatch.drain();
  EXPECT_TRUE(delayed.isPending());
  EXPECT_TRUE(rejected.isRejected());
  dispatch.advance(2499ms);
  EXPECT_TRUE(delayed.isPending());
  dispatch.advance(1ms);
  EXPECT_EQ(delayed.value(), 1);
}

TEST_F(OperatorTest, TimeoutRejectsWithCodeOneOnlyWhenStillPending) {
  auto early = CVPPromise<int>::pendingPromise();
  auto late = CVPPromise<int>::pendingPromise();
  auto earlyLimited = early.timeout(1.0);
  auto lateLimited = late.timeout(1.0);
  early.fulfill(7);
  dispatch.advance(1s);
  EXPECT_EQ(earlyLimited.value(), 7);
  ASSERT_TRUE(lateLimited.isRejected());
  EXPECT_TRUE(lateLimited.error()->is(kCVPPromiseErrorDomain, kCVPPromiseErrorCodeTimedOut));
  late.fulfill(8);
  dispatch.drain();
  EXPECT_TRUE(lateLimited.isRejected());
}

TEST_F(OperatorTest, ReduceCombinesItemsInOrder) {
  auto reduced = CVPPromise<std::string>::resolvedWith("a").reduce(
      std::vector<int>{1, 2, 3},
      [](const std::string& partial, const int& item) { return partial + std::to_string(item); });
  dispatch.drain();
  EXPECT_EQ(reduced.value(), "a123");

  auto same = CVPPromise<std::string>::resolvedWith("x");
  auto unchanged = same.reduce(std::vector<int>{}, [](const std::string& p, const int&) { return p; });
  EXPECT_EQ(unchanged.description(), same.description());
}

TEST_F(OperatorTest, AsyncAndDoRunTheirWorkLaterOnTheQueue) {
  bool asyncRan = false;
  auto viaAsync = CVPPromise<int>::async([&](auto fulfill, auto) {
    asyncRan = true;
    fulfill(3);
  });
  auto viaAsyncReject = CVPPromise<int>::async([this](auto, auto reject) { reject(error(6)); });
  auto viaDo = CVPPromise<std::string>::doWork([] { return std::string("done"); });
  EXPECT_FALSE(asyncRan);
  dispatch.drain();
  EXPECT_EQ(viaAsync.value(), 3);
  EXPECT_EQ(viaAsyncReject.error()->code, 6);
  EXPECT_EQ(viaDo.value(), "done");
}

TEST_F(OperatorTest, RetryThatAlwaysFailsCallsTwiceOneSecondApartAndRejectsWithTheLastError) {
  std::vector<double> callTimes;
  auto promise = CVPPromise<int>::retry([&]() -> CVPOutcome<int> {
    callTimes.push_back(elapsedSeconds());
    return error(static_cast<std::int64_t>(callTimes.size()));
  });
  EXPECT_EQ(callTimes.size(), 1u);  // the first call runs at once
  dispatch.advance(5s);
  EXPECT_EQ(callTimes, (std::vector<double>{0.0, 1.0}));
  ASSERT_TRUE(promise.isRejected());
  EXPECT_EQ(promise.error()->code, 2);
}

TEST_F(OperatorTest, RetryFollowsReturnedPromisesAndStopsOnSuccess) {
  int calls = 0;
  auto promise = CVPPromise<int>::retry(3, 0.5, nullptr, [&]() -> CVPPromise<int> {
    ++calls;
    return calls < 3 ? CVPPromise<int>::resolvedWith(error(calls)) : CVPPromise<int>::resolvedWith(99);
  });
  dispatch.advance(10s);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(promise.value(), 99);
}

TEST_F(OperatorTest, RetryConditionAnsweringFalseStopsAtOnce) {
  int calls = 0;
  std::vector<std::int64_t> remainingSeen;
  auto promise = CVPPromise<int>::retry(
      5, 1.0,
      [&](std::int64_t remaining, const platform::Error& e) {
        remainingSeen.push_back(remaining);
        return e.code != 2;
      },
      [&]() -> CVPOutcome<int> { return error(++calls); });
  dispatch.advance(30s);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(remainingSeen, (std::vector<std::int64_t>{5, 4}));
  EXPECT_EQ(promise.error()->code, 2);
}

TEST_F(OperatorTest, WrappersSettleFromTheirCompletionHandlers) {
  auto plain = CVPPromise<CVPUnit>::wrapCompletion(queue, [](auto done) { done(); });
  auto object = CVPPromise<bool>::wrapObjectCompletion(queue, [](auto done) { done(true); });
  auto noError = CVPPromise<CVPUnit>::wrapErrorCompletion(queue, [](auto done) { done(std::nullopt); });
  auto withError =
      CVPPromise<int>::wrapObjectOrErrorCompletion(queue, [this](auto done) { done(1, error(4)); });
  auto errorFirst =
      CVPPromise<double>::wrapErrorOrObjectCompletion(queue, [](auto done) { done(std::nullopt, 2.5); });
  auto pair = CVPPromise<std::pair<int, std::optional<int>>>::wrap2ObjectsOrErrorCompletion(
      queue, [](auto done) { done(1, std::nullopt, std::nullopt); });
  dispatch.drain();
  EXPECT_TRUE(plain.isFulfilled());
  EXPECT_EQ(object.value(), true);
  EXPECT_TRUE(noError.isFulfilled());
  EXPECT_EQ(withError.error()->code, 4);
  EXPECT_EQ(errorFirst.value(), 2.5);
  EXPECT_EQ(pair.value(), (std::pair<int, std::optional<int>>(1, std::nullopt)));
}

}  // namespace
}  // namespace beacon::testing
