// Storing one raw event: aggregate rows and the distinct public-name limit, metadata shared by
// fingerprint, the first-open bookkeeping and the "_fx" match, and failures that answer false.

#include "measurement/pipeline/BMSRawEventWriter.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

class RawEventWriterTest : public ::testing::Test {
 protected:
  RawEventWriterTest() {
    database = BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName).value();
  }

  BMSRawEventWriter writer() {
    return BMSRawEventWriter(
        {database, config, persisted,
         [this](const std::vector<BMSUserAttribute>& attributes) {
           BMSPBMeasurementBundle metadata;
           NANOSetString(metadata, MeasurementBundleField::kAppVersion, appVersion);
           if (advertisingID)
             NANOSetString(metadata, MeasurementBundleField::kResettableDeviceID, *advertisingID);
           std::vector<BMSPBUserAttribute> protos;
           for (const auto& attribute : attributes) protos.push_back(attribute.protoUserAttribute());
           NANOSetArray(metadata, MeasurementBundleField::kUserAttributes, protos);
           return metadata;
         },
         [] { return false; }, [] {}, [this](BMSEvent event) { laterEvents.push_back(std::move(event)); }});
  }

  static BMSEvent event(const std::string& name, bool isPublic = false, double timestamp = 100) {
    auto made = BMSEvent::initWithOrigin(isPublic ? "app" : "auto", isPublic, name, timestamp, 0, {});
    if (!made) throw std::runtime_error("invalid test event " + name);
    return *made;
  }

  std::int64_t count(const std::string& sql) { return database->store().integer(sql).value(); }

  platform::testing::TestApplication application;
  testing::ScopedEngineServices services;
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  std::string appVersion = "1.0";
  std::optional<std::string> advertisingID;
  std::vector<BMSEvent> laterEvents;
};

TEST_F(RawEventWriterTest, EventsUnderTheSameStateShareOneMetadataRow) {
  ASSERT_TRUE(writer().writeEvent(event("level_up", true), true, false));
  ASSERT_TRUE(writer().writeEvent(event("level_up", true), true, true));
  EXPECT_EQ(count("SELECT COUNT(*) FROM raw_events_metadata"), 1);
  appVersion = "1.1";
  ASSERT_TRUE(writer().writeEvent(event("level_up", true), true, false));
  EXPECT_EQ(count("SELECT COUNT(*) FROM raw_events_metadata"), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM raw_events"), 3);
  EXPECT_EQ(count("SELECT COUNT(*) FROM raw_events WHERE realtime = 1"), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM events"), 1);
  EXPECT_EQ(services.log->lines.back().code, 23072);
}

TEST_F(RawEventWriterTest, ANewPublicNameOverTheCardinalityLimitIsRefused) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 1;
  snapshot.settings = {{"measurement.upload.max_event_name_cardinality", "2"}};
  ASSERT_TRUE(config->updateWithSnapshot(snapshot, {}));
  ASSERT_TRUE(writer().writeEvent(event("a", true), true, false));
  ASSERT_TRUE(writer().writeEvent(event("b", true), true, false));
  EXPECT_FALSE(writer().writeEvent(event("c", true), true, false));
  EXPECT_EQ(services.events->events.back().parameters, (platform::Dictionary{{"_err", 8}}));
  // Known names and internal names are never refused for cardinality.
  EXPECT_TRUE(writer().writeEvent(event("a", true), true, false));
  EXPECT_TRUE(writer().writeEvent(event("_internal"), false, false));
}

TEST_F(RawEventWriterTest, AFirstOpenWithoutAdvertisingIDIsMatchedOnceLater) {
  ASSERT_TRUE(database->updateUserAttribute(
      *BMSUserAttribute::initWithOrigin("auto", "_fi", BMSValue::initWithInt64(1), 1)));
  ASSERT_TRUE(writer().writeEvent(event("_f"), false, false));
  EXPECT_TRUE(persisted->unmatchedFirstOpenWithoutIDFA());
  EXPECT_EQ(persisted->previousFirstOpenCount(), platform::Value(1));
  ASSERT_TRUE(writer().writeEvent(event("_f"), false, false));
  EXPECT_EQ(persisted->previousFirstOpenCount(), platform::Value(2));

  advertisingID = "AD-ID";
  ASSERT_TRUE(writer().writeEvent(event("level_up", true, 500), true, false));
  ASSERT_TRUE(writer().writeEvent(event("level_up", true, 600), true, false));
  ASSERT_EQ(laterEvents.size(), 1u);
  const BMSEvent& consented = laterEvents.front();
  EXPECT_EQ(consented.name(), "_fx");
  EXPECT_EQ(consented.origin(), "auto");
  EXPECT_EQ(consented.timestamp(), 500);
  EXPECT_TRUE(consented.isRealtime());
  EXPECT_EQ(consented.parameters().at("_pfo"), BMSValue::initWithInt64(1));
  EXPECT_EQ(consented.parameters().at("_uwa"), BMSValue::initWithInt64(0));
  EXPECT_FALSE(persisted->unmatchedFirstOpenWithoutIDFA());
}

TEST_F(RawEventWriterTest, TheFirstOpenCountStopsAtTheLargestNumber) {
  persisted->setPreviousFirstOpenCount(platform::Value(std::numeric_limits<long long>::max()));
  ASSERT_TRUE(writer().writeEvent(event("_f"), false, false));
  EXPECT_EQ(persisted->previousFirstOpenCount(), platform::Value(std::numeric_limits<long long>::max()));
  persisted->setPreviousFirstOpenCount(platform::Value(-5));
  ASSERT_TRUE(writer().writeEvent(event("_f"), false, false));
  EXPECT_EQ(persisted->previousFirstOpenCount(), platform::Value(1));
}

// Once storage is full the stored events delete the oldest ones: logged when that starts and then
// once per thousand, never once per event.
TEST_F(RawEventWriterTest, TheTrimOfAFullTableIsLoggedOncePerThousandDeleted) {
  database->performTransaction([&] {
    for (std::int64_t i = 0; i < BMSDatabase::kStoredEventsLimit - 1; ++i)
      EXPECT_TRUE(database->insertRawEvent(event("old", true), 1, false));
    return true;
  });
  database->performTransaction([&] {
    for (int i = 0; i < 1002; ++i) EXPECT_TRUE(writer().writeEvent(event("level_up", true), true, false));
    return true;
  });
  // Trimmed in batches: the last one stored is one past the limit, out of sight until the next.
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), BMSDatabase::kStoredEventsLimit + 1);
  std::vector<platform::Value> trimmed;
  for (const auto& line : services.log->lines)
    if (line.code == 23070) trimmed.push_back(line.contexts.at(0));
  EXPECT_EQ(trimmed, (std::vector<platform::Value>{platform::Value(BMSDatabase::kRawEventsTrimBatch),
                                                   platform::Value(1000)}));
}

TEST_F(RawEventWriterTest, StorageFailuresAnswerFalseWithTheirCode) {
  ASSERT_TRUE(database->store().execute("DROP TABLE raw_events"));
  EXPECT_FALSE(writer().writeEvent(event("level_up", true), true, false));
  EXPECT_EQ(services.log->lines.back().code, 23069);
  ASSERT_TRUE(database->store().execute("DROP TABLE user_attributes"));
  EXPECT_FALSE(writer().writeEvent(event("level_up", true), true, false));
  EXPECT_EQ(services.log->lines.back().code, 23067);
  ASSERT_TRUE(database->store().execute("DROP TABLE events"));
  EXPECT_FALSE(writer().writeEvent(event("other", true), true, false));
  EXPECT_EQ(services.log->lines.back().code, 23063);
}

}  // namespace
}  // namespace beacon
