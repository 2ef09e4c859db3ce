#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "platform/time/ManualClock.h"
#include "platform/time/SystemClock.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

TEST(ManualClockTest, AdvanceMovesAllThreeReadingsTogether) {
  ManualClock clock(Date{1000.0}, 50.0);
  clock.advance(1500ms);
  EXPECT_DOUBLE_EQ(clock.now().secondsSinceReferenceDate, 1001.5);
  EXPECT_EQ(clock.monotonicNow(), 1500ms);
  EXPECT_DOUBLE_EQ(clock.secondsSinceBoot(), 51.5);
}

TEST(ManualClockTest, WallClockCanBeSetBackWithoutTouchingSteadyTime) {
  ManualClock clock(Date{1000.0}, 50.0);
  clock.advance(10s);
  clock.setNow(Date{900.0});
  clock.advanceWall(-5s);
  EXPECT_DOUBLE_EQ(clock.now().secondsSinceReferenceDate, 895.0);
  EXPECT_EQ(clock.monotonicNow(), 10s);
  EXPECT_DOUBLE_EQ(clock.secondsSinceBoot(), 60.0);
}

TEST(ManualClockTest, MonotonicTimeCanRunWhileTheWallClockStands) {
  ManualClock clock(Date{1000.0}, 50.0);
  clock.advanceMonotonic(2s);
  EXPECT_DOUBLE_EQ(clock.now().secondsSinceReferenceDate, 1000.0);
  EXPECT_EQ(clock.monotonicNow(), 2s);
  EXPECT_DOUBLE_EQ(clock.secondsSinceBoot(), 52.0);
}

TEST(ManualClockTest, SteadyReadingsRefuseToGoBackwards) {
  ManualClock clock;
  EXPECT_THROW(clock.advance(-1ns), std::invalid_argument);
  EXPECT_THROW(clock.advanceMonotonic(-1s), std::invalid_argument);
  EXPECT_EQ(clock.monotonicNow(), 0ns);
  EXPECT_EQ(clock.now(), ManualClock::kDefaultStart);
}

TEST(SystemClockTest, WallClockAgreesWithTheCLibrary) {
  // The C library's clock may be a coarse one, a tick behind; a wrong epoch offset would be off by
  // decades, so a generous tolerance still catches it.
  const double wall = SystemClock::shared().now().unixSeconds();
  EXPECT_NEAR(wall, static_cast<double>(std::time(nullptr)), 2.0);
}

TEST(SystemClockTest, MonotonicTimeNeverDecreases) {
  const auto& clock = SystemClock::shared();
  auto previous = clock.monotonicNow();
  for (int i = 0; i < 1000; ++i) {
    const auto next = clock.monotonicNow();
    ASSERT_LE(previous, next);
    previous = next;
  }
}

TEST(SystemClockTest, BootTimeIncludesEverythingTheSteadyClockCounted) {
  // Both count from boot; the boot clock also counts suspended time, so it is never behind.
  const auto& clock = SystemClock::shared();
  const double steadySeconds = std::chrono::duration<double>(clock.monotonicNow()).count();
  EXPECT_GE(clock.secondsSinceBoot(), steadySeconds);

  double procUptime = 0;
  std::ifstream("/proc/uptime") >> procUptime;
  ASSERT_GT(procUptime, 0.0);
  EXPECT_NEAR(clock.secondsSinceBoot(), procUptime, 5.0);
}

}  // namespace
}  // namespace platform
