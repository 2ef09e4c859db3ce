// The day's limits: the day number, the effective count, the all-events, error and public limits with
// their once-per-1000 logging, and the real-time decision.

#include "measurement/pipeline/BMSDailyLimits.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/time/ManualClock.h"

namespace beacon {
namespace {

using testing::integer;

constexpr double kMidnightOffset = 3600;
constexpr double kDayStart = 20000 * 86400.0 + kMidnightOffset;

class DailyLimitsTest : public ::testing::Test {
 protected:
  DailyLimitsTest() { clock->setNow(platform::Date::fromUnixSeconds(kDayStart + 10)); }

  void configure(std::map<std::string, std::string, std::less<>> settings,
                 std::vector<std::string> customConversions = {}) {
    BMSRemoteConfigSnapshot snapshot;
    snapshot.version = 1;
    snapshot.settings = std::move(settings);
    for (const auto& name : customConversions) snapshot.events[name].customConversion = true;
    ASSERT_TRUE(config->updateWithSnapshot(std::move(snapshot), {}));
  }

  BMSDailyLimits limits() {
    return BMSDailyLimits(config, {clock, [] { return kMidnightOffset; }, [this] { return debugMode; }});
  }

  static BMSEvent event(const std::string& name, BMSParameters parameters = {}, bool isPublic = false) {
    auto made = BMSEvent::initWithOrigin("app", isPublic, name, kDayStart, 0, parameters);
    if (!made) throw std::runtime_error("invalid test event " + name);
    return *made;
  }
  static BMSEvent realtime(const std::string& name) {
    BMSEvent marked = event(name);
    marked.setRealtime(true);
    return marked;
  }

  testing::ScopedEngineServices services;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  bool debugMode = false;

  std::int64_t logged(std::int64_t code) const {
    const auto codes = services.log->codes();
    return std::count(codes.begin(), codes.end(), code);
  }
};

TEST(DailyLimitsDay, TheDayTurnsAtTheMidnightOffset) {
  EXPECT_EQ(BMSDayNumber(kDayStart - 0.001, kMidnightOffset), 19999);
  EXPECT_EQ(BMSDayNumber(kDayStart, kMidnightOffset), 20000);
  EXPECT_EQ(BMSDayNumber(-1, 0), -1);
  EXPECT_EQ(BMSDayNumber(1e300, 0), std::numeric_limits<std::int32_t>::max());
}

TEST_F(DailyLimitsTest, ArrayParametersCountTheirElements) {
  const BMSValueItems two{{BMSParameters{}, BMSParameters{}}};
  const BMSValueItems three{{BMSParameters{}, BMSParameters{}, BMSParameters{}}};
  EXPECT_EQ(BMSEffectiveEventCount(event("level_up")), 1);
  EXPECT_EQ(BMSEffectiveEventCount(event("purchase", {{"items", BMSValue::initWithItems(three)}})), 4);

  // Two arrays of 2 and 3 count 6 toward all and public events.
  BMSEvent both = event("purchase", {{"items", BMSValue::initWithItems(three)}});
  both = *both.copyWithParameters(
      {{"items", BMSValue::initWithItems(three)}, {"more", BMSValue::initWithItems(two)}});
  ASSERT_EQ(BMSEffectiveEventCount(both), 6);
  BMSDailyCounts counts;
  EXPECT_TRUE(limits().shouldProcessEvent(both, counts, true));
  EXPECT_EQ(counts.allEventsCount(), 6);
  EXPECT_EQ(counts.publicEventsCount(), 6);
}

TEST_F(DailyLimitsTest, ANewDayStartsTheCountersAfresh) {
  BMSDailyCounts counts(19999, 50, 40, 3, 2, 1, 1);
  EXPECT_TRUE(limits().shouldProcessEvent(event("level_up"), counts, true));
  EXPECT_EQ(counts, BMSDailyCounts(20000, 1, 1, 0, 0, 0, 0));
}

TEST_F(DailyLimitsTest, OverTheDailyLimitEventsAreDroppedAndLoggedOncePerThousand) {
  configure({{"measurement.upload.max_events_per_day", "10"}});
  BMSDailyCounts counts(20000, 10, 0, 0, 0, 0, 0);
  for (int i = 0; i < 1001; ++i) EXPECT_FALSE(limits().shouldProcessEvent(event("level_up"), counts, false));
  // Excess 0 and 1000 are logged; the dropped events are still counted.
  EXPECT_EQ(logged(23055), 2);
  EXPECT_EQ(counts.allEventsCount(), 1011);

  EXPECT_FALSE(limits().shouldProcessEvent(event("_err", {{"_err", integer(4)}}), counts, false));
  EXPECT_EQ(counts.errorEventsCount(), 1);
  EXPECT_EQ(counts.allEventsCount(), 1011);
}

TEST_F(DailyLimitsTest, ErrorEventsCountOnlyAsErrorsAndHaveTheirOwnLimit) {
  configure({{"measurement.upload.max_error_events_per_day", "2"}});
  BMSDailyCounts counts(20000, 5, 0, 0, 0, 0, 0);
  const BMSEvent error = event("_err", {{"_err", integer(13)}});
  EXPECT_TRUE(limits().shouldProcessEvent(error, counts, false));
  EXPECT_TRUE(limits().shouldProcessEvent(error, counts, false));
  EXPECT_EQ(counts.allEventsCount(), 5);
  EXPECT_FALSE(limits().shouldProcessEvent(error, counts, false));
  EXPECT_EQ(counts.errorEventsCount(), 3);
  // A dropped event takes one back off all events.
  EXPECT_EQ(counts.allEventsCount(), 4);
  ASSERT_EQ(services.log->lines.back().code, 23056);
  EXPECT_EQ(services.log->lines.back().contexts, (std::vector<platform::Value>{13, 2}));
}

TEST_F(DailyLimitsTest, OverThePublicLimitEveryDropLogsAnErrorEvent) {
  configure({{"measurement.upload.max_public_events_per_day", "1"}});
  BMSDailyCounts counts(20000, 1, 1, 0, 0, 0, 0);
  const BMSValueItems two{{BMSParameters{}, BMSParameters{}}};
  EXPECT_FALSE(limits().shouldProcessEvent(event("purchase", {{"items", BMSValue::initWithItems(two)}}, true),
                                           counts, true));
  // Raised by the effective count (3), less the one taken back.
  EXPECT_EQ(counts.allEventsCount(), 3);
  EXPECT_FALSE(limits().shouldProcessEvent(event("level_up", {}, true), counts, true));
  EXPECT_EQ(services.events->events.size(), 2u);
  EXPECT_EQ(services.events->events[1].parameters, (platform::Dictionary{{"_err", 16}}));
  // Only the first drop (excess 0) is logged; internal events are not held by the public limit.
  EXPECT_EQ(logged(23057), 1);
  EXPECT_TRUE(limits().shouldProcessEvent(event("_internal"), counts, false));
}

TEST_F(DailyLimitsTest, TheRealtimeLimitDemotesAllButTheExemptEvents) {
  configure({{"measurement.upload.max_realtime_events_per_day", "1"}});
  const BMSDailyCounts full(20000, 0, 0, 0, 0, 1, 0);
  for (const char* exempt : {"_iap", "_f", "_fx"}) {
    BMSEvent marked = realtime(exempt);
    EXPECT_TRUE(limits().isRealtimeEvent(marked, full)) << exempt;
    EXPECT_TRUE(marked.isRealtime());
  }
  BMSEvent limited = realtime("level_up");
  EXPECT_FALSE(limits().isRealtimeEvent(limited, full));
  EXPECT_FALSE(limited.isRealtime());
  EXPECT_EQ(services.log->lines.back().code, 23060);

  BMSEvent roomLeft = realtime("level_up");
  EXPECT_TRUE(limits().isRealtimeEvent(roomLeft, BMSDailyCounts(20000, 0, 0, 0, 0, 0, 0)));
}

TEST_F(DailyLimitsTest, ConversionsAreRealtimeWhileThereIsRoom) {
  configure({{"measurement.upload.max_realtime_events_per_day", "1"}}, {"tutorial_done"});
  const BMSDailyCounts room(20000, 0, 0, 0, 0, 0, 0);
  const BMSDailyCounts full(20000, 0, 0, 0, 0, 1, 0);
  BMSEvent custom = event("tutorial_done");
  EXPECT_TRUE(limits().isRealtimeEvent(custom, room));
  EXPECT_FALSE(custom.isRealtime());
  EXPECT_FALSE(limits().isRealtimeEvent(custom, full));

  BMSEvent firstOpen = event("_f");
  firstOpen.setConversion(true);
  EXPECT_TRUE(limits().isRealtimeEvent(firstOpen, full));
}

TEST_F(DailyLimitsTest, DCUEventsHaveTheirOwnRealtimeLimit) {
  configure({{"measurement.upload.max_realtime_dcu_events_per_day", "1"}});
  BMSEvent room = realtime("_dcu");
  EXPECT_TRUE(limits().isRealtimeEvent(room, BMSDailyCounts(20000, 0, 0, 0, 0, 5, 0)));
  BMSEvent full = realtime("_dcu");
  EXPECT_FALSE(limits().isRealtimeEvent(full, BMSDailyCounts(20000, 0, 0, 0, 0, 0, 1)));
}

TEST_F(DailyLimitsTest, InDebugModeEveryEventIsRealtimeAndDebug) {
  configure({{"measurement.upload.max_realtime_events_per_day", "0"}});
  debugMode = true;
  BMSEvent plain = event("level_up");
  EXPECT_TRUE(limits().isRealtimeEvent(plain, BMSDailyCounts(20000, 0, 0, 0, 0, 100, 100)));
  EXPECT_TRUE(plain.isRealtime());
  EXPECT_TRUE(plain.isDebug());
  EXPECT_EQ(services.log->lines.back().code, 23073);
}

}  // namespace
}  // namespace beacon
