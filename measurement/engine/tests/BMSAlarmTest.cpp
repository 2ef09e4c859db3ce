#include "measurement/engine/BMSAlarm.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/dispatch/DeterministicDispatch.h"

namespace beacon {
namespace {

using std::chrono::seconds;

class BMSAlarmTest : public ::testing::Test {
 protected:
  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  platform::QueueRef queue = platform::makeSerialQueue("alarm");
  BMSAlarm alarm{queue, "Measurement timer", dispatch.sharedClock()};
  int fired = 0;
};

TEST_F(BMSAlarmTest, ReArmingReplacesThePendingFiring) {
  alarm.runAfterDelay(10, [&] { ++fired; });
  alarm.runAfterDelay(5, [&] { ++fired; });
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{2002, 2003, 2002}));
  EXPECT_EQ(services.log->lines[1].message, "Measurement timer canceled");
  EXPECT_EQ(services.log->lines[2].message, "Measurement timer scheduled to fire in approx. (s)");
  EXPECT_EQ(services.log->lines[2].contexts, std::vector<platform::Value>{5.0});

  dispatch.advance(seconds(4));
  EXPECT_EQ(fired, 0);
  dispatch.advance(seconds(1));
  EXPECT_EQ(fired, 1);
  dispatch.advance(seconds(10));
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(alarm.scheduledTimestamp());
  EXPECT_FALSE(alarm.hasActiveTimer());
}

TEST_F(BMSAlarmTest, FiringDisarmsBeforeTheBlockSoTheBlockMayReArm) {
  const platform::Date start = dispatch.clock().now();
  alarm.runAfterDelay(2, [&] {
    ++fired;
    EXPECT_FALSE(alarm.scheduledTimestamp());
    if (fired < 3) alarm.runAfterDelay(2, [&] { ++fired; });
  });
  EXPECT_EQ(alarm.scheduledTimestamp()->secondsSinceReferenceDate, start.secondsSinceReferenceDate + 2);
  EXPECT_TRUE(alarm.hasActiveTimer());
  services.log->lines.clear();
  dispatch.advance(seconds(2));
  EXPECT_EQ(fired, 1);
  // Fired, then the alarm cancelled itself, then the block armed it again.
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{2001, 2003, 2002}));
  dispatch.advance(seconds(2));
  EXPECT_EQ(fired, 2);
}

TEST_F(BMSAlarmTest, CancellingAnIdleAlarmLogsNothing) {
  alarm.cancel();
  EXPECT_TRUE(services.log->lines.empty());
  alarm.runAfterDelay(1, [&] { ++fired; });
  alarm.cancel();
  alarm.cancel();
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{2002, 2003}));
  dispatch.advance(seconds(5));
  EXPECT_EQ(fired, 0);
}

TEST_F(BMSAlarmTest, AnEmptyBlockIsRefusedAndLeavesThePendingFiringArmed) {
  alarm.runAfterDelay(1, [&] { ++fired; });
  alarm.runAfterDelay(1, nullptr);
  EXPECT_EQ(services.log->lines.back().code, 2000);
  EXPECT_EQ(services.log->lines.back().message, "Measurement timer tried to schedule an empty block");
  dispatch.advance(seconds(1));
  EXPECT_EQ(fired, 1);
}

TEST_F(BMSAlarmTest, NegativeDelayFiresAtOnceAndAnEmptyNameIsTimer) {
  BMSAlarm unnamed(queue, "", dispatch.sharedClock());
  EXPECT_EQ(unnamed.name(), "Timer");
  unnamed.runAfterDelay(-30, [&] { ++fired; });
  EXPECT_EQ(services.log->lines.back().contexts, std::vector<platform::Value>{0.0});
  dispatch.drain();
  EXPECT_EQ(fired, 1);
}

TEST_F(BMSAlarmTest, DestroyingTheAlarmCancelsIt) {
  {
    BMSAlarm shortLived(queue, "Short", dispatch.sharedClock());
    shortLived.runAfterDelay(1, [&] { ++fired; });
  }
  dispatch.advance(seconds(2));
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace beacon
