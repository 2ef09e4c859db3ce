// The threaded backend with real threads. Nothing here measures time: waits carry generous
// timeouts only so that a broken build fails instead of hanging.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/Timer.h"
#include "platform/error/Error.h"
#include "platform/time/SystemClock.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

constexpr auto kPatience = 60s;

// Waits for every block submitted to `queue` so far.
void flush(const QueueRef& queue) {
  queue->sync([] {});
}

TEST(ThreadedQueueTest, SerialQueueKeepsEachSendersOrderAndRunsOneBlockAtATime) {
  auto queue = makeSerialQueue("order", globalQueue(QualityOfService::Utility));
  constexpr int kSenders = 4, kBlocks = 500;
  std::vector<std::pair<int, int>> seen;  // guarded by the queue alone
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::thread> senders;
  for (int sender = 0; sender < kSenders; ++sender) {
    senders.emplace_back([&, sender] {
      for (int i = 0; i < kBlocks; ++i) {
        queue->async([&, sender, i] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          seen.emplace_back(sender, i);
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (auto& sender : senders) sender.join();
  flush(queue);
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kSenders * kBlocks));
  std::vector<int> next(kSenders, 0);
  for (const auto& [sender, i] : seen) ASSERT_EQ(i, next[sender]++);
}

TEST(ThreadedQueueTest, AsyncNeverRunsOnTheCallersThread) {
  for (const auto& queue : {makeSerialQueue("idle"), globalQueue()}) {
    Semaphore done;
    std::thread::id ranOn;
    queue->async([&, done]() mutable {
      ranOn = std::this_thread::get_id();
      done.signal();
    });
    ASSERT_TRUE(done.wait(kPatience));
    EXPECT_NE(ranOn, std::this_thread::get_id()) << queue->label();
  }
}

TEST(ThreadedQueueTest, SyncWaitsForEarlierBlocksThenRunsOnTheCallingThread) {
  auto queue = makeSerialQueue("sync");
  Semaphore gate;
  bool earlierRan = false;  // guarded by the queue
  queue->async([&, gate]() mutable {
    gate.wait();
    earlierRan = true;
  });
  std::thread opener([gate]() mutable { gate.signal(); });
  std::thread::id ranOn;
  queue->sync([&] {
    EXPECT_TRUE(earlierRan);
    EXPECT_EQ(currentQueueLabel(), "sync");
    ranOn = std::this_thread::get_id();
  });
  opener.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(ThreadedQueueTest, SyncOntoTheRunningQueueIsRefusedNotDeadlocked) {
  auto queue = makeSerialQueue("self");
  auto other = makeSerialQueue("other");
  Semaphore done;
  std::atomic<int> refusals{0};
  queue->async([&, done]() mutable {
    try {
      queue->sync([] {});
    } catch (const ProgrammerError&) {
      ++refusals;
    }
    other->sync([&] {
      try {
        queue->sync([] {});
      } catch (const ProgrammerError&) {
        ++refusals;
      }
    });
    done.signal();
  });
  ASSERT_TRUE(done.wait(kPatience));
  EXPECT_EQ(refusals, 2);
}

TEST(ThreadedQueueTest, AnExceptionFromSyncReachesTheCallerAndTheQueueGoesOn) {
  auto queue = makeSerialQueue("throws");
  EXPECT_THROW(queue->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
  std::atomic<bool> ran{false};
  queue->async([&] { ran = true; });
  flush(queue);
  EXPECT_TRUE(ran);
}

TEST(ThreadedQueueTest, BlockedBlocksDoNotStarveOtherQueues) {
  // Every block waits until all of them run at once: only an elastic pool gets them there.
  constexpr int kQueues = 64;
  std::latch together(kQueues);
  Group group;
  std::vector<QueueRef> queues;
  for (int i = 0; i < kQueues; ++i) {
    queues.push_back(makeSerialQueue("blocked", globalQueue(QualityOfService::Background)));
    group.async(queues.back(), [&] { together.arrive_and_wait(); });
  }
  EXPECT_TRUE(group.wait(kPatience));
}

TEST(ThreadedQueueTest, TimersFireInDeadlineOrderAndCancelledOnesNever) {
  auto queue = makeSerialQueue("timers");
  std::vector<int> fired;  // guarded by the queue
  const Date now = SystemClock::shared().now();
  auto third = Timer::schedule(queue, Deadline::after(300ms), [&] { fired.push_back(3); });
  auto first = Timer::schedule(queue, Deadline::after(100ms), [&] { fired.push_back(1); });
  auto second = Timer::schedule(queue, Deadline::atWallTime(Date{now.secondsSinceReferenceDate + 0.2}),
                                [&] { fired.push_back(2); });
  auto cancelled = Timer::schedule(queue, Deadline::after(5ms), [&] { fired.push_back(0); });
  cancelled.cancel();
  Semaphore done;
  queue->asyncAfter(400ms, [done]() mutable { done.signal(); });
  ASSERT_TRUE(done.wait(kPatience));
  flush(queue);
  EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

TEST(ThreadedQueueTest, MainQueueBlocksRunOnTheMainThreadWhileItPumps) {
  ASSERT_TRUE(isMainThread());
  std::atomic<bool> asyncRan{false};
  std::atomic<bool> syncReturned{false};
  std::thread worker([&] {
    EXPECT_FALSE(isMainThread());
    mainQueue()->async([&] {
      EXPECT_TRUE(isMainThread());
      EXPECT_EQ(currentQueueLabel(), "main");
      asyncRan = true;
    });
    bool syncOnMain = false;
    mainQueue()->sync([&] { syncOnMain = isMainThread(); });
    EXPECT_TRUE(syncOnMain);
    syncReturned = true;
  });
  EXPECT_TRUE(runUntil([&] { return syncReturned.load(); }, kPatience));
  worker.join();
  EXPECT_TRUE(asyncRan);
}

TEST(ThreadedQueueTest, AnInstalledDriverIsAskedToDrainAndDrainsOnTheMainThread) {
  struct RecordingDriver : MainQueueDriver {
    Semaphore asked;
    void scheduleDrain() override { asked.signal(); }
  };
  auto driver = std::make_shared<RecordingDriver>();
  setMainQueueDriver(driver);
  bool ran = false;
  std::thread([&] { mainQueue()->async([&] { ran = true; }); }).join();
  ASSERT_TRUE(driver->asked.wait(kPatience));
  EXPECT_FALSE(ran) << "only a drain runs main-queue blocks";
  drainMainQueue();
  EXPECT_TRUE(ran);
  std::thread([] { EXPECT_THROW(drainMainQueue(), ProgrammerError); }).join();
  setMainQueueDriver(nullptr);
}

TEST(ThreadedQueueTest, GroupNotifiesTheMainQueueAfterEveryMember) {
  Group group;
  std::atomic<int> finished{0};
  int seenAtNotify = -1;
  for (int i = 0; i < 100; ++i) group.async(globalQueue(), [&] { ++finished; });
  group.notify(mainQueue(), [&] { seenAtNotify = finished; });
  EXPECT_TRUE(runUntil([&] { return seenAtNotify != -1; }, kPatience));
  EXPECT_EQ(seenAtNotify, 100);
}

TEST(ThreadedQueueTest, AWaitWithoutTimeAnswersAtOnceWithoutSleeping) {
  // A sleep shows as a voluntary context switch of the waiting thread, however short it is.
  const auto sleepsSoFar = [] {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
  };
  Semaphore empty;
  const long before = sleepsSoFar();
  for (int i = 0; i < 200; ++i) ASSERT_FALSE(empty.wait(0ns));
  EXPECT_LT(sleepsSoFar() - before, 20);
  empty.signal();
  EXPECT_TRUE(empty.wait(0ns));
}

TEST(ThreadedQueueTest, AWaiterMayDestroyItsHandleAsSoonAsItWakes) {
  // Signalling threads capture the handle by reference; the waiter's handle dies right after the
  // wait returns, while signal() and leave() may still be finishing.
  for (int round = 0; round < 200; ++round) {
    std::thread signaller;
    {
      Semaphore semaphore(0);
      Group group;
      group.enter();
      signaller = std::thread([&semaphore, &group] {
        group.leave();
        semaphore.signal();
      });
      group.wait();
      semaphore.wait();
    }
    signaller.join();
  }
}

TEST(ThreadedQueueTest, OperationQueueRunsOneOperationAtATimeOnceResumed) {
  auto operations = OperationQueue::make("ops", OperationQueue::Start::Suspended);
  std::atomic<int> inside{0}, ran{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::thread> adders;
  for (int t = 0; t < 4; ++t) {
    adders.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        operations->addOperation([&] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          ++ran;
          inside.fetch_sub(1);
        });
      }
    });
  }
  for (auto& adder : adders) adder.join();
  EXPECT_EQ(ran, 0);
  operations->resume();
  operations->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran, 200);
  EXPECT_FALSE(overlapped);
}

}  // namespace
}  // namespace platform
