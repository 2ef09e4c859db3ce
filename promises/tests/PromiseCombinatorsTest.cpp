// all, any and race.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "PromiseTestSupport.h"

namespace beacon::testing {
namespace {

using CombinatorTest = PromiseTest;

TEST_F(CombinatorTest, AllOfValuesFulfilsWithThemInOrder) {
  auto later = CVPPromise<int>::pendingPromise();
  auto result = CVPPromise<int>::all({1, later, CVPPromise<int>::resolvedWith(3)});
  dispatch.drain();
  EXPECT_TRUE(result.isPending());
  later.fulfill(2);
  dispatch.drain();
  EXPECT_EQ(result.value(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(CVPPromise<int>::all({}).value(), std::vector<int>{});
}

TEST_F(CombinatorTest, AllWithAnErrorValueRejectsWithoutWaitingForPromises) {
  auto neverSettled = CVPPromise<int>::pendingPromise();
  auto result = CVPPromise<int>::all({neverSettled, error(3), 1});
  dispatch.drain();
  ASSERT_TRUE(result.isRejected());
  EXPECT_EQ(result.error()->code, 3);
}

TEST_F(CombinatorTest, AllRejectsWithTheFirstRejection) {
  auto first = CVPPromise<int>::pendingPromise();
  auto second = CVPPromise<int>::pendingPromise();
  auto result = CVPPromise<int>::all({first, second});
  dispatch.drain();
  second.reject(error(2));
  first.reject(error(1));
  dispatch.drain();
  EXPECT_EQ(result.error()->code, 2);
}

TEST_F(CombinatorTest, TypedAllCollectsATuple) {
  auto number = CVPPromise<int>::pendingPromise();
  auto result = all(queue, number, CVPPromise<std::string>::resolvedWith("x"));
  dispatch.drain();
  EXPECT_TRUE(result.isPending());
  number.fulfill(4);
  dispatch.drain();
  EXPECT_EQ(result.value(), std::make_tuple(4, std::string("x")));

  auto failing =
      all(queue, CVPPromise<int>::resolvedWith(error(9)), CVPPromise<std::string>::pendingPromise());
  dispatch.drain();
  EXPECT_EQ(failing.error()->code, 9);
}

TEST_F(CombinatorTest, AnyKeepsValuesAndErrorsInInputOrder) {
  auto rejected = CVPPromise<int>::pendingPromise();
  auto result = CVPPromise<int>::any({5, rejected});
  dispatch.drain();
  EXPECT_TRUE(result.isPending());
  rejected.reject(error(6));
  dispatch.drain();
  auto values = result.value();
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 2u);
  EXPECT_EQ(std::get<0>((*values)[0]), 5);
  EXPECT_EQ(std::get<1>((*values)[1]).code, 6);
}

TEST_F(CombinatorTest, AnyWithEveryInputRejectedRejectsWithTheLastToArrive) {
  auto first = CVPPromise<int>::pendingPromise();
  auto second = CVPPromise<int>::pendingPromise();
  auto result = CVPPromise<int>::any({first, second});
  dispatch.drain();
  second.reject(error(2));
  dispatch.drain();
  first.reject(error(1));
  dispatch.drain();
  EXPECT_EQ(result.error()->code, 1);
}

TEST_F(CombinatorTest, RaceIsDecidedByThePlainValueOrTheFirstToSettle) {
  auto pending = CVPPromise<int>::pendingPromise();
  auto byValue = CVPPromise<int>::race({pending, error(4), 1});
  dispatch.drain();
  EXPECT_EQ(byValue.error()->code, 4);

  auto slow = CVPPromise<int>::pendingPromise();
  auto fast = CVPPromise<int>::pendingPromise();
  auto bySettling = CVPPromise<int>::race({slow, fast});
  dispatch.drain();
  fast.fulfill(2);
  dispatch.drain();
  slow.reject(error(1));
  dispatch.drain();
  EXPECT_EQ(bySettling.value(), 2);
}

TEST_F(CombinatorTest, RaceOfNothingIsAProgrammerError) {
  try {
    CVPPromise<int>::race({});
    FAIL() << "an empty race was accepted";
  } catch (const platform::ProgrammerError& e) {
    EXPECT_EQ(e.reason(), "No promises to observe");
  }
}

}  // namespace
}  // namespace beacon::testing
