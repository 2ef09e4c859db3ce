// Sampling keeps about one event in R, always the first of each account day, and remembers its
// decisions in the aggregates.

#include "measurement/pipeline/BMSEventSampler.h"

#include <gtest/gtest.h>

#include <random>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

constexpr std::int64_t kDayMillis = 86'400'000;

class EventSamplerTest : public ::testing::Test {
 protected:
  EventSamplerTest() {
    BMSRemoteConfigSnapshot snapshot;
    snapshot.version = 1;
    snapshot.settings = {{"measurement.upload.event_sampling_enabled", "1"}};
    snapshot.events["sampled"].samplingRate = 10;
    snapshot.events["unit"].samplingRate = 1;
    EXPECT_TRUE(config->updateWithSnapshot(snapshot, {}));
  }

  BMSEventSampler sampler(BMSEventSampler::RandomBelow random) {
    return BMSEventSampler(database, config, random);
  }

  static BMSPBEvent event(const std::string& name, std::int64_t millis,
                          std::optional<std::int64_t> eid = {}) {
    BMSPBEvent made;
    NANOSetString(made, EventField::kName, name);
    NANOSetInt64(made, EventField::kTimestampMillis, millis);
    if (eid) {
      BMSPBEventParam parameter;
      NANOSetString(parameter, EventParamField::kName, "_eid");
      NANOSetInt64(parameter, EventParamField::kIntValue, *eid);
      NANOSetArray(made, EventField::kParams, std::vector{parameter});
    }
    return made;
  }
  static std::optional<std::int64_t> parameter(const BMSPBEvent& event, const std::string& name) {
    for (const auto& one : NANOGetArray<BMSPBEventParam>(event, EventField::kParams))
      if (NANOGetString(one, EventParamField::kName) == name)
        return NANOGetInt64(one, EventParamField::kIntValue);
    return std::nullopt;
  }
  BMSEventAggregates stored(const std::string& name) {
    return database->eventAggregatesWithName(name).value().value();
  }

  testing::ScopedEngineServices services;
  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<BMSDatabase> database =
      BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
};

TEST_F(EventSamplerTest, TheFirstEventOfEachDayIsKeptAndTheRestByChance) {
  BMSEventSampler never = sampler([](std::int64_t) { return 1; });
  const std::int64_t day = 20000 * kDayMillis;
  auto kept = never.sampleEvents({event("sampled", day + 1000), event("sampled", day + 2000, 77),
                                  event("other", day + 3000), event("sampled", day + kDayMillis)});
  ASSERT_TRUE(kept);
  ASSERT_EQ(kept->size(), 3u);
  EXPECT_EQ(parameter((*kept)[0], "_efs"), 1);
  EXPECT_EQ(parameter((*kept)[0], "_sr"), 10);
  EXPECT_EQ(NANOGetString((*kept)[1], EventField::kName), "other");
  EXPECT_FALSE(parameter((*kept)[1], "_sr"));
  EXPECT_EQ(parameter((*kept)[2], "_efs"), 1);

  const BMSEventAggregates sampled = stored("sampled");
  EXPECT_EQ(sampled.lastBundledDay, 20001);
  EXPECT_EQ(sampled.lastSamplingRate, 10);
  EXPECT_TRUE(sampled.lastExemptFromSampling);
  EXPECT_EQ(sampled.lastSampledComplexEventID, 77);
  EXPECT_EQ(stored("other").lastBundledDay, 20000);
}

TEST_F(EventSamplerTest, PickedEventsCarryTheRateAndKeepAnExistingParameter) {
  std::mt19937_64 generator(7);
  const auto random = [&](std::int64_t bound) {
    return static_cast<std::int64_t>(std::uniform_int_distribution<std::int64_t>(0, bound - 1)(generator));
  };
  std::vector<BMSPBEvent> events;
  const std::int64_t day = 20000 * kDayMillis;
  for (int i = 0; i < 2000; ++i) events.push_back(event("sampled", day + i));
  auto kept = sampler(random).sampleEvents(events);
  ASSERT_TRUE(kept);
  // The first of the day, then about one in ten of the rest.
  EXPECT_GT(kept->size(), 150u);
  EXPECT_LT(kept->size(), 260u);
  for (const auto& one : *kept) EXPECT_EQ(parameter(one, "_sr"), 10);

  BMSPBEvent withRate = event("sampled", day + 5000);
  BMSPBEventParam existing;
  NANOSetString(existing, EventParamField::kName, "_sr");
  NANOSetInt64(existing, EventParamField::kIntValue, 3);
  NANOSetArray(withRate, EventField::kParams, std::vector{existing});
  auto always = sampler([](std::int64_t) { return 0; }).sampleEvents({withRate});
  EXPECT_EQ(parameter(always->front(), "_sr"), 3);
  EXPECT_EQ(services.log->lines.back().code, 23156);
}

TEST_F(EventSamplerTest, RatesOfOneAndUnnamedEvents) {
  auto kept = sampler([](std::int64_t) { return 1; }).sampleEvents({event("unit", 1000), event("", 1000)});
  ASSERT_TRUE(kept);
  ASSERT_EQ(kept->size(), 1u);
  EXPECT_FALSE(parameter(kept->front(), "_sr"));
  const auto codes = services.log->codes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), 23154), codes.end());
  EXPECT_NE(std::find(codes.begin(), codes.end(), 23155), codes.end());
}

TEST_F(EventSamplerTest, AFailingDatabaseGivesNothing) {
  ASSERT_TRUE(database->store().execute("DROP TABLE events"));
  EXPECT_FALSE(sampler([](std::int64_t) { return 0; }).sampleEvents({event("sampled", 1)}));
  EXPECT_EQ(services.log->lines.back().code, 23157);
}

}  // namespace
}  // namespace beacon
