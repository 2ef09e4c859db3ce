#include "measurement/reporters/BMSSequenceTimestampsCache.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

using Timestamps = std::vector<double>;

TEST(SequenceTimestampsCacheTest, TimesOfTheSameWholeSecondAreKeptOnce) {
  BMSSequenceTimestampsCache cache(3);
  EXPECT_EQ(cache.audienceID(), 3);
  EXPECT_FALSE(cache.sequenceTimestampsForFilterID(1));
  cache.addEventFilterTimestamp(10.2, 1);
  cache.addEventFilterTimestamp(10.7, 1);
  EXPECT_EQ(cache.sequenceTimestampsForFilterID(1), Timestamps{10.2});
  cache.addEventFilterTimestamp(11.0, 1);
  EXPECT_EQ(cache.sequenceTimestampsForFilterID(1), (Timestamps{10.2, 11.0}));
}

TEST(SequenceTimestampsCacheTest, EarlierTimesAreLoggedKeptAndSortedInTheResult) {
  testing::ScopedEngineServices services;
  BMSSequenceTimestampsCache cache(3);
  cache.addEventFilterTimestamp(9, 4);
  cache.addEventFilterTimestamp(5, 4);
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{42000});
  EXPECT_EQ(cache.sequenceTimestampsForFilterID(4), (Timestamps{9, 5}));
  const auto results = cache.sequenceFilterResultTimestamps();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(NANOGetInt32(results[0], SequenceFilterResultTimestampField::kFilterID), 4);
  EXPECT_EQ(NANOGetArray<std::int64_t>(results[0], SequenceFilterResultTimestampField::kTimestampsMillis),
            (std::vector<std::int64_t>{5, 9}));
}

TEST(SequenceTimestampsCacheTest, AUserPropertyTimeReplacesTheFiltersList) {
  testing::ScopedEngineServices services;
  BMSSequenceTimestampsCache cache(3);
  cache.addEventFilterTimestamp(20, 2);
  cache.addEventFilterTimestamp(30, 2);
  cache.setUserPropertyTimestamp(25, 2);
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{42001});
  EXPECT_EQ(cache.sequenceTimestampsForFilterID(2), Timestamps{25});
  cache.setUserPropertyTimestamp(40, 8);
  EXPECT_EQ(cache.sequenceTimestampsForFilterID(8), Timestamps{40});
}

TEST(SequenceTimestampsCacheTest, ResultsFollowAscendingFilterIDs) {
  BMSSequenceTimestampsCache cache(3);
  EXPECT_TRUE(cache.sequenceFilterResultTimestamps().empty());
  for (const std::int64_t filterID : {7, 2, 11}) cache.addEventFilterTimestamp(100, filterID);
  std::vector<std::int32_t> order;
  for (const auto& result : cache.sequenceFilterResultTimestamps()) {
    order.push_back(NANOGetInt32(result, SequenceFilterResultTimestampField::kFilterID));
  }
  EXPECT_EQ(order, (std::vector<std::int32_t>{2, 7, 11}));
}

}  // namespace
}  // namespace beacon
