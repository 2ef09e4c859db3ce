// Timers and asyncAfter under the virtual clock.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

class DeterministicTimerTest : public ::testing::Test {
 protected:
  DeterministicDispatch dispatch;
  QueueRef queue = makeSerialQueue("timers");
  std::vector<std::string> fired;

  double secondsElapsed() const {
    return std::chrono::duration<double>(dispatch.clock().monotonicNow()).count();
  }
  std::function<void()> record(std::string name) {
    return [this, name] { fired.push_back(name + "@" + std::to_string(static_cast<int>(secondsElapsed()))); };
  }
  Date wallIn(double seconds) const {
    return Date{dispatch.clock().now().secondsSinceReferenceDate + seconds};
  }
};

TEST_F(DeterministicTimerTest, TimersFireInDeadlineOrderWithTheClockAtTheirDeadline) {
  auto late = Timer::schedule(queue, Deadline::after(30s), record("late"));
  auto early = Timer::schedule(globalQueue(), Deadline::after(10s), record("early"));
  auto wall = Timer::schedule(mainQueue(), Deadline::atWallTime(wallIn(20)), record("wall"));
  queue->asyncAfter(15s, record("after"));
  dispatch.advance(60s);
  EXPECT_EQ(fired, (std::vector<std::string>{"early@10", "after@15", "wall@20", "late@30"}));
  EXPECT_EQ(dispatch.clock().monotonicNow(), 60s);
}

TEST_F(DeterministicTimerTest, NothingFiresBeforeItsDeadline) {
  queue->asyncAfter(5s, record("t"));
  dispatch.advance(5s - 1ns);
  EXPECT_TRUE(fired.empty());
  dispatch.advance(1ns);
  EXPECT_EQ(fired, (std::vector<std::string>{"t@5"}));
}

TEST_F(DeterministicTimerTest, EqualDeadlinesFireInTheOrderTheyWereArmed) {
  queue->asyncAfter(5s, record("first"));
  auto second = Timer::schedule(globalQueue(), Deadline::after(5s), record("second"));
  auto third = Timer::schedule(queue, Deadline::atWallTime(wallIn(5)), record("third"));
  dispatch.advance(5s);
  EXPECT_EQ(fired, (std::vector<std::string>{"first@5", "second@5", "third@5"}));
}

TEST_F(DeterministicTimerTest, ASplitAdvanceFiresAWallTimerDespiteRounding) {
  // 0.1 + 0.2 is not 0.3 in doubles; the wall deadline must still be reached.
  auto timer = Timer::schedule(queue, Deadline::atWallTime(wallIn(0.3)), record("wall"));
  dispatch.advance(100ms);
  dispatch.advance(200ms);
  EXPECT_EQ(fired.size(), 1u);
}

TEST_F(DeterministicTimerTest, ACancelledTimerNeverRuns) {
  auto timer = Timer::schedule(queue, Deadline::after(1s), record("cancelled"));
  EXPECT_FALSE(timer.isCancelled());
  timer.cancel();
  EXPECT_TRUE(timer.isCancelled());
  dispatch.advance(2s);
  EXPECT_TRUE(fired.empty());
}

TEST_F(DeterministicTimerTest, CancellingAfterTheDeadlineButBeforeTheBlockRanStillStopsIt) {
  auto timer = Timer::schedule(queue, Deadline::after(1s), record("late cancel"));
  queue->async([&] {
    dispatch.clock().advance(1s);
    dispatch.drain();  // the timer comes due and posts its block behind this one
    timer.cancel();
  });
  dispatch.drain();
  EXPECT_TRUE(fired.empty());
}

TEST_F(DeterministicTimerTest, DestroyingOrReplacingATimerCancelsIt) {
  { auto dropped = Timer::schedule(queue, Deadline::after(1s), record("dropped")); }
  auto replaced = Timer::schedule(queue, Deadline::after(1s), record("replaced"));
  replaced = Timer::schedule(queue, Deadline::after(2s), record("replacement"));
  dispatch.advance(3s);
  EXPECT_EQ(fired, (std::vector<std::string>{"replacement@2"}));
}

TEST_F(DeterministicTimerTest, CancelReleasesWhatTheBlockCaptured) {
  auto captured = std::make_shared<int>(1);
  std::weak_ptr<int> watch = captured;
  auto timer = Timer::schedule(queue, Deadline::after(1s), [captured = std::move(captured)] {});
  timer.cancel();
  EXPECT_TRUE(watch.expired());
}

TEST_F(DeterministicTimerTest, AWallTimerFiresWhenTheWallClockIsSetPastIt) {
  auto wall = Timer::schedule(queue, Deadline::atWallTime(wallIn(3600)), record("wall"));
  auto steady = Timer::schedule(queue, Deadline::after(3600s), record("steady"));
  dispatch.clock().advanceWall(2h);
  dispatch.drain();
  EXPECT_EQ(fired, (std::vector<std::string>{"wall@0"}));
}

TEST_F(DeterministicTimerTest, AWallTimerWaitsLongerWhenTheWallClockIsSetBack) {
  auto wall = Timer::schedule(queue, Deadline::atWallTime(wallIn(10)), record("wall"));
  dispatch.clock().advanceWall(-5s);
  dispatch.advance(10s);
  EXPECT_TRUE(fired.empty());
  dispatch.advance(5s);
  EXPECT_EQ(fired, (std::vector<std::string>{"wall@15"}));
}

TEST_F(DeterministicTimerTest, ABlockCanRearmItsOwnTimerWithinOneAdvance) {
  Timer alarm;
  int runs = 0;
  std::function<void()> tick = [&] {
    if (++runs < 3) alarm = Timer::schedule(queue, Deadline::after(10s), tick);
    fired.push_back("tick@" + std::to_string(static_cast<int>(secondsElapsed())));
  };
  alarm = Timer::schedule(queue, Deadline::after(10s), tick);
  dispatch.advance(25s);
  EXPECT_EQ(fired, (std::vector<std::string>{"tick@10", "tick@20"}));
  dispatch.advance(5s);
  EXPECT_EQ(runs, 3);
}

TEST_F(DeterministicTimerTest, ZeroDelayStillWaitsForTheNextDrain) {
  bool ran = false;
  queue->asyncAfter(0s, [&] { ran = true; });
  auto timer = Timer::schedule(queue, Deadline::after(-1s), [&] { fired.push_back("overdue"); });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(fired.empty());
  dispatch.drain();
  EXPECT_TRUE(ran);
  EXPECT_EQ(fired.size(), 1u);
  EXPECT_EQ(dispatch.clock().monotonicNow(), 0s);
}

}  // namespace
}  // namespace platform
