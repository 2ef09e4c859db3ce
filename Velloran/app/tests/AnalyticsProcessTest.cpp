// The real velloran executable with the real analytics SDK, offscreen, in a temporary home, with
// every SDK service on a loopback server.

#include <gmock/gmock.h>

#include <chrono>

#include "AppProcessFixture.h"
#include "measurement/upload/testing/BMSCollectorFake.h"

namespace {

using platform::Value;

constexpr const char* kFailureLine =
    "Beacon Analytics: BeaconApp.configure() fehlgeschlagen \xE2\x80\x93 bitte BeaconService-Info.plist "
    "pr\xC3\xBC"
    "fen.\n";

// What the SDK keeps in the application's preferences: its collection switch (1 on, 2 off) and the
// app instance ID.
constexpr const char* kCollectionStateKey = "/corvane/measurement/measurement_enabled_state";
constexpr const char* kAppInstanceIDKey = "/corvane/measurement/app_instance_id";

class AnalyticsProcessTest : public velloran::testing::AppProcessFixture {
 protected:
  bool measurementFolderExists() const { return std::filesystem::exists(measurementFolder()); }
};

TEST_F(AnalyticsProcessTest, TheBuildsOptionsFileConfiguresTheSdkWithoutComplaint) {
  EXPECT_EQ(runApp(), 0);
  EXPECT_EQ(output_, "");
}

// The app quits as soon as its loop runs: what the SDK queued at start-up is stored all the same.
TEST_F(AnalyticsProcessTest, GivenConsentSwitchesCollectionOnForLaterLaunches) {
  EXPECT_EQ(runApp(), 0) << errors_;

  const platform::Dictionary stored = storedPreferences();
  EXPECT_EQ(stored.at(kCollectionStateKey), Value(std::int64_t{1}));
  ASSERT_TRUE(stored.contains(kAppInstanceIDKey));
  EXPECT_EQ(stored.at(kAppInstanceIDKey).asString()->size(), 32u);
  EXPECT_TRUE(measurementFolderExists());
}

TEST_F(AnalyticsProcessTest, WithheldConsentSwitchesCollectionOffAndStartsOverUnderANewAppInstanceID) {
  ASSERT_EQ(runApp(), 0);
  const Value collectingID = storedPreferences()[kAppInstanceIDKey];
  ASSERT_TRUE(collectingID.isString());

  preferencesHold({{"analyticsEnabled", Value(false)}});
  EXPECT_EQ(runApp(), 0);

  const platform::Dictionary stored = storedPreferences();
  EXPECT_EQ(output_, "");
  EXPECT_EQ(stored.at(kCollectionStateKey), Value(std::int64_t{2}));
  ASSERT_TRUE(stored.contains(kAppInstanceIDKey));
  EXPECT_TRUE(stored.at(kAppInstanceIDKey).isString());
  EXPECT_NE(stored.at(kAppInstanceIDKey), collectingID);
}

// Quitting gives the SDK its moment to store what the start queued, then it closes its database.
TEST_F(AnalyticsProcessTest, AQuitLeavesNoJournalBesideTheAnalyticsDatabase) {
  ASSERT_EQ(runApp(), 0) << errors_;
  ASSERT_TRUE(std::filesystem::exists(measurementDatabase()));
  for (const char* companion : {"-wal", "-shm"})
    EXPECT_FALSE(std::filesystem::exists(measurementDatabase().string() + companion)) << companion;
}

// The window taking the focus is the application becoming active, which the SDK hears: it keeps a
// heartbeat for the day.
TEST_F(AnalyticsProcessTest, TheActiveWindowReachesTheSdkAsTheApplicationBecomingActive) {
  const std::filesystem::path heartbeats = user_.dataHome() / bundleIdentifier_ / "corvane-heartbeat-storage";
  const std::unique_ptr<velloran::testing::AppProcess> app = startApp();

  EXPECT_TRUE(velloran::testing::eventually([&] {
    std::error_code missing;
    return !std::filesystem::is_empty(heartbeats, missing) && !missing;
  })) << "no heartbeat was stored";
  app->requestStop();
  EXPECT_EQ(app->waitForExit(), 0);
}

// A first launch with consent: the installation is registered once, carrying the day's heartbeat,
// the configuration is fetched, and the start's events - the application's "app_open" among the
// first open and the session start - reach the collector.
TEST_F(AnalyticsProcessTest, WithConsentTheFirstLaunchRegistersFetchesTheConfigurationAndUploadsItsEvents) {
  const std::string registration = "/v1/projects/velloran-desktop/installations/";
  // One loopback origin serves every SDK service: the collector's, and the installations service
  // scripted on the same server.
  beacon::testing::BMSCollectorFake collector;
  platform::testing::LocalHttpServer& services = collector.server();
  user_.environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
  services.script("POST", registration,
                  {platform::testing::ScriptedReply(
                      200, {{"Content-Type", "application/json"}},
                      R"({"name":"projects/velloran-desktop/installations/cW1hZ2luYXJ5SW5zdGFsbA",)"
                      R"("bid":"cW1hZ2luYXJ5SW5zdGFsbA","refreshToken":"refresh",)"
                      R"("authToken":{"token":"token","expiresIn":"604800s"}})")});
  const std::unique_ptr<velloran::testing::AppProcess> app = startApp();

  EXPECT_TRUE(velloran::testing::eventually([&] { return !services.requests(registration).empty(); }));

  // A guard against a hung app only: the first upload comes once the start's events have waited
  // their initial delay.
  EXPECT_TRUE(collector.waitForUploads(1, std::chrono::seconds(120)));
  app->requestStop();
  EXPECT_EQ(app->waitForExit(), 0) << app->standardError();

  const std::vector<platform::testing::RecordedRequest> registrations = services.requests(registration);
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_TRUE(registrations.front().header("X-beacon-client").has_value());
  EXPECT_FALSE(collector.configurationRequests().empty());
  EXPECT_THAT(collector.acceptedEventNames(), ::testing::IsSupersetOf({"app_open", "_f", "_s"}));
}

TEST_F(AnalyticsProcessTest, AnInvalidAppIDIsReportedOnceAndNothingIsSentOrStored) {
  platform::Dictionary serviceInfo = buildServiceInfo();
  serviceInfo["CORVANE_APP_ID"] = Value("1:not-a-project:ios:zz");
  useBundleWithServiceInfo(Value(serviceInfo));

  EXPECT_EQ(runApp(), 0);

  EXPECT_EQ(output_, kFailureLine);
  EXPECT_TRUE(services_.requests().empty());
  EXPECT_FALSE(measurementFolderExists());
}

TEST_F(AnalyticsProcessTest, WithoutAnOptionsFileTheAppSaysSoOnceAndRuns) {
  useBundleWithServiceInfo(std::nullopt);

  EXPECT_EQ(runApp(), 0) << errors_;

  EXPECT_EQ(output_, kFailureLine);
  EXPECT_TRUE(services_.requests().empty());
  EXPECT_FALSE(measurementFolderExists());
}

}  // namespace
