#include <gtest/gtest.h>

#include <cmath>

#include "installations/BCNInstallationsBackoffController.h"

namespace beacon {
namespace {

// Hands out one fixed 32-bit value, so the random fraction of a wait is known.
class FixedRandom final : public platform::RandomSource {
 public:
  explicit FixedRandom(std::uint32_t value) : value_(value) {}

 private:
  bool draw(std::span<std::uint8_t> out, std::string*) override {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(value_ >> (8 * (i % 4)));
    return true;
  }
  std::uint32_t value_;
};

class BackoffControllerTest : public ::testing::Test {
 protected:
  bool allowedAfter(double seconds) {
    now_ = platform::Date{start_.secondsSinceReferenceDate + seconds};
    return controller_.isNextRequestAllowed();
  }

  platform::Date start_{1000};
  platform::Date now_ = start_;
  FixedRandom random_{1999};  // 1999 % 1000 = 999 ms
  BCNInstallationsBackoffController controller_{[this] { return now_; }, random_};
};

TEST_F(BackoffControllerTest, WithoutEventsRequestsAreAllowed) {
  EXPECT_TRUE(controller_.isNextRequestAllowed());
}

TEST_F(BackoffControllerTest, AnUnrecoverableFailureWaitsADay) {
  controller_.registerEvent(BCNInstallationsBackoffEvent::UnrecoverableFailure);
  EXPECT_FALSE(allowedAfter(86399));
  EXPECT_TRUE(allowedAfter(86400));
}

// The clock ran ahead when the failure was registered and was set right since: the wait is over at
// once, not held until the clock has caught up and then for the whole day.
TEST_F(BackoffControllerTest, AFailureRegisteredAheadOfTheClockWaitsNoLonger) {
  now_ = platform::Date{start_.secondsSinceReferenceDate + 365 * 86400.0};
  controller_.registerEvent(BCNInstallationsBackoffEvent::UnrecoverableFailure);
  EXPECT_TRUE(allowedAfter(0));
  // Registered at the right time again, the wait holds as before.
  controller_.registerEvent(BCNInstallationsBackoffEvent::UnrecoverableFailure);
  EXPECT_FALSE(allowedAfter(86399));
  EXPECT_TRUE(allowedAfter(86400));
}

TEST_F(BackoffControllerTest, ADifferentEventRestartsTheCount) {
  controller_.registerEvent(BCNInstallationsBackoffEvent::RecoverableFailure);
  controller_.registerEvent(BCNInstallationsBackoffEvent::UnrecoverableFailure);
  EXPECT_EQ(controller_.lastEventData()->eventCount, 1);
  EXPECT_EQ(controller_.lastEventData()->backoffTimeInterval, 86400);
}

TEST_F(BackoffControllerTest, RecoverableFailuresDoubleTheWaitUpToHalfAnHour) {
  for (int i = 0; i < 3; ++i) controller_.registerEvent(BCNInstallationsBackoffEvent::RecoverableFailure);
  EXPECT_DOUBLE_EQ(controller_.lastEventData()->backoffTimeInterval, 8.999);
  EXPECT_FALSE(allowedAfter(8.998));
  EXPECT_TRUE(allowedAfter(8.999));
  for (int i = 3; i < 12; ++i) controller_.registerEvent(BCNInstallationsBackoffEvent::RecoverableFailure);
  EXPECT_EQ(controller_.lastEventData()->eventCount, 12);
  EXPECT_EQ(controller_.lastEventData()->backoffTimeInterval, 1800);
}

TEST_F(BackoffControllerTest, TheRandomFractionIsAWholeNumberOfMillisecondsUnderOneSecond) {
  platform::RandomSource& system = platform::systemRandomSource();
  for (int i = 0; i < 1000; ++i) {
    double fraction = BCNInstallationsBackoffEventData::randomMilliseconds(system);
    ASSERT_GE(fraction, 0);
    ASSERT_LE(fraction, 0.999);
    ASSERT_NEAR(fraction * 1000, std::round(fraction * 1000), 1e-6);
  }
}

TEST_F(BackoffControllerTest, ASuccessAllowsTheNextRequestAtOnce) {
  controller_.registerEvent(BCNInstallationsBackoffEvent::UnrecoverableFailure);
  controller_.registerEvent(BCNInstallationsBackoffEvent::Success);
  EXPECT_TRUE(controller_.isNextRequestAllowed());
}

}  // namespace
}  // namespace beacon
