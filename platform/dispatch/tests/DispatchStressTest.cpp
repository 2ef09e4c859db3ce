// Many threads, many queues: serial queues that sync into each other, timers armed and cancelled,
// groups and semaphores, and the main queue pumped by the test. Run under ThreadSanitizer, this
// is where a missing happens-before edge in the threaded backend shows up.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/Timer.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

constexpr int kQueues = 8;
constexpr int kSenders = 8;
constexpr int kRounds = 2000;

// State owned by one serial queue: plain fields, touched only from that queue's blocks.
struct Actor {
  QueueRef queue;
  long counter = 0;
  std::atomic<long> expected{0};
};

TEST(DispatchStressTest, QueuesSyncTimersGroupsAndSemaphoresStayConsistent) {
  const std::array<QualityOfService, 3> qualities{QualityOfService::Background, QualityOfService::Utility,
                                                  QualityOfService::Default};
  std::array<Actor, kQueues> actors;
  for (int i = 0; i < kQueues; ++i) {
    actors[i].queue = makeSerialQueue("actor" + std::to_string(i), globalQueue(qualities[i % 3]));
  }
  long mainCounter = 0;  // touched on the main queue only
  std::atomic<long> mainExpected{0};
  auto operations = OperationQueue::make("stress ops", OperationQueue::Start::Suspended);
  long operationCounter = 0;  // operations run one at a time
  std::atomic<long> operationsExpected{0};
  std::atomic<long> cancelledRan{0};
  Group group;

  std::vector<std::thread> senders;
  for (int sender = 0; sender < kSenders; ++sender) {
    senders.emplace_back([&, sender] {
      std::mt19937 random(static_cast<unsigned>(sender));
      std::vector<Timer> cancelledTimers;
      for (int round = 0; round < kRounds; ++round) {
        Actor& a = actors[random() % kQueues];
        Actor& b = actors[random() % kQueues];
        switch (random() % 6) {
          case 0:  // nested sync, only ever from a lower to a higher address so no two wait on each other
            a.expected += 1;
            if (&a < &b) {
              b.expected += 1;
              group.async(a.queue, [&a, &b] {
                ++a.counter;
                b.queue->sync([&b] { ++b.counter; });
              });
            } else {
              group.async(a.queue, [&a] { ++a.counter; });
            }
            break;
          case 1:  // a timer that fires, and one cancelled long before its deadline
            a.expected += 1;
            group.enter();
            a.queue->asyncAfter(std::chrono::microseconds(random() % 2000), [&a, group]() mutable {
              ++a.counter;
              group.leave();
            });
            cancelledTimers.push_back(
                Timer::schedule(b.queue, Deadline::after(1h), [&cancelledRan] { ++cancelledRan; }));
            cancelledTimers.back().cancel();
            break;
          case 2: {  // a semaphore handed from a queue back to this thread
            a.expected += 1;
            Semaphore handed;
            a.queue->async([&a, handed]() mutable {
              ++a.counter;
              handed.signal();
            });
            handed.wait();
            break;
          }
          case 3:  // the main queue, pumped by the test thread
            mainExpected += 1;
            group.async(mainQueue(), [&mainCounter] { ++mainCounter; });
            break;
          case 4:  // sync from outside any queue
            a.expected += 1;
            a.queue->sync([&a] { ++a.counter; });
            break;
          default:  // an operation that hands work on to an actor
            operationsExpected += 1;
            a.expected += 1;
            operations->addOperation([&operationCounter, &a, group]() mutable {
              ++operationCounter;
              group.async(a.queue, [&a] { ++a.counter; });
            });
            break;
        }
      }
    });
  }
  operations->resume();
  for (auto& sender : senders) sender.join();

  operations->waitUntilAllOperationsAreFinished();
  ASSERT_TRUE(runUntil([&] { return group.wait(0s); }, 120s));
  for (auto& actor : actors) {
    actor.queue->sync([&actor] { EXPECT_EQ(actor.counter, actor.expected.load()) << actor.queue->label(); });
  }
  EXPECT_EQ(mainCounter, mainExpected.load());
  EXPECT_EQ(operationCounter, operationsExpected.load());
  EXPECT_EQ(cancelledRan, 0);
}

}  // namespace
}  // namespace platform
