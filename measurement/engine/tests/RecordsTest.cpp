// Aggregate counters and raw-event records: their input checks and counter wrap-around.

#include <gtest/gtest.h>

#include <limits>

#include "measurement/engine/BMSEventAggregates.h"
#include "measurement/engine/BMSRecords.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

TEST(EventAggregates, NamesAndCountsAreChecked) {
  testing::ScopedEngineServices services;
  EXPECT_FALSE(BMSEventAggregates::initWithName("bad-name", 0, 0, 0, 0));
  EXPECT_FALSE(BMSEventAggregates::initWithName("_e", 0, 0, -1, 0));
  EXPECT_EQ(services.log->codes().back(), 17000);
  auto aggregates = BMSEventAggregates::initWithName("_e", 1, 2, 3, 4.5);
  ASSERT_TRUE(aggregates);
  EXPECT_EQ(aggregates->lastSamplingRate, 1);
  EXPECT_EQ(aggregates->lastBundledTimestamp, 0);
  EXPECT_FALSE(aggregates->lastSampledComplexEventID);
}

TEST(EventAggregates, CountersWrapToZeroAtTheTop) {
  testing::ScopedEngineServices services;
  constexpr auto kTop = std::numeric_limits<std::int32_t>::max();
  auto aggregates = BMSEventAggregates::initWithName("_e", kTop, kTop, 5, 0);
  aggregates->incrementLifetimeCount();
  aggregates->incrementCurrentBundleCount();
  aggregates->incrementCurrentSessionCount();
  EXPECT_EQ(aggregates->lifetimeCount(), 0);
  EXPECT_EQ(aggregates->currentBundleCount(), 0);
  EXPECT_EQ(aggregates->currentSessionCount(), 6);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{17001, 17002}));
}

TEST(RawEventData, EventAndRowAreChecked) {
  testing::ScopedEngineServices services;
  auto event = BMSEvent::initWithOrigin("auto", false, "_e", 1, 0, {});
  EXPECT_TRUE(BMSRawEventData::initWithRawEvent(event, 0, 7));
  EXPECT_FALSE(BMSRawEventData::initWithRawEvent(event, -1, 7));
  EXPECT_FALSE(BMSRawEventData::initWithRawEvent(std::nullopt, 1, 7));
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{28001, 28000}));
}

}  // namespace
}  // namespace beacon
