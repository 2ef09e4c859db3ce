// The start road: the facade's start, the engine's creation and the collection switch, end to end on
// the deterministic backend, over real preferences and a real database in a temporary home.

#include <gtest/gtest.h>

#include <algorithm>

#include "AnalyticsTestWorld.h"
#include "measurement/engine/BMSAppDelegateInterceptor.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentifiers.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-core/BCNAnalyticsConfiguration.h"
#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"

namespace beacon {
namespace {

using testing::kTestAppID;

class AnalyticsStartTest : public ::testing::Test {
 protected:
  AnalyticsStartTest() {
    user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"}});
    world.classes().registerClass("BCNAnalytics");
  }

  bool logged(std::int64_t code) const { return world.log().contains(code); }

  void start(platform::Dictionary values = {}, std::string origin = "ba") {
    BMSAnalytics::startWithAppID(kTestAppID, origin, {std::move(values), nullptr});
  }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
};

TEST_F(AnalyticsStartTest, OperationsQueuedBeforeTheStartFindTheEngineAndKeepTheirOrder) {
  std::vector<std::string> ran;
  BMSAnalytics::queueOperationWithBlock(
      [&] { ran.push_back(BMSMeasurement::hasSharedInstance() ? "a+" : "a-"); });
  BMSAnalytics::queueOperationWithBlock([&] { ran.push_back("b"); });
  world.dispatch().drain();
  EXPECT_TRUE(ran.empty());

  start();
  BMSAnalytics::queueOperationWithBlock([&] { ran.push_back("c"); });
  world.dispatch().drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"a+", "b", "c"}));
}

TEST_F(AnalyticsStartTest, StartingEnablesCollectionAndBuildsTheComponentsOnce) {
  start();
  world.dispatch().drain();
  const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
  ASSERT_TRUE(engine);
  EXPECT_TRUE(engine->wasEnabledDuringInitialization());
  EXPECT_TRUE(engine->didInitializeComponents());
  EXPECT_TRUE(BMSAnalytics::isEnabled());
  EXPECT_TRUE(logged(23012));
  EXPECT_EQ(BMSIdentifiers::shared().origin(), "ba");
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->appIDFromCNP(), kTestAppID);
}

TEST_F(AnalyticsStartTest, SecondStartRepeatsOnlyTheChecks) {
  int willStart = 0;
  platform::ObserverToken token =
      world.notifications().addObserver(kBMSAnalyticsWillStartNotification, nullptr, nullptr,
                                        [&](const platform::Notification&) { ++willStart; });
  start({{"app_measurement_log_tag", ""}});
  start({{"app_measurement_log_tag", ""}});
  world.dispatch().drain();
  EXPECT_EQ(willStart, 1);
  const std::vector<std::int64_t> codes = world.log().codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 25030), 2);
}

TEST_F(AnalyticsStartTest, AnOlderFrameworkOrAForeignOriginRefusesTheStart) {
  start({}, "app");
  world.dispatch().drain();
  EXPECT_TRUE(logged(25026));
  EXPECT_FALSE(BMSMeasurement::hasSharedInstance());

  world.classes().registerClass("BCNADatabase");
  start();
  world.dispatch().drain();
  EXPECT_TRUE(logged(25029));
  EXPECT_FALSE(BMSMeasurement::hasSharedInstance());
}

TEST_F(AnalyticsStartTest, DeactivatedCollectionStaysOffButTheChoiceIsStillPersisted) {
  start({{"BEACON_ANALYTICS_COLLECTION_DEACTIVATED", true}});
  world.dispatch().drain();
  BMSAnalytics::setAnalyticsEnabled(true, true);
  world.dispatch().drain();
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->measurementEnabledState(), 1);
  EXPECT_FALSE(BMSAnalytics::isEnabled());
  EXPECT_FALSE(BMSMeasurement::sharedInstance()->didInitializeComponents());

  BMSAnalytics::setAnalyticsEnabled(false, false);
  world.dispatch().drain();
  EXPECT_TRUE(logged(23013));
}

TEST_F(AnalyticsStartTest, SwitchingOffRemovesAStoredLinkOnlyOnceItIsOutsideTheAttributionWindow) {
  start();
  world.dispatch().drain();
  const std::shared_ptr<BMSUserDefaults> preferences = BMSUserDefaults::sharedUserDefaults();
  BMSStoreDeepLink(*preferences, "velloran://open?utm_source=newsletter", world.clock());
  const auto switchOff = [&] {
    BMSAnalytics::setAnalyticsEnabled(false, false);
    world.dispatch().drain();
  };
  // The clock set back ten minutes: the link stays within the week it is kept.
  world.clock().advanceWall(-std::chrono::minutes(10));
  switchOff();
  EXPECT_TRUE(preferences->objectForKey(kBMSStoredDeepLinkKey));
  // Set back by more than the week: the link is outside it.
  world.clock().advanceWall(-std::chrono::hours(7 * 24));
  switchOff();
  const std::vector<std::int64_t> codes = world.log().codes();
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 23013), 2);
  EXPECT_FALSE(preferences->objectForKey(kBMSStoredDeepLinkKey));
}

TEST_F(AnalyticsStartTest, PersistedSwitchWinsOverTheStartOption) {
  BMSPersistedConfig::sharedInstance()->setMeasurementEnabledState(2);
  start({{"BEACON_ANALYTICS_COLLECTION_ENABLED", true}});
  world.dispatch().drain();
  EXPECT_FALSE(BMSMeasurement::sharedInstance()->wasEnabledDuringInitialization());
  EXPECT_FALSE(BMSAnalytics::isEnabled());
}

TEST_F(AnalyticsStartTest, SwitchingOffPersistsForTheNextLaunch) {
  start();
  world.dispatch().drain();
  BMSAnalytics::setAnalyticsEnabled(false, true);
  world.dispatch().drain();
  EXPECT_FALSE(BMSAnalytics::isEnabled());

  // The next launch: a new context over the same preferences.
  AnalyticsContext::Scope nextLaunch(std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{world.dispatch().sharedClock(), &world.classes(), &world.notifications(),
                                 nullptr, false, &testing::FakeReachability::api()}));
  start();
  world.dispatch().drain();
  EXPECT_FALSE(BMSMeasurement::sharedInstance()->wasEnabledDuringInitialization());
}

TEST_F(AnalyticsStartTest, OnlyTheFirstEngineCreationOfTheProcessCounts) {
  BMSMeasurement::initializeSharedInstanceWithAppID("", true, false, {});
  BMSMeasurement::initializeSharedInstanceWithAppID(kTestAppID, true, false, {});
  EXPECT_FALSE(BMSMeasurement::hasSharedInstance());
  EXPECT_EQ(BMSMeasurement::sharedInstance(), nullptr);
}

TEST_F(AnalyticsStartTest, SafelistWithOneInvalidNameIsDroppedWhole) {
  start({{"safelisted_events", platform::Array{"purchase", "bad name!"}}});
  world.dispatch().drain();
  EXPECT_TRUE(logged(25035));
  EXPECT_TRUE(BMSMeasurement::sharedInstance()->safelistedEvents().empty());
}

TEST_F(AnalyticsStartTest, ValidSafelistReachesTheEngine) {
  start({{"safelisted_events", platform::Array{"purchase", "level_up"}}});
  world.dispatch().drain();
  EXPECT_EQ(BMSMeasurement::sharedInstance()->safelistedEvents(),
            (std::vector<std::string>{"purchase", "level_up"}));
}

TEST_F(AnalyticsStartTest, CoreSwitchNotificationsReachTheEngine) {
  const std::shared_ptr<BCNAnalyticsConfiguration>& configuration = BCNAnalyticsConfiguration::shared();
  BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, configuration});
  world.dispatch().drain();
  world.notifications().post(kBCNAnalyticsConfigurationSetEnabledNotification, configuration.get(),
                             platform::Dictionary{{kBCNAnalyticsConfigurationSetEnabledNotification, false}});
  world.dispatch().drain();
  EXPECT_FALSE(BMSAnalytics::isEnabled());

  world.notifications().post(kBCNAnalyticsConfigurationSetEnabledNotification, configuration.get(),
                             platform::Dictionary{{kBCNAnalyticsConfigurationSetEnabledNotification, "yes"}});
  EXPECT_TRUE(logged(25000));
}

TEST_F(AnalyticsStartTest, ConsentIsPersistedUnderTheKeyOfItsSource) {
  const platform::Dictionary denied{{"ad_storage", "denied"}};
  BMSAnalytics::persistConsentSettings(denied, 10);
  EXPECT_EQ(BMSAnalytics::consentSettings3P(), denied);
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 10);
  BMSAnalytics::persistConsentSettings(denied, 30);
  EXPECT_EQ(BMSAnalytics::consentSettings1P(), denied);
  BMSAnalytics::persistConsentSettings(denied, 5);
  EXPECT_EQ(BMSAnalytics::consentSettingsTCF(), denied);
  BMSAnalytics::clearConsent();
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 100);
  EXPECT_TRUE(BMSAnalytics::consentSettings3P().empty());
}

TEST_F(AnalyticsStartTest, ReloadedConsentTakesTheStrongerSource) {
  const platform::Dictionary denied{{"ad_storage", "denied"}};
  BMSAnalytics::persistConsentSettings(denied, 10);
  BMSConsentSettingsUtil::clearAllSettings();
  BMSAnalytics::loadPersistedConsentSettings();
  EXPECT_EQ(BMSConsentSettingsUtil::consentSource(), 10);

  BMSAnalytics::clearConsent();
  BMSAnalytics::persistConsentSettings(denied, 5);
  BMSAnalytics::persistConsentSettings(denied,
                                       30);  // persisted source 30; the TCF dictionary is looked at first
  BMSConsentSettingsUtil::clearAllSettings();
  BMSAnalytics::loadPersistedConsentSettings();
  EXPECT_EQ(BMSConsentSettingsUtil::consentSource(), 5);
}

bool engineInterceptorIsRegistered() {
  bool found = false;
  CVUAppDelegateSwizzler::notifyInterceptors([&](platform::ApplicationDelegate& interceptor) {
    found = found || &interceptor == BMSAppDelegateInterceptor::sharedInstance().get();
  });
  return found;
}

TEST_F(AnalyticsStartTest, StartInstallsTheAppDelegateProxyWithTheEngineInterceptor) {
  const auto delegate = std::make_shared<platform::ApplicationDelegate>();
  platform::Application::shared().setDelegate(delegate);
  start();
  world.dispatch().drain();
  EXPECT_NE(platform::Application::shared().delegate(), delegate);
  EXPECT_TRUE(engineInterceptorIsRegistered());
  EXPECT_FALSE(logged(25036));
}

TEST_F(AnalyticsStartTest, NoAppDelegateProxyWhenTheInfoPlistSwitchesItOff) {
  const auto delegate = std::make_shared<platform::ApplicationDelegate>();
  platform::Application::shared().setDelegate(delegate);
  user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"},
                  {"BeaconAppDelegateProxyEnabled", platform::Value(false)}});
  start();
  world.dispatch().drain();
  EXPECT_TRUE(logged(25036));
  EXPECT_EQ(platform::Application::shared().delegate(), delegate);
  EXPECT_FALSE(engineInterceptorIsRegistered());
}

TEST_F(AnalyticsStartTest, DeactivatedCollectionInstallsNoAppDelegateProxy) {
  const auto delegate = std::make_shared<platform::ApplicationDelegate>();
  platform::Application::shared().setDelegate(delegate);
  start({{"BEACON_ANALYTICS_COLLECTION_DEACTIVATED", platform::Value(true)}});
  world.dispatch().drain();
  EXPECT_EQ(platform::Application::shared().delegate(), delegate);
  EXPECT_FALSE(engineInterceptorIsRegistered());
}

}  // namespace
}  // namespace beacon
