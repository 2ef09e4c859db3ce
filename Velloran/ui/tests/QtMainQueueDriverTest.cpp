#include "Velloran/ui/QtMainQueueDriver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/error/Error.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;

// Lets Qt's event loop run until `done` holds. The limit only keeps a broken driver from hanging
// the test run; nothing here depends on how long anything takes.
template <class Condition>
bool qtLoopUntil(Condition done) {
  return QTest::qWaitFor(done, 10000);
}

TEST(QtMainQueueDriverTest, BlocksPostedFromAnotherThreadRunOnTheMainThreadFromQtsLoop) {
  QtMainQueueDriver driver;
  std::atomic<bool> ran{false};
  std::atomic<bool> onMainThread{false};

  std::thread poster([&] {
    platform::mainQueue()->async([&] {
      onMainThread = platform::isMainThread();
      ran = true;
    });
  });
  poster.join();

  ASSERT_TRUE(qtLoopUntil([&] { return ran.load(); }));
  EXPECT_TRUE(onMainThread);
}

TEST(QtMainQueueDriverTest, MainQueueTimersFireThroughQtsLoop) {
  QtMainQueueDriver driver;
  bool afterFired = false;
  bool timerFired = false;

  platform::mainQueue()->asyncAfter(1ms, [&] { afterFired = true; });
  platform::Timer timer = platform::Timer::schedule(platform::mainQueue(), platform::Deadline::after(2ms),
                                                    [&] { timerFired = platform::isMainThread(); });

  EXPECT_TRUE(qtLoopUntil([&] { return afterFired && timerFired; }));
}

TEST(QtMainQueueDriverTest, AWorkersSyncOntoTheMainQueueIsServedByQtsLoop) {
  QtMainQueueDriver driver;
  std::atomic<bool> syncReturned{false};
  bool ranOnMainThread = false;

  std::thread worker([&] {
    platform::mainQueue()->sync([&] { ranOnMainThread = platform::isMainThread(); });
    syncReturned = true;
  });

  const bool served = qtLoopUntil([&] { return syncReturned.load(); });
  worker.join();
  EXPECT_TRUE(served);
  EXPECT_TRUE(ranOnMainThread);
}

TEST(QtMainQueueDriverTest, QtEventsGetTheirTurnBetweenBlocksPostedByBlocks) {
  QtMainQueueDriver driver;
  std::vector<std::string> order;

  platform::mainQueue()->async([&] {
    order.push_back("first block");
    QMetaObject::invokeMethod(
        qApp, [&] { order.push_back("Qt event"); }, Qt::QueuedConnection);
    // Not run in the same turn as the first block, so the Qt event posted before it comes first.
    platform::mainQueue()->async([&] { order.push_back("block posted by the first"); });
  });

  ASSERT_TRUE(qtLoopUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<std::string>{"first block", "Qt event", "block posted by the first"}));
}

TEST(QtMainQueueDriverTest, ABlockSpinningANestedEventLoopDoesNotStallTheQueue) {
  QtMainQueueDriver driver;
  bool laterRan = false;
  bool laterRanInsideTheFirst = false;

  platform::mainQueue()->async([&] {
    platform::mainQueue()->async([&] { laterRan = true; });
    // A nested event loop delivers the wake-up for the later block while this one still runs.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    laterRanInsideTheFirst = laterRan;
  });

  EXPECT_TRUE(qtLoopUntil([&] { return laterRan; }));
  EXPECT_FALSE(laterRanInsideTheFirst) << "the main queue is serial";
}

TEST(QtMainQueueDriverTest, OnlyOneDriverAtATime) {
  auto first = std::make_unique<QtMainQueueDriver>();
  EXPECT_THROW(QtMainQueueDriver second, platform::ProgrammerError);

  first.reset();
  QtMainQueueDriver replacement;
  bool ran = false;
  platform::mainQueue()->async([&] { ran = true; });
  EXPECT_TRUE(qtLoopUntil([&] { return ran; }));
}

TEST(QtMainQueueDriverTest, RefusedUnderTheDeterministicBackendWithoutBlockingLaterDrivers) {
  {
    platform::DeterministicDispatch dispatch;
    EXPECT_THROW(QtMainQueueDriver driver, platform::ProgrammerError);
  }
  QtMainQueueDriver driver;
  bool ran = false;
  platform::mainQueue()->async([&] { ran = true; });
  EXPECT_TRUE(qtLoopUntil([&] { return ran; }));
}

TEST(QtMainQueueDriverTest, AfterTheDriverIsGoneQtNoLongerDrainsTheQueue) {
  { QtMainQueueDriver driver; }
  bool ran = false;
  platform::mainQueue()->async([&] { ran = true; });

  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);

  platform::drainMainQueue();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace velloran
