#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/Group.h"
#include "platform/notify/NotificationCenter.h"

namespace platform {
namespace {

// Posts from many threads while observers come and go: every post reaches the observers that lived
// through it, and (under the thread sanitizer) nothing races.
TEST(NotificationCenterThreads, ConcurrentPostsAddsAndRemovalsStayConsistent) {
  constexpr int kPosters = 4;
  constexpr int kPostsEach = 500;
  NotificationCenter center;
  QueueRef queue = makeSerialQueue("notify.tests.threads");
  Group queuedDeliveries;
  std::atomic<int> synchronousCalls{0};
  std::atomic<int> queuedCalls{0};
  auto synchronous =
      center.addObserver("Tick", nullptr, nullptr, [&](const Notification&) { ++synchronousCalls; });
  auto queued = center.addObserver("Tick", nullptr, queue, [&](const Notification&) {
    ++queuedCalls;
    queuedDeliveries.leave();
  });

  std::atomic<bool> posting{true};
  std::thread churner([&] {
    while (posting.load()) {
      auto transient = center.addObserver("Tick", nullptr, nullptr, [](const Notification&) {});
      auto queuedTransient = center.addObserver("Tick", nullptr, queue, [](const Notification&) {});
    }
  });
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&] {
      for (int i = 0; i < kPostsEach; ++i) {
        queuedDeliveries.enter();
        center.post("Tick", nullptr, Dictionary{{"i", Value(i)}});
      }
    });
  }
  for (auto& poster : posters) poster.join();
  posting.store(false);
  churner.join();

  EXPECT_TRUE(queuedDeliveries.wait(std::chrono::seconds(30)));
  EXPECT_EQ(synchronousCalls.load(), kPosters * kPostsEach);
  EXPECT_EQ(queuedCalls.load(), kPosters * kPostsEach);
}

}  // namespace
}  // namespace platform
