// Bundling stored raw events into queued upload bundles: which rows share a bundle, what the bundle
// carries, engagement and sampling on the way, and that nothing stalls the queue.

#include "measurement/pipeline/BMSRawEventBundler.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/ManualClock.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using testing::integer;

constexpr double kDay = 20000 * 86400.0;

class RawEventBundlerTest : public ::testing::Test {
 protected:
  RawEventBundlerTest() {
    database = BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName).value();
    clock->setNow(platform::Date::fromUnixSeconds(kDay + 7200));
    configure({});
  }

  void configure(BMSRemoteConfigSnapshot snapshot) {
    snapshot.version = 7;
    ASSERT_TRUE(config->updateWithSnapshot(std::move(snapshot), {}));
  }

  BMSRawEventBundler bundler(std::function<std::int64_t(std::int64_t)> randomBelow = [](std::int64_t) {
    return 0;
  }) {
    auto audience = BMSAudience::initWithDatabase(database);
    BMSBundleEventProcessor::Collaborators processing{
        database,
        config,
        persisted,
        audience,
        {clock, [] { return 0.0; }, [] { return false; }},
        [this](const BMSUserAttribute& attribute) { return database->updateUserAttribute(attribute).ok(); }};
    return BMSRawEventBundler(
        {database, config, persisted, audience, std::make_shared<BMSBundleEventProcessor>(processing),
         std::make_shared<BMSEventSampler>(database, config, std::move(randomBelow)), clock,
         [] { return false; }, [](double, double) { return std::optional<std::string>("monitor-data"); },
         [] { return std::optional<std::string>("com.example.fallback"); }, nullptr,
         [this] { ++didBundleCalls; }});
  }

  std::int64_t metadata(const std::string& appID) {
    BMSPBMeasurementBundle message;
    NANOSetInt32(message, B::kProtocolVersion, 1);
    if (!appID.empty()) NANOSetString(message, B::kAppID, appID);
    NANOSetString(message, B::kSessionStitchingToken, "token");
    return database->insertIfNotExistsRawEventMetadata(message).value();
  }

  void store(const std::string& name, double timestamp, std::int64_t fingerprint,
             BMSParameters parameters = {}) {
    const bool isPublic = name.front() != '_';
    auto event =
        BMSEvent::initWithOrigin(isPublic ? "app" : "auto", isPublic, name, timestamp, 0, parameters);
    ASSERT_TRUE(event);
    ASSERT_TRUE(database->insertRawEvent(*event, fingerprint, false).ok());
  }

  std::vector<BMSPBMeasurementBundle> queued() {
    std::vector<BMSPBMeasurementBundle> bundles;
    for (auto& queued : database->queryBundlesWithCountLimit(100, 10 << 20).value())
      bundles.push_back(queued.bundle);
    return bundles;
  }

  static std::vector<std::string> eventNames(const BMSPBMeasurementBundle& bundle) {
    std::vector<std::string> names;
    for (const auto& event : NANOGetArray<BMSPBEvent>(bundle, B::kEvents))
      names.push_back(NANOGetString(event, EventField::kName).value_or(""));
    return names;
  }

  static std::optional<std::int64_t> attributeValue(const BMSPBMeasurementBundle& bundle,
                                                    const std::string& name) {
    for (const auto& attribute : NANOGetArray<BMSPBUserAttribute>(bundle, B::kUserAttributes))
      if (NANOGetString(attribute, UserAttributeField::kName) == name)
        return NANOGetInt64(attribute, UserAttributeField::kIntValue);
    return std::nullopt;
  }

  platform::testing::TestApplication application;
  testing::ScopedEngineServices services;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  int didBundleCalls = 0;
};

TEST_F(RawEventBundlerTest, QueuesOneBundleOfAFingerprintsRowsAndDeletesThem) {
  const std::int64_t fingerprint = metadata("com.example.velloran");
  store("prompt_create", kDay + 10, fingerprint);
  store("prompt_copy", kDay + 20.5, fingerprint);

  auto bundling = bundler();
  EXPECT_TRUE(bundling.bundleRawEvents());
  EXPECT_EQ(didBundleCalls, 1);
  const auto bundles = queued();
  ASSERT_EQ(bundles.size(), 1u);
  const BMSPBMeasurementBundle& bundle = bundles.front();
  EXPECT_EQ(eventNames(bundle), (std::vector<std::string>{"prompt_create", "prompt_copy"}));
  EXPECT_EQ(NANOGetInt64(bundle, B::kStartTimestampMillis), static_cast<std::int64_t>((kDay + 10) * 1000));
  EXPECT_EQ(NANOGetInt64(bundle, B::kEndTimestampMillis), static_cast<std::int64_t>((kDay + 20.5) * 1000));
  EXPECT_EQ(NANOGetInt32(bundle, B::kBundleIndex), 1);
  EXPECT_EQ(NANOGetInt64(bundle, B::kConfigVersion), 7);
  EXPECT_EQ(NANOGetString(bundle, B::kAppID), "com.example.velloran");
  EXPECT_EQ(NANOGetString(bundle, B::kMonitoringData), "monitor-data");
  EXPECT_EQ(NANOGetString(bundle, B::kSessionStitchingToken), "token");
  EXPECT_DOUBLE_EQ(persisted->lastMonitorDataSampledTimestamp(), kDay + 7200);
  EXPECT_TRUE(database->isRawEventsTableEmpty().value());
  EXPECT_FALSE(database->queryRawEventsMetadataWithFingerprint(fingerprint).value());

  EXPECT_FALSE(bundling.bundleRawEvents());
  EXPECT_EQ(queued().size(), 1u);
}

TEST_F(RawEventBundlerTest, AnotherHourOrAnotherFingerprintInBetweenStartsANewBundle) {
  const std::int64_t first = metadata("com.example.velloran");
  const std::int64_t second = metadata("com.example.other");
  store("a", kDay + 3599, first);
  store("b", kDay + 3600, first);
  store("c", kDay + 3601, second);
  store("d", kDay + 3602, first);

  auto bundling = bundler();
  int passes = 0;
  while (bundling.bundleRawEvents()) ++passes;
  EXPECT_EQ(passes, 4);
  const auto bundles = queued();
  ASSERT_EQ(bundles.size(), 4u);
  EXPECT_EQ(eventNames(bundles[0]), std::vector<std::string>{"a"});
  EXPECT_EQ(eventNames(bundles[1]), std::vector<std::string>{"b"});
  EXPECT_EQ(eventNames(bundles[2]), std::vector<std::string>{"c"});
  EXPECT_EQ(eventNames(bundles[3]), std::vector<std::string>{"d"});
  // The chain of bundles: each one names the one before it.
  EXPECT_EQ(NANOGetInt32(bundles[3], B::kBundleIndex), 4);
  EXPECT_EQ(NANOGetInt64(bundles[3], B::kPreviousEndTimestampMillis),
            static_cast<std::int64_t>((kDay + 3601) * 1000));
}

TEST_F(RawEventBundlerTest, EngagementTimeReachesTheUserPropertiesAndASessionStartRestartsIt) {
  const std::int64_t fingerprint = metadata("com.example.velloran");
  ASSERT_TRUE(database
                  ->updateUserAttribute(
                      *BMSUserAttribute::initWithOrigin("auto", "_lte", BMSValue::initWithInt64(1000), kDay))
                  .ok());
  ASSERT_TRUE(database
                  ->updateUserAttribute(
                      *BMSUserAttribute::initWithOrigin("auto", "_se", BMSValue::initWithInt64(800), kDay))
                  .ok());
  store("_s", kDay + 10, fingerprint);
  store("_e", kDay + 11, fingerprint, {{"_et", integer(250)}});
  // First-run engagement is already counted elsewhere.
  store("_e", kDay + 12, fingerprint, {{"_et", integer(99)}, {"_fr", integer(1)}});

  ASSERT_TRUE(bundler().bundleRawEvents());
  const auto bundles = queued();
  ASSERT_EQ(bundles.size(), 1u);
  EXPECT_EQ(attributeValue(bundles[0], "_lte"), 1250);
  EXPECT_EQ(attributeValue(bundles[0], "_se"), 250);
  EXPECT_EQ(database->userAttributeWithName("_lte").value()->value().int64Value(), 1250);
  EXPECT_EQ(database->userAttributeWithName("_se").value()->value().int64Value(), 250);
}

TEST_F(RawEventBundlerTest, ABundleSampledAwayEntirelyDeletesItsRawEventsAndQueuesNothing) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.settings["measurement.upload.event_sampling_enabled"] = "true";
  snapshot.events["prompt_copy"].samplingRate = 10;
  configure(snapshot);
  auto known = BMSEventAggregates::initWithName("prompt_copy", 5, 0, 0, kDay + 1);
  known->lastBundledDay = 20000;
  ASSERT_TRUE(database->updateEventAggregates(*known).ok());
  const std::int64_t fingerprint = metadata("com.example.velloran");
  store("prompt_copy", kDay + 10, fingerprint);

  EXPECT_TRUE(bundler([](std::int64_t) { return 3; }).bundleRawEvents());
  EXPECT_TRUE(queued().empty());
  EXPECT_TRUE(database->isRawEventsTableEmpty().value());
  const std::vector<std::int64_t> codes = services.log->codes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), 23159), codes.end());
}

TEST_F(RawEventBundlerTest, RawEventsWhoseMetadataIsGoneAreDroppedInsteadOfHoldingTheQueue) {
  store("orphan", kDay + 10, 4242);
  const std::int64_t fingerprint = metadata("com.example.velloran");
  store("prompt_copy", kDay + 20, fingerprint);

  auto bundling = bundler();
  EXPECT_TRUE(bundling.bundleRawEvents());
  EXPECT_TRUE(bundling.bundleRawEvents());
  const auto bundles = queued();
  ASSERT_EQ(bundles.size(), 1u);
  EXPECT_EQ(eventNames(bundles[0]), std::vector<std::string>{"prompt_copy"});
}

TEST_F(RawEventBundlerTest, ABundleWithoutAppIDTakesTheFallbackAndTheTokenGoesWhenItsFeatureIsOff) {
  BMSRemoteConfigSnapshot snapshot;
  snapshot.settings["measurement.session_stitching_token_enabled"] = "false";
  snapshot.experimentIDs = {11, 12};
  configure(snapshot);
  store("prompt_copy", kDay + 20, metadata(""));

  ASSERT_TRUE(bundler().bundleRawEvents());
  const auto bundles = queued();
  ASSERT_EQ(bundles.size(), 1u);
  EXPECT_EQ(NANOGetString(bundles[0], B::kAppID), "com.example.fallback");
  EXPECT_FALSE(NANOHasField(bundles[0], B::kSessionStitchingToken));
  EXPECT_EQ(NANOGetArray<std::int64_t>(bundles[0], B::kExperimentIDs), (std::vector<std::int64_t>{11, 12}));
}

}  // namespace
}  // namespace beacon
