// Reset and data wipe over a started engine with a real database and real preferences in a
// temporary home: the app instance ID rotates, pending data goes, the collection switch stays; an
// empty ID is refused unless analytics storage is denied; a start under changed identifiers wipes
// what an earlier app ID left behind.

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/reporters/BMSAttributionTokenSource.h"
#include "measurement/reporters/BMSSearchAdReporter.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using testing::kTestAppID;
// The raw events the tests collected themselves, apart from those the engine's start reports.
constexpr const char* kCollectedRawEvents = "raw_events WHERE name = 'level_up'";
constexpr const char* kOldAppID = "1:999999999999:ios:ffffffffffffffffffffffffffffffff";

class MeasurementResetTest : public ::testing::Test {
 protected:
  MeasurementResetTest() { user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"}}); }

  std::shared_ptr<BMSMeasurement> startEngine(platform::Dictionary options = {}) {
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {std::move(options), nullptr});
    world.dispatch().drain();
    return BMSMeasurement::sharedInstance();
  }
  static BMSEvent event(const std::string& name) {
    return BMSEvent::initWithOrigin("app", true, name, 1'700'000'000, 0, {}).value();
  }
  // One row in each table that holds collected data.
  static void collectSomething(BMSDatabase& database) {
    ASSERT_TRUE(database.insertRawEvent(event("level_up"), 7, false));
    ASSERT_TRUE(database.updateUserAttribute(
        BMSUserAttribute::initWithOrigin("app", "plan", BMSValue::initWithInt64(1), 10).value()));
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetInt64(bundle, MeasurementBundleField::kEndTimestampMillis, 1'700'000'000'000);
    ASSERT_TRUE(database.insertBundle(bundle, false));
  }
  static std::int64_t rows(BMSDatabase& database, const std::string& table) {
    return database.store().integer("SELECT count(*) FROM " + table).value();
  }
  bool logged(std::int64_t code) const { return world.log().contains(code); }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
  std::shared_ptr<BMSPersistedConfig> persisted = BMSPersistedConfig::sharedInstance();
};

TEST_F(MeasurementResetTest, ResetRotatesTheAppInstanceIDAndDropsPendingData) {
  BMSAnalytics::setAnalyticsEnabled(true, true);
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  ASSERT_TRUE(engine && engine->database());
  const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared();
  const std::optional<std::string> before = identity->appInstanceID();
  ASSERT_TRUE(before && !before->empty());
  collectSomething(*engine->database());
  persisted->setSessionNumber(4);
  BMSAnalytics::setLoadTimestamp(1'700'000'500);

  ASSERT_TRUE(engine->resetAnalyticsDataWithAppInstanceID("0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(identity->appInstanceID(), "0123456789abcdef0123456789abcdef");
  // What was collected is gone; what is there now belongs to the new first open.
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 0);
  EXPECT_EQ(rows(*engine->database(), "user_attributes WHERE name = 'plan'"), 0);
  EXPECT_EQ(rows(*engine->database(), "queue"), 0);
  EXPECT_EQ(persisted->sessionNumber(), 1);
  // The collection switch is the user's choice, not collected data.
  EXPECT_EQ(persisted->measurementEnabledState(), kBMSMeasurementEnabledStateOn);
  EXPECT_EQ(engine->previousCNPAppID(), kTestAppID);
  EXPECT_EQ(persisted->appIDFromCNP(), kTestAppID);
  EXPECT_EQ(engine->initTimestamp(), 1'700'000'500);
  // Stored for the next start until the new first open was reported.
  EXPECT_FALSE(persisted->loadTimestampValue());
  EXPECT_TRUE(logged(23171));
  EXPECT_TRUE(logged(23168));

  // The engine keeps its components and goes on collecting.
  EXPECT_TRUE(engine->database()->insertRawEvent(event("after_reset"), 8, false));
}

TEST_F(MeasurementResetTest, TheSearchAdAttemptsStartOverAfterAResetAndWaitWhileCollectionIsOff) {
  // An attribution class without a token: each attempt only counts and notes its time.
  world.classes().registerClass(kBMSAttributionClassName);
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  ASSERT_EQ(persisted->searchAdRetryCount(), 1);
  world.clock().advance(std::chrono::hours(1));
  const std::weak_ptr<BMSSearchAdReporter> before = engine->searchAdReporter();
  ASSERT_TRUE(before.lock()->isSearchAdReporterEnabled());

  ASSERT_TRUE(engine->resetAnalyticsDataWithAppInstanceID("0123456789abcdef0123456789abcdef"));
  world.dispatch().drain();
  // The reporter of the wiped state is gone, and its alarm with it.
  EXPECT_TRUE(before.expired());
  // The first attempt of the fresh state is due at once, not a day after the old one.
  EXPECT_EQ(persisted->searchAdRetryCount(), 1);
  EXPECT_EQ(persisted->lastSearchAdLookUpTimestamp(), world.context().nowSince1970());

  engine->setEnabled(false);
  world.dispatch().drain();
  ASSERT_TRUE(engine->resetAnalyticsDataWithAppInstanceID("fedcba9876543210fedcba9876543210"));
  world.dispatch().drain();
  EXPECT_EQ(persisted->searchAdRetryCount(), 0);
  engine->setEnabled(true);
  world.dispatch().drain();
  EXPECT_EQ(persisted->searchAdRetryCount(), 1);
}

TEST_F(MeasurementResetTest, EmptyIDIsRefusedWhileAnalyticsStorageIsGranted) {
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  collectSomething(*engine->database());
  EXPECT_FALSE(engine->resetAnalyticsDataWithAppInstanceID(""));
  EXPECT_TRUE(logged(23167));
  EXPECT_FALSE(logged(23171));
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 1);
}

TEST_F(MeasurementResetTest, EmptyIDWipesWhileAnalyticsStorageIsDenied) {
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  collectSomething(*engine->database());
  BMSConsentSettingsUtil::setConsentSettings({{"analytics_storage", "denied"}});
  ASSERT_TRUE(engine->resetAnalyticsDataWithAppInstanceID(""));
  EXPECT_TRUE(logged(23218));
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 0);
  EXPECT_FALSE(persisted->appInstanceID());
}

TEST_F(MeasurementResetTest, ResetWithCollectionOffDeletesTheDatabaseFileItNeverOpened) {
  {
    auto earlier = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
    collectSomething(*earlier);
  }
  std::shared_ptr<BMSMeasurement> engine = startEngine({{"BEACON_ANALYTICS_COLLECTION_ENABLED", false}});
  ASSERT_TRUE(engine);
  ASSERT_FALSE(engine->didInitializeComponents());
  ASSERT_TRUE(engine->resetAnalyticsDataWithAppInstanceID("fedcba9876543210fedcba9876543210"));
  EXPECT_EQ(persisted->appInstanceID(), "fedcba9876543210fedcba9876543210");
  EXPECT_EQ(BMSAnalytics::deferredAnalyticsCollection(), platform::Value(1));

  auto reopened = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
  EXPECT_EQ(rows(*reopened, "raw_events"), 0);
}

TEST_F(MeasurementResetTest, StartUnderAnotherAppIDWipesWhatTheOldOneLeft) {
  persisted->setAppIDFromCNP(kOldAppID);
  {
    auto earlier = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
    collectSomething(*earlier);
  }
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  ASSERT_TRUE(engine && engine->database());
  EXPECT_TRUE(logged(23171));
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 0);
  EXPECT_EQ(engine->previousCNPAppID(), kOldAppID);
  EXPECT_EQ(persisted->appIDFromCNP(), kTestAppID);
  EXPECT_EQ(BMSAnalytics::resetRetryCount(), 0);
}

TEST_F(MeasurementResetTest, StartUnderTheSameAppIDKeepsTheData) {
  persisted->setAppIDFromCNP(kTestAppID);
  {
    auto earlier = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
    collectSomething(*earlier);
  }
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  EXPECT_FALSE(logged(23171));
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 1);
}

TEST_F(MeasurementResetTest, AFailedEarlierWipeIsTriedAgainAtTheNextStart) {
  persisted->setAppIDFromCNP(kTestAppID);
  BMSAnalytics::setResetRetryCount(3);
  {
    auto earlier = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
    collectSomething(*earlier);
  }
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  EXPECT_EQ(rows(*engine->database(), kCollectedRawEvents), 0);
  EXPECT_EQ(BMSAnalytics::resetRetryCount(), 0);
}

TEST_F(MeasurementResetTest, FailedDatabaseResetAnswersFalseAndKeepsTheIDUnchanged) {
  std::shared_ptr<BMSMeasurement> engine = startEngine();
  const std::optional<std::string> before = persisted->appInstanceID();
  ASSERT_TRUE(engine->database()->store().execute("DROP TABLE queue"));
  EXPECT_FALSE(engine->resetAnalyticsDataWithAppInstanceID("0123456789abcdef0123456789abcdef"));
  EXPECT_TRUE(logged(23209));
  EXPECT_FALSE(logged(23168));
  EXPECT_NE(persisted->appInstanceID(), "0123456789abcdef0123456789abcdef");
}

}  // namespace
}  // namespace beacon
