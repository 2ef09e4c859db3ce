#include "measurement/storage/BMSDailyCounts.h"

#include <gtest/gtest.h>

#include <limits>

namespace beacon {
namespace {

TEST(BMSDailyCounts, IncrementsCountWithinTheSameDay) {
  BMSDailyCounts counts;
  counts.resetWithNewDay(7);
  counts.incrementCountsForCurrentDay(7, true, false);
  counts.incrementCountsForCurrentDay(7, false, true, 3);
  counts.incrementErrorEventsCountForCurrentDay(7);
  counts.incrementRealtimeCountsForCurrentDay(7);
  counts.incrementDCURealtimeCountsForCurrentDay(7);
  EXPECT_EQ(counts, BMSDailyCounts(7, 4, 1, 1, 1, 1, 1));
}

TEST(BMSDailyCounts, AnIncrementForAnotherDayStartsThatDayFromZero) {
  BMSDailyCounts counts(7, 50, 40, 3, 2, 1, 1);
  counts.incrementErrorEventsCountForCurrentDay(8);
  EXPECT_EQ(counts, BMSDailyCounts(8, 0, 0, 0, 1, 0, 0));
  counts.incrementCountsForCurrentDay(6, true, true);
  EXPECT_EQ(counts, BMSDailyCounts(6, 1, 1, 1, 0, 0, 0));
}

TEST(BMSDailyCounts, CountsNeitherGoBelowZeroNorWrapAround) {
  BMSDailyCounts counts(1, 0, 0, 0, 0, 0, 0);
  counts.decrementAllEventsCount();
  EXPECT_EQ(counts.allEventsCount(), 0);
  const std::int32_t max = std::numeric_limits<std::int32_t>::max();
  BMSDailyCounts full(1, max - 1, max, 0, 0, 0, 0);
  full.incrementCountsForCurrentDay(1, true, false, 5);
  EXPECT_EQ(full.allEventsCount(), max);
  EXPECT_EQ(full.publicEventsCount(), max);
}

}  // namespace
}  // namespace beacon
