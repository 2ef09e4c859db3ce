// Promises settled and observed from many threads at once, with the threaded dispatch backend.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "promises/CVPPromise.h"

using namespace std::chrono_literals;

namespace beacon {
namespace {

TEST(PromiseThreadTest, RacingResolutionsSettleOnceAndEveryCallbackRuns) {
  auto queue = platform::globalQueue();
  std::atomic<int> callbacks{0};
  std::vector<CVPPromise<int>> promises;
  for (int i = 0; i < 200; ++i) promises.push_back(CVPPromise<int>::pendingPromise());

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (auto& promise : promises) {
        promise.observeOnQueue(
            queue, [&](const int&) { ++callbacks; }, [&](const platform::Error&) { ++callbacks; });
        if (t % 2 == 0) {
          promise.fulfill(t);
        } else {
          promise.reject(platform::Error("test", t));
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(CVPPromiseClass::dispatchGroup().wait(20s));
  EXPECT_EQ(callbacks.load(), 4 * 200);
  for (auto& promise : promises) EXPECT_FALSE(promise.isPending());
}

TEST(PromiseThreadTest, ChainsAcrossQueuesFinishBeforeTheGroupEmpties) {
  auto first = platform::makeSerialQueue("first");
  auto second = platform::makeSerialQueue("second");
  std::atomic<int> sum{0};
  for (int i = 0; i < 100; ++i) {
    CVPPromise<int>::doWork(first, [i] {
      return i;
    }).then(second, [](const int& v) {
        return v * 2;
      }).then(first, [&sum](const int& v) { sum += v; });
  }
  ASSERT_TRUE(CVPPromiseClass::dispatchGroup().wait(20s));
  EXPECT_EQ(sum.load(), 2 * 4950);
}

}  // namespace
}  // namespace beacon
