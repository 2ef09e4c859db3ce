#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "measurement/engine/BMSAlarm.h"
#include "platform/dispatch/Group.h"

namespace beacon {
namespace {

// The session reporter arms and cancels its alarm from the main queue and the worker queue at once;
// every arming must end in at most one firing and the alarm must stay consistent.
TEST(BMSAlarmThreads, ArmingAndCancellingFromSeveralThreadsFiresAtMostTheLastArming) {
  auto queue = platform::makeSerialQueue("alarm.threads");
  std::atomic<int> fired{0};
  {
    BMSAlarm alarm(queue, "Engagement");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 200; ++i) {
          if ((i + t) % 3 == 0) {
            alarm.cancel();
          } else {
            alarm.runAfterDelay(0.0005, [&] { ++fired; });
          }
          (void)alarm.scheduledTimestamp();
          (void)alarm.hasActiveTimer();
        }
      });
    }
    for (auto& thread : threads) thread.join();
    // Counted before the last arming: that arming may fire before this thread reads the count.
    const int before = fired.load();
    alarm.runAfterDelay(0, [&] { ++fired; });
    for (int spin = 0; spin < 2000 && alarm.scheduledTimestamp(); ++spin) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(alarm.scheduledTimestamp());
    // The alarm forgets its arming before it runs the block, so let the firing finish first.
    queue->sync([] {});
    EXPECT_GE(fired.load(), before + 1);
  }
  queue->sync([] {});
}

}  // namespace
}  // namespace beacon
