// Queues under the deterministic backend: ordering, sync rules and what runs where.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

class DeterministicQueueTest : public ::testing::Test {
 protected:
  DeterministicDispatch dispatch;
};

TEST_F(DeterministicQueueTest, SerialQueueRunsBlocksInSubmissionOrder) {
  auto queue = makeSerialQueue("order");
  std::vector<int> ran;
  for (int i = 0; i < 5; ++i) queue->async([&ran, i] { ran.push_back(i); });
  EXPECT_TRUE(ran.empty());
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(DeterministicQueueTest, AsyncNeverRunsInlineOnAnyKindOfQueue) {
  for (const auto& queue : {makeSerialQueue("idle"), globalQueue(), mainQueue()}) {
    bool ran = false;
    queue->async([&] { ran = true; });
    EXPECT_FALSE(ran) << queue->label();
    dispatch.drain();
    EXPECT_TRUE(ran) << queue->label();
  }
}

TEST_F(DeterministicQueueTest, AsyncFromInsideABlockRunsAfterThatBlockReturns) {
  auto queue = makeSerialQueue("nested");
  std::vector<std::string> ran;
  queue->async([&] {
    queue->async([&] { ran.push_back("inner"); });
    ran.push_back("outer");
  });
  dispatch.drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"outer", "inner"}));
}

TEST_F(DeterministicQueueTest, DrainLetsQueuesTakeTurns) {
  auto a = makeSerialQueue("a");
  auto b = makeSerialQueue("b");
  std::string ran;
  for (int i = 0; i < 3; ++i) {
    a->async([&] { ran += 'a'; });
    b->async([&] { ran += 'b'; });
  }
  dispatch.drain();
  EXPECT_EQ(ran, "ababab");
}

TEST_F(DeterministicQueueTest, SyncRunsAfterEarlierBlocksAndBeforeLaterOnes) {
  auto queue = makeSerialQueue("sync");
  auto other = makeSerialQueue("other");
  std::vector<std::string> ran;
  queue->async([&] { ran.push_back("earlier"); });
  other->async([&] { ran.push_back("other queue"); });
  queue->sync([&] {
    ran.push_back("sync");
    EXPECT_EQ(currentQueueLabel(), "sync");
    EXPECT_TRUE(queue->isCurrent());
  });
  EXPECT_EQ(ran, (std::vector<std::string>{"earlier", "sync"}));
  dispatch.drain();
  EXPECT_EQ(ran.back(), "other queue");
}

TEST_F(DeterministicQueueTest, SyncOntoTheCurrentQueueIsRefused) {
  auto queue = makeSerialQueue("self");
  bool refused = false;
  queue->async([&] {
    try {
      queue->sync([] {});
    } catch (const ProgrammerError& error) {
      refused = true;
      EXPECT_NE(error.reason().find("\"self\""), std::string::npos) << error.reason();
      EXPECT_NE(error.reason().find("wait for itself"), std::string::npos) << error.reason();
    }
  });
  dispatch.drain();
  EXPECT_TRUE(refused);
}

TEST_F(DeterministicQueueTest, SyncBackOntoAQueueFurtherUpTheChainIsRefused) {
  auto outer = makeSerialQueue("outer");
  auto inner = makeSerialQueue("inner");
  outer->sync([&] {
    inner->sync([&] {
      EXPECT_EQ(currentQueueLabel(), "inner");
      EXPECT_FALSE(outer->isCurrent());
      EXPECT_THROW(outer->sync([] {}), ProgrammerError);
      bool ranOnMain = false;  // a queue nobody up the chain holds is fine
      mainQueue()->sync([&] { ranOnMain = true; });
      EXPECT_TRUE(ranOnMain);
    });
  });
}

TEST_F(DeterministicQueueTest, SyncOntoTheMainQueueFromItsOwnBlockIsRefusedButAGlobalQueueAllowsIt) {
  bool mainRefused = false;
  bool globalRan = false;
  mainQueue()->async([&] {
    try {
      mainQueue()->sync([] {});
    } catch (const ProgrammerError&) {
      mainRefused = true;
    }
  });
  globalQueue()->async([&] { globalQueue()->sync([&] { globalRan = true; }); });
  dispatch.drain();
  EXPECT_TRUE(mainRefused);
  EXPECT_TRUE(globalRan);
}

TEST_F(DeterministicQueueTest, AnExceptionFromASyncBlockReachesTheCallerAndFreesTheQueue) {
  auto queue = makeSerialQueue("throws");
  EXPECT_THROW(queue->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
  bool ran = false;
  queue->sync([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(currentQueueLabel(), "");
}

TEST_F(DeterministicQueueTest, AnUncaughtExceptionInAnAsyncBlockEndsTheProcessWithItsStory) {
  auto queue = makeSerialQueue("doomed");
  queue->async([] { throw std::runtime_error("disk on fire"); });
  EXPECT_DEATH(dispatch.drain(), "uncaught exception in a block on queue \"doomed\": disk on fire");
}

TEST_F(DeterministicQueueTest, CurrentQueueLabelIsEmptyOutsideBlocks) {
  EXPECT_EQ(currentQueueLabel(), "");
  auto unlabelled = makeSerialQueue("");
  std::string seen = "unset";
  unlabelled->async([&] { seen = currentQueueLabel(); });
  dispatch.drain();
  EXPECT_EQ(seen, "");
}

TEST_F(DeterministicQueueTest, ASerialQueueBlockIsSeenAnywhereUpTheChainButGlobalAndMainOnesAreNot) {
  EXPECT_FALSE(isRunningSerialQueueBlock());
  auto serial = makeSerialQueue("serial");
  std::vector<bool> seen;
  globalQueue()->async([&] {
    seen.push_back(isRunningSerialQueueBlock());
    serial->sync([&] { globalQueue()->sync([&] { seen.push_back(isRunningSerialQueueBlock()); }); });
    seen.push_back(isRunningSerialQueueBlock());
  });
  dispatch.drain();
  mainQueue()->async([&] { seen.push_back(isRunningSerialQueueBlock()); });
  dispatch.drain();
  EXPECT_EQ(seen, (std::vector<bool>{false, true, false, false}));
}

TEST_F(DeterministicQueueTest, TargetsMustBeGlobalQueuesAndLendTheirQualityOfService) {
  auto background = makeSerialQueue("worker", globalQueue(QualityOfService::Background));
  EXPECT_EQ(background->qualityOfService(), QualityOfService::Background);
  EXPECT_EQ(background->kind(), Queue::Kind::Serial);
  EXPECT_THROW(makeSerialQueue("chained", background), ProgrammerError);
  EXPECT_THROW(makeSerialQueue("on main", mainQueue()), ProgrammerError);
}

TEST_F(DeterministicQueueTest, EmptyBlocksAreRefused) {
  auto queue = makeSerialQueue("q");
  EXPECT_THROW(queue->async(nullptr), ProgrammerError);
  EXPECT_THROW(queue->sync(nullptr), ProgrammerError);
  EXPECT_THROW(queue->asyncAfter(1s, nullptr), ProgrammerError);
}

TEST_F(DeterministicQueueTest, BlocksPostedFromOtherThreadsRunOnTheTestThreadWhenItDrains) {
  auto queue = makeSerialQueue("posted");
  std::thread::id ranOn;
  std::thread([&] { queue->async([&] { ranOn = std::this_thread::get_id(); }); }).join();
  EXPECT_EQ(ranOn, std::thread::id());
  dispatch.drain();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(DeterministicQueueTest, SyncFromAnotherThreadWaitsForTheTestThreadToRunIt) {
  auto queue = makeSerialQueue("handoff");
  std::vector<std::string> ran;
  queue->async([&] { ran.push_back("earlier"); });
  std::atomic<bool> returned = false;
  std::thread caller([&] {
    queue->sync([&] { ran.push_back("sync"); });
    returned = true;
  });
  EXPECT_TRUE(runUntil([&] { return returned.load(); }, 30s));
  caller.join();
  EXPECT_EQ(ran, (std::vector<std::string>{"earlier", "sync"}));
}

TEST_F(DeterministicQueueTest, OnlyTheTestThreadMayDrain) {
  std::thread([&] { EXPECT_THROW(dispatch.drain(), ProgrammerError); }).join();
  EXPECT_THROW(setMainQueueDriver(nullptr), ProgrammerError);
}

TEST_F(DeterministicQueueTest, BlocksStillWaitingAreDroppedWithTheDispatch) {
  auto survivor = std::make_shared<int>(0);
  std::weak_ptr<int> watch = survivor;
  {
    DeterministicDispatch inner;
    makeSerialQueue("dropped")->async([survivor = std::move(survivor)] { ++*survivor; });
  }
  EXPECT_TRUE(watch.expired());
  // The outer backend is current again.
  bool ran = false;
  mainQueue()->async([&] { ran = true; });
  dispatch.drain();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace platform
