// Groups, semaphores and operation queues under the deterministic backend.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/Group.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/error/Error.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

class DeterministicWaitingTest : public ::testing::Test {
 protected:
  DeterministicDispatch dispatch;
  std::vector<std::string> ran;
};

// ---- groups -----------------------------------------------------------------------------------

TEST_F(DeterministicWaitingTest, GroupNotifiesOnceEveryMemberHasLeft) {
  Group group;
  auto a = makeSerialQueue("a");
  auto b = makeSerialQueue("b");
  group.async(a, [&] { ran.push_back("a"); });
  group.enter();
  b->asyncAfter(5s, [&, group]() mutable {
    ran.push_back("b");
    group.leave();
  });
  group.notify(mainQueue(), [&] { ran.push_back("notified"); });
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"a"}));
  dispatch.advance(5s);
  EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "notified"}));
}

TEST_F(DeterministicWaitingTest, NotifyOnAnEmptyGroupStillRunsLater) {
  Group group;
  group.notify(mainQueue(), [&] { ran.push_back("notified"); });
  EXPECT_TRUE(ran.empty());
  dispatch.drain();
  EXPECT_EQ(ran.size(), 1u);
}

TEST_F(DeterministicWaitingTest, LeavingMoreOftenThanEnteringIsRefused) {
  Group group;
  group.enter();
  group.leave();
  EXPECT_THROW(group.leave(), ProgrammerError);
}

TEST_F(DeterministicWaitingTest, GroupWaitPumpsQueuesAndLetsVirtualTimePassUpToTheTimeout) {
  Group group;
  group.enter();
  makeSerialQueue("slow")->asyncAfter(3s, [group]() mutable { group.leave(); });
  EXPECT_FALSE(group.wait(2s));
  EXPECT_EQ(dispatch.clock().monotonicNow(), 2s);
  EXPECT_TRUE(group.wait(2s));
  EXPECT_EQ(dispatch.clock().monotonicNow(), 3s);
}

// ---- semaphores -------------------------------------------------------------------------------

TEST_F(DeterministicWaitingTest, SemaphoreWaitTimesOutAfterExactlyTheTimeout) {
  Semaphore semaphore;
  EXPECT_FALSE(semaphore.wait(10s));
  EXPECT_EQ(dispatch.clock().monotonicNow(), 10s);
}

TEST_F(DeterministicWaitingTest, SemaphoreWaitIsSatisfiedByABlockWithoutTimePassing) {
  Semaphore semaphore;
  makeSerialQueue("signaller")->async([semaphore]() mutable { semaphore.signal(); });
  EXPECT_TRUE(semaphore.wait(10s));
  EXPECT_EQ(dispatch.clock().monotonicNow(), 0s);
  EXPECT_FALSE(semaphore.wait(1s)) << "the unit was taken";
}

TEST_F(DeterministicWaitingTest, SemaphoreCountsUnitsAndRefusesANegativeStart) {
  Semaphore semaphore(2);
  EXPECT_TRUE(semaphore.wait(0s));
  EXPECT_TRUE(semaphore.wait(0s));
  EXPECT_FALSE(semaphore.wait(0s));
  EXPECT_THROW(Semaphore(-1), ProgrammerError);
}

TEST_F(DeterministicWaitingTest, AWaitInsideABlockRunsOtherQueuesButNotItsOwn) {
  auto own = makeSerialQueue("own");
  Semaphore semaphore;
  bool timedOut = false;
  own->async([&] {
    own->async([semaphore]() mutable { semaphore.signal(); });  // behind us: cannot help
    timedOut = !semaphore.wait(1s);
    makeSerialQueue("helper")->async([semaphore]() mutable { semaphore.signal(); });
    EXPECT_TRUE(semaphore.wait(1s));
  });
  dispatch.drain();
  EXPECT_TRUE(timedOut);
}

TEST_F(DeterministicWaitingTest, AnotherThreadsSignalWakesAnEndlessWait) {
  Semaphore semaphore;
  std::thread signaller([semaphore]() mutable { semaphore.signal(); });
  semaphore.wait();
  signaller.join();
}

// ---- operation queues -------------------------------------------------------------------------

TEST_F(DeterministicWaitingTest, SuspendedOperationQueueHoldsOperationsUntilResumed) {
  auto operations = OperationQueue::make("ops", OperationQueue::Start::Suspended);
  EXPECT_TRUE(operations->isSuspended());
  for (int i = 0; i < 3; ++i) operations->addOperation([&, i] { ran.push_back("op" + std::to_string(i)); });
  dispatch.drain();
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(operations->operationCount(), 3u);
  operations->resume();
  operations->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran, (std::vector<std::string>{"op0", "op1", "op2"}));
  EXPECT_EQ(operations->operationCount(), 0u);
}

TEST_F(DeterministicWaitingTest, OperationsRunOneAtATimeEvenWhenTheyOnlyHandWorkOn) {
  // Each operation passes its work to a serial queue; order holds because the next operation
  // starts only after the previous one returned.
  auto operations = OperationQueue::make("ops");
  auto worker = makeSerialQueue("worker");
  for (int i = 0; i < 4; ++i) {
    operations->addOperation([&, i] {
      EXPECT_EQ(currentQueueLabel(), "ops");
      worker->async([&, i] { ran.push_back(std::to_string(i)); });
    });
  }
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST_F(DeterministicWaitingTest, SuspendingStopsTheOperationsNotYetStarted) {
  auto operations = OperationQueue::make("ops");
  operations->addOperation([&] {
    ran.push_back("first");
    operations->suspend();
  });
  operations->addOperation([&] { ran.push_back("second"); });
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"first"}));
  operations->resume();
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
}

TEST_F(DeterministicWaitingTest, WaitingForTheOperationQueueFromInsideItIsRefused) {
  auto operations = OperationQueue::make("ops");
  bool refused = false;
  operations->addOperation([&] {
    try {
      operations->waitUntilAllOperationsAreFinished();
    } catch (const ProgrammerError&) {
      refused = true;
    }
  });
  operations->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(refused);
}

TEST_F(DeterministicWaitingTest, OperationsCanRunOnTheMainQueue) {
  auto operations = OperationQueue::make("main operations", OperationQueue::Start::Running, mainQueue());
  operations->addOperation([&] { ran.push_back(currentQueueLabel()); });
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"main"}));
}

}  // namespace
}  // namespace platform
