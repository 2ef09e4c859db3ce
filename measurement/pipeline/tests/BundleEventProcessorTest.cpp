// The second look at a bundle's events: rejection and the all-rejected cleanup, reserved names,
// conversion and real-time counting, purchases, aggregates with the previous firing, and consent
// transitions of the aggregates.

#include "measurement/pipeline/BMSBundleEventProcessor.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/ManualClock.h"

namespace beacon {
namespace {

using testing::integer;

class BundleEventProcessorTest : public ::testing::Test {
 protected:
  BundleEventProcessorTest() {
    database = BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName).value();
    clock->setNow(platform::Date::fromUnixSeconds(20000 * 86400.0 + 100));
  }

  void configure(BMSRemoteConfigSnapshot snapshot) {
    snapshot.version = 1;
    ASSERT_TRUE(config->updateWithSnapshot(std::move(snapshot), {}));
  }

  BMSBundleEventProcessor processor() {
    return BMSBundleEventProcessor({database,
                                    config,
                                    persisted,
                                    BMSAudience::initWithDatabase(database),
                                    {clock, [] { return 0.0; }, [] { return false; }},
                                    nullptr});
  }

  // Stores the event as a raw event, as the write path would, and answers its record.
  BMSRawEventData stored(const BMSEvent& event) {
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
    fingerprint = database->insertIfNotExistsRawEventMetadata(metadata).value();
    const std::int64_t rowID = database->insertRawEvent(event, fingerprint, false).value();
    return *BMSRawEventData::initWithRawEvent(event, rowID, fingerprint);
  }

  static BMSEvent event(const std::string& name, BMSParameters parameters = {}, bool isPublic = true,
                        double timestamp = 20000 * 86400.0) {
    auto made = BMSEvent::initWithOrigin(isPublic ? "app" : "auto", isPublic, name, timestamp, 0, parameters);
    if (!made) throw std::runtime_error("invalid test event " + name);
    return *made;
  }

  platform::testing::TestApplication application;
  testing::ScopedEngineServices services;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  std::int64_t fingerprint = 0;
};

TEST_F(BundleEventProcessorTest, ABundleOfRejectedEventsDeletesItsRawEvents) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.events["blocked"].blocklisted = true;
  configure(snapshot);
  const std::vector raw{stored(event("blocked")), stored(event("blocked"))};
  auto processed = processor().processRawEvents(raw, fingerprint);
  ASSERT_TRUE(processed);
  EXPECT_TRUE(processed->empty());
  EXPECT_TRUE(database->isRawEventsTableEmpty().value());
  EXPECT_FALSE(database->queryRawEventsMetadataWithFingerprint(fingerprint).value());
  EXPECT_EQ(services.log->lines.back().code, 23100);
}

TEST_F(BundleEventProcessorTest, RedundantEngagementIsRemovedOnlyWhileSwitchedOn) {
  const BMSEvent engagement = event("_e", {{"_fr", integer(1)}, {"_et", integer(1)}}, false);
  EXPECT_EQ(processor().processRawEvents({stored(engagement)}, fingerprint)->size(), 1u);
  BMSRemoteConfigSnapshot snapshot;
  snapshot.settings = {{"measurement.collection.redundant_engagement_removal_enabled", "true"}};
  configure(snapshot);
  EXPECT_TRUE(processor().processRawEvents({stored(engagement)}, fingerprint)->empty());
}

TEST_F(BundleEventProcessorTest, ReservedNamesTakeTheirInternalFormAndPurchasesAreMarked) {
  auto processed =
      processor().processRawEvents({stored(event("ad_impression")),
                                    stored(event("_iap", {{"product_id", platform::Value("gems")}}, false))},
                                   fingerprint);
  ASSERT_TRUE(processed);
  ASSERT_EQ(processed->size(), 2u);
  EXPECT_EQ((*processed)[0].name(), "_ai");
  EXPECT_EQ((*processed)[0].origin(), "app");
  EXPECT_EQ((*processed)[1].parameters().at("validated"), integer(0));
  EXPECT_FALSE((*processed)[1].parameters().contains("sandbox"));
}

TEST_F(BundleEventProcessorTest, PublicConversionsAreCountedUpToTheDailyLimit) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.settings = {{"measurement.upload.max_conversions_per_day", "1"},
                       {"measurement.upload.max_realtime_events_per_day", "0"}};
  snapshot.events["signup"].customConversion = true;
  configure(snapshot);
  ASSERT_TRUE(database->updateDailyCounts(BMSDailyCounts(20000, 5, 5, 0, 0, 0, 0)));
  auto processed =
      processor().processRawEvents({stored(event("signup")), stored(event("signup"))}, fingerprint);
  ASSERT_TRUE(processed);
  EXPECT_TRUE((*processed)[0].isConversion());
  EXPECT_FALSE((*processed)[1].isConversion());
  // Conversions are not real-time once the real-time limit is reached.
  EXPECT_FALSE((*processed)[0].isRealtime());
  const BMSDailyCounts counts = database->dailyCounts().value();
  EXPECT_EQ(counts.conversionsCount(), 1);
  EXPECT_EQ(counts.allEventsCount(), 5);
}

TEST_F(BundleEventProcessorTest, RealtimeMarksAreCountedAgainstTheirLimits) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.settings = {{"measurement.upload.max_realtime_events_per_day", "1"}};
  configure(snapshot);
  BMSDailyCounts counts(20000, 0, 0, 0, 0, 0, 0);
  BMSEvent first = event("level_up");
  first.setRealtime(true);
  BMSEvent second = first;
  BMSEvent firstOpen = event("_f", {}, false);
  firstOpen.setRealtime(true);
  EXPECT_TRUE(processor().checkRealtime(first, counts));
  EXPECT_FALSE(processor().checkRealtime(second, counts));
  EXPECT_FALSE(second.isRealtime());
  EXPECT_FALSE(processor().checkRealtime(firstOpen, counts));
  EXPECT_TRUE(firstOpen.isRealtime());
  EXPECT_EQ(counts.realtimeCount(), 1);
  BMSEvent plain = event("level_up");
  EXPECT_FALSE(processor().checkRealtime(plain, counts));
  EXPECT_FALSE(plain.isRealtime());
}

TEST_F(BundleEventProcessorTest, AggregatesCountEachFiringAndGiveThePreviousOne) {
  BMSAudienceTimestampsCache cache;
  auto first =
      processor().eventsAfterUpdatingEventAggregates({event("level_up", {}, true, 1000)}, cache, true);
  auto second =
      processor().eventsAfterUpdatingEventAggregates({event("level_up", {}, true, 2000)}, cache, true);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->front().previousTimestamp(), 0);
  EXPECT_EQ(second->front().previousTimestamp(), 1000);
  const BMSEventAggregates aggregates = database->eventAggregatesWithName("level_up").value().value();
  EXPECT_EQ(aggregates.lifetimeCount(), 2);
  EXPECT_EQ(aggregates.currentSessionCount(), 2);
  EXPECT_EQ(aggregates.lastFireTimestamp(), 2000);

  ASSERT_TRUE(database->store().execute("DROP TABLE events"));
  EXPECT_FALSE(processor().eventsAfterUpdatingEventAggregates({event("level_up")}, cache, true));
  EXPECT_EQ(services.log->lines.back().code, 23107);
}

TEST_F(BundleEventProcessorTest, DeniedAnalyticsStorageSnapshotsTheAggregatesAndGrantingRestoresThem) {
  BMSAudienceTimestampsCache cache;
  ASSERT_TRUE(processor().eventsAfterUpdatingEventAggregates({event("level_up")}, cache, true));
  BMSPBMeasurementBundle bundle;
  NANOSetString(bundle, MeasurementBundleField::kConsentSignals, "C1GG");
  processor().handleAnalyticsStorageConsentTransitions(bundle);
  NANOSetString(bundle, MeasurementBundleField::kConsentSignals, "C1GD");
  processor().handleAnalyticsStorageConsentTransitions(bundle);
  EXPECT_EQ(persisted->previousBundledConsentSignals(), "C1GD");

  // Counted while denied, then forgotten when consent comes back.
  ASSERT_TRUE(processor().eventsAfterUpdatingEventAggregates({event("level_up")}, cache, false));
  NANOSetString(bundle, MeasurementBundleField::kConsentSignals, "C1GG");
  processor().handleAnalyticsStorageConsentTransitions(bundle);
  EXPECT_EQ(database->eventAggregatesWithName("level_up").value()->lifetimeCount(), 1);
}

}  // namespace
}  // namespace beacon
