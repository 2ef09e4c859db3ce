// The public interface over the whole start road: the composition root announces the class,
// configuring the default SDK app starts analytics through the class directory, and the switch
// reaches the engine.

#include "analytics-api/BCNAnalytics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "installations/BCNInstallations.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSMeasurementPaths.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestEnvironment.h"
#include "promises/CVPPromise.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon {
namespace {

constexpr const char* kAppID = "1:123456789012:ios:0123456789abcdef0123456789abcdef";
constexpr const char* kBundleID = "de.example.analytics-interface-tests";

class AnalyticsInterfaceTest : public ::testing::Test {
 protected:
  AnalyticsInterfaceTest() {
    environment.set("BEACON_SERVICE_ORIGIN", "http://127.0.0.1:9");
    user.writeInfo({{"CFBundleIdentifier", kBundleID}});
    platform::testing::writePropertyListFile(
        user.bundle() / "BeaconService-Info.plist",
        platform::Dictionary{{kBCNCorvaneAppIDKey, kAppID},
                             {kBCNCCMSenderIDKey, "123456789012"},
                             {kBCNAPIKeyKey, "AVelloranTestKeyForTheAnalyticsIface001"},
                             {kBCNProjectIDKey, "velloran-test"},
                             {kBCNBundleIDKey, kBundleID}});
    BCNAnalytics::registerClass(classes());
  }

  static platform::ClassDirectory& classes() { return platform::ClassDirectory::shared(); }

  platform::testing::TemporaryUser user;
  // Registration of the installation reaches for its service; here it finds a closed local port.
  platform::testing::ScopedEnvironment environment;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch{clock};
  // The engine's network stays offline: the default reachability watch answers from a thread of
  // its own whenever it gets round to it, and its first answer would arm the upload timer at a
  // moment no test chooses.
  AnalyticsContext::Scope scope{std::make_shared<AnalyticsContext>(AnalyticsContext::Services{
      clock, &classes(), nullptr, nullptr, false, &testing::FakeReachability::api()})};
};

TEST_F(AnalyticsInterfaceTest, ConfiguringTheDefaultAppStartsTheEngine) {
  BCNApp::configure();
  dispatch.drain();
  const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
  ASSERT_TRUE(engine);
  EXPECT_EQ(engine->appID(), kAppID);
  EXPECT_TRUE(engine->isEnabled());
}

TEST_F(AnalyticsInterfaceTest, CollectionSwitchPersistsAndReachesTheEngine) {
  BCNApp::configure();
  dispatch.drain();
  BCNAnalytics::setAnalyticsCollectionEnabled(false);
  dispatch.drain();
  EXPECT_FALSE(BMSMeasurement::sharedInstance()->isEnabled());
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->measurementEnabledState(), 2);
}

TEST_F(AnalyticsInterfaceTest, TheClassTellsTheEngineItsVersion) {
  const platform::ClassEntry* entry = classes().lookup("BCNAnalytics");
  ASSERT_TRUE(entry);
  ASSERT_TRUE(entry->facet<BMSTopLevelVersion>());
  EXPECT_EQ(entry->facet<BMSTopLevelVersion>()->topLevelVersion(), "12.4.0");
}

TEST_F(AnalyticsInterfaceTest, OperationsBeforeConfigureFlowAfterTheStart) {
  bool sawEngine = false;
  BCNAnalytics::queueOperationWithBlock([&] { sawEngine = BMSMeasurement::hasSharedInstance(); });
  dispatch.drain();
  EXPECT_FALSE(sawEngine);
  BCNApp::configure();
  dispatch.drain();
  EXPECT_TRUE(sawEngine);
}

TEST_F(AnalyticsInterfaceTest, AppInstanceIDIsTheEnginesAndListenersHearEventsAfterTheStart) {
  BCNApp::configure();
  dispatch.drain();
  const std::optional<std::string> appInstanceID = BCNAnalytics::appInstanceID();
  ASSERT_TRUE(appInstanceID);
  EXPECT_EQ(appInstanceID->size(), 32u);

  std::vector<std::string> heard;
  const auto token =
      BCNAnalytics::addLogEventListener([&](const BMSEvent& event) { heard.push_back(event.name()); });
  BCNAnalytics::notifyEventListeners(*BMSEvent::initWithOrigin("app", true, "app_open", 1700000000, 0, {}));
  dispatch.drain();
  BCNAnalytics::removeLogEventListener(token);
  BCNAnalytics::notifyEventListeners(
      *BMSEvent::initWithOrigin("app", true, "prompt_copy", 1700000001, 0, {}));
  dispatch.drain();
  EXPECT_EQ(heard, std::vector<std::string>{"app_open"});
}

TEST_F(AnalyticsInterfaceTest, TheEngineLearnsTheInstallationID) {
  BCNInstallations::load();
  BCNInstallations::setClock(clock);
  BCNApp::configure();
  dispatch.drain();
  const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared();
  ASSERT_TRUE(identity);
  const std::optional<std::string> installationID = identity->beaconInstallationID();
  ASSERT_TRUE(installationID);
  EXPECT_EQ(installationID->size(), 22u);
  // The registration the start began goes over a real connection (to a closed port): it settles
  // here, within the test, rather than at some moment of the teardown.
  CVPPromiseClass::dispatchGroup().wait();
  BCNInstallations::setClock(nullptr);
}

// Keeps the levels and codes of the engine's log lines.
class CodeCapture : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t level, std::int64_t code, const std::string&,
                    const std::vector<platform::Value>&) override {
    levels.push_back(level);
    codes.push_back(code);
  }
  std::vector<std::int64_t> levels;
  std::vector<std::int64_t> codes;
};

TEST_F(AnalyticsInterfaceTest, CallsBeforeConfigureAreDroppedWithTheirCodes) {
  const auto capture = std::make_shared<CodeCapture>();
  BMSEngineServices::setLogSink(capture);
  BCNAnalytics::logEventWithName("app_open", {});
  BCNAnalytics::setUserPropertyString("green", "favorite_color");
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress("user@example.com");
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithPhoneNumber(std::nullopt);
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithHashedEmailAddress(platform::Bytes{1, 2});
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(std::nullopt);
  BMSEngineServices::setLogSink(nullptr);
  EXPECT_EQ(capture->codes, (std::vector<std::int64_t>{25018, 25019, 25051, 25052, 25053, 25054}));

  std::vector<std::string> heard;
  BCNAnalytics::addLogEventListener([&](const BMSEvent& event) { heard.push_back(event.name()); });
  BCNApp::configure();
  dispatch.drain();
  // Only what the start reports itself: the first open with its session and engagement.
  EXPECT_EQ(heard, (std::vector<std::string>{"_f", "_s", "_e"}));
}

TEST_F(AnalyticsInterfaceTest, AMissingUserIdentifierReachesTheEngineAsAnEmptyOne) {
  BCNApp::configure();
  dispatch.drain();
  const auto capture = std::make_shared<CodeCapture>();
  BMSEngineServices::setLogSink(capture);
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithEmailAddress(std::nullopt);
  dispatch.advance(std::chrono::milliseconds(500));
  BCNAnalytics::initiateOnDeviceConversionMeasurementWithHashedPhoneNumber(std::nullopt);
  dispatch.advance(std::chrono::milliseconds(500));
  BMSEngineServices::setLogSink(nullptr);
  // The test's thread runs the worker queue here, which the engine notes as the main thread (30001).
  std::erase(capture->codes, 30001);
  EXPECT_EQ(capture->codes, (std::vector<std::int64_t>{23234, 23264}));
}

TEST_F(AnalyticsInterfaceTest, ApplicationEventsAndPropertiesReachTheEngineAfterConfigure) {
  BCNApp::configure();
  dispatch.drain();
  std::vector<std::string> heard;
  BCNAnalytics::addLogEventListener(
      [&](const BMSEvent& event) { heard.push_back(event.origin() + "/" + event.name()); });
  BCNAnalytics::logEventWithName("app_store_open", {{"app_id", platform::Value("42")}});
  BCNAnalytics::setUserPropertyString("green", "favorite_color");
  BCNAnalytics::setUserID("user-1");
  dispatch.drain();
  EXPECT_EQ(heard, std::vector<std::string>{"app/app_store_open"});
  BMSDatabase& database = *BMSMeasurement::sharedInstance()->database();
  EXPECT_TRUE(database.containsUserAttributeWithName("favorite_color").value());
  EXPECT_TRUE(database.containsUserAttributeWithName("_id").value());

  BCNAnalytics::setUserPropertyString(std::nullopt, "favorite_color");
  BCNAnalytics::setUserID(std::nullopt);
  dispatch.drain();
  EXPECT_FALSE(database.containsUserAttributeWithName("favorite_color").value());
  EXPECT_FALSE(database.containsUserAttributeWithName("_id").value());
}

TEST_F(AnalyticsInterfaceTest, ALoggedEventBecomesARawEventRowInTheMeasurementDatabase) {
  BCNApp::configure();
  dispatch.drain();
  clock->advance(std::chrono::minutes(5));
  const double loggedAt = clock->now().unixSeconds();
  BCNAnalytics::logEventWithName("app_store_open", {{"app_id", platform::Value("6450000000")}});
  dispatch.drain();

  // The engine's own events of the start may be stored too; the application's is the last row.
  BMSDatabase& database = *BMSMeasurement::sharedInstance()->database();
  std::optional<BMSRawEventData> last;
  ASSERT_TRUE(
      database.store().run("SELECT metadata_fingerprint FROM raw_events ORDER BY rowid DESC LIMIT 1", {},
                           [&](const platform::SqliteRow& row) {
                             last = database.rawEventsWithMetadataFingerprint(row.integer(0)).value().back();
                           }));
  ASSERT_TRUE(last);
  const BMSEvent& stored = last->rawEvent();
  EXPECT_EQ(stored.name(), "app_store_open");
  EXPECT_EQ(stored.timestamp(), loggedAt);
  EXPECT_EQ(stored.parameters().at("app_id"), BMSValue::initWithStringValue("6450000000"));
  EXPECT_TRUE(database.queryRawEventsMetadataWithFingerprint(last->metadataFingerprint()).value());
}

TEST_F(AnalyticsInterfaceTest, ClosingAtQuitKeepsWhatWasLoggedInTheFileAndLeavesNoJournalBesideIt) {
  BCNApp::configure();
  dispatch.drain();
  BCNAnalytics::logEventWithName("app_store_open", {});

  EXPECT_TRUE(BCNAnalytics::closeDatabaseAfterQueuedWork(std::chrono::seconds(30)));

  const std::filesystem::path file = BMSMeasurementDirectoryPath().value() / kBMSMeasurementDatabaseName;
  for (const char* companion : {"-wal", "-shm", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(file.string() + companion)) << companion;
  const auto storedRows = [&file](const std::string& name) {
    auto reader = platform::SqliteConnection::open(file.string()).value();
    return reader->scalar("SELECT count(*) FROM raw_events WHERE name = ?", {name}).value();
  };
  EXPECT_EQ(storedRows("app_store_open"), platform::SqlValue(std::int64_t{1}));

  // What still arrives is written without a failure, and kept nowhere.
  const auto capture = std::make_shared<CodeCapture>();
  BMSEngineServices::setLogSink(capture);
  BCNAnalytics::logEventWithName("prompt_copy", {});
  dispatch.drain();
  BMSEngineServices::setLogSink(nullptr);
  EXPECT_THAT(capture->codes, ::testing::Contains(23072));
  // Lines of warning level and worse, but for the note that the test's thread runs the worker queue.
  std::vector<std::int64_t> failures;
  for (std::size_t line = 0; line < capture->codes.size(); ++line) {
    if (capture->levels[line] <= 3 && capture->codes[line] != 30001) failures.push_back(capture->codes[line]);
  }
  EXPECT_EQ(failures, std::vector<std::int64_t>{});
  EXPECT_EQ(storedRows("prompt_copy"), platform::SqlValue(std::int64_t{0}));
  EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
}

TEST_F(AnalyticsInterfaceTest, ClosingWithoutAConfiguredAppHasNothingToWaitFor) {
  EXPECT_TRUE(BCNAnalytics::closeDatabaseAfterQueuedWork(std::chrono::nanoseconds(0)));
}

TEST_F(AnalyticsInterfaceTest, ConsentSetHereIsThirdPartyConsent) {
  BCNApp::configure();
  BCNAnalytics::setConsent({{"ad_storage", "denied"}});
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 10);
  EXPECT_EQ(BMSAnalytics::consentSettings3P(), (platform::Dictionary{{"ad_storage", "denied"}}));
}

}  // namespace
}  // namespace beacon
