#include "platform/time/StampAge.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform {
namespace {

TEST(StampAgeTest, AStampAheadOfTheClockHasOutlivedEveryPeriod) {
  EXPECT_EQ(secondsSinceStamp(1000.0, 1600.0), 600.0);
  EXPECT_EQ(secondsSinceStamp(1600.0, 1600.0), 0.0);
  EXPECT_TRUE(std::isinf(secondsSinceStamp(1600.5, 1600.0)));
  EXPECT_GT(secondsSinceStamp(Date{2000.0}, Date{1000.0}), 365 * 86400.0);
  EXPECT_EQ(secondsSinceStamp(Date{1000.0}, Date{2000.0}), 1000.0);
}

}  // namespace
}  // namespace platform
