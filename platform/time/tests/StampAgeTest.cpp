#include "platform/time/StampAge.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform {
namespace {

constexpr double kYear = 365 * 86400.0;

TEST(StampAgeTest, AStampAheadOfTheClockHasOutlivedEveryWaitThatHoldsWorkBack) {
  EXPECT_EQ(secondsSinceStamp(1000.0, 1600.0), 600.0);
  EXPECT_EQ(secondsSinceStamp(1600.0, 1600.0), 0.0);
  EXPECT_TRUE(std::isinf(secondsSinceStamp(1600.5, 1600.0)));
  EXPECT_GT(secondsSinceStamp(Date{2000.0}, Date{1000.0}), kYear);
  EXPECT_EQ(secondsSinceStamp(Date{1000.0}, Date{2000.0}), 1000.0);
}

TEST(StampAgeTest, TheDistanceEitherWayCountsAClockSetBackLikeOneMovedOn) {
  const double stamp = 10 * kYear;
  EXPECT_EQ(secondsFromStampEitherWay(stamp, stamp), 0.0);
  EXPECT_EQ(secondsFromStampEitherWay(stamp, stamp + 600), 600.0);
  EXPECT_EQ(secondsFromStampEitherWay(stamp, stamp - 1), 1.0);
  EXPECT_EQ(secondsFromStampEitherWay(stamp, stamp - 600), 600.0);
  EXPECT_EQ(secondsFromStampEitherWay(stamp, stamp - kYear), kYear);
}

}  // namespace
}  // namespace platform
