// The registry of apps: names, lookups, deletion, the data-collection switch, heartbeats when the
// application becomes active, and library registration.

#include <gtest/gtest.h>

#include "sdk-core/ApplicationNotifications.h"
#include "sdk-core/BCNAnalyticsConfiguration.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNHeartbeatLogger.h"
#include "sdk-core/CoreError.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-core/tests/FakeLibrary.h"

namespace beacon {
namespace {

using testing::LogLines;
using testing::NotificationRecorder;
using testing::TemporaryApplication;
using testing::thrownBy;

constexpr const char* kDefaultAppSwitchKey =
    "/corvane/beacon/global_data_collection_enabled:__BCNAPP_DEFAULT";
constexpr const char* kShopSwitchKey = "/corvane/beacon/global_data_collection_enabled:shop";
constexpr const char* kShopAppID = "1:210987654321:ios:fedcba9876543210fedcba9876543210";

std::shared_ptr<BCNOptions> validOptions() {
  return BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "123456789012");
}

std::shared_ptr<BCNOptions> shopOptions() {
  return BCNOptions::initWithCorvaneAppID(kShopAppID, "210987654321");
}

void postDidBecomeActive() {
  platform::NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
}

TEST(AppNames, BlankRaisesAndLettersDigitsHyphensUnderscoresAreAccepted) {
  TemporaryApplication application;

  EXPECT_EQ(thrownBy([] { BCNApp::configureWithName("my app", validOptions()); }).reason(),
            "App name can only contain alphanumeric, hyphen (-), and underscore (_) characters");
  EXPECT_THROW(BCNApp::configureWithName("shop/eu", validOptions()), platform::ProgrammerError);

  BCNApp::configureWithName("Shop-2_eu", validOptions());
  BCNApp::configureWithName("Übersicht", validOptions());

  ASSERT_NE(BCNApp::appNamed("Shop-2_eu"), nullptr);
  EXPECT_FALSE(BCNApp::appNamed("Shop-2_eu")->isDefaultApp());
  EXPECT_EQ(BCNApp::allApps()->size(), 2u);
  EXPECT_FALSE(BCNApp::isDefaultAppConfigured());
}

TEST(AppNames, SecondConfigureOfATakenNameRaises) {
  TemporaryApplication application;
  BCNApp::configureWithName("shop", validOptions());

  EXPECT_EQ(thrownBy([] { BCNApp::configureWithName("shop", validOptions()); }).reason(),
            "App named shop has already been configured.");
  EXPECT_EQ(BCNApp::allApps()->size(), 1u);
}

TEST(AppLookups, UnknownNamesAndAnEmptyRegistryAreLogged) {
  TemporaryApplication application;
  LogLines log;

  EXPECT_EQ(BCNApp::allApps(), std::nullopt);
  EXPECT_EQ(BCNApp::appNamed("nobody"), nullptr);

  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "12.4.0 - [BeaconCore][I-COR000005] No app has been configured yet.",
                             "12.4.0 - [BeaconCore][I-COR000004] App with name nobody does not exist.",
                         }));
}

TEST(AppDeletion, DeletingTheDefaultAppForgetsItItsSwitchAndTellsItsComponents) {
  TemporaryApplication application;
  auto maintainer = std::make_shared<testing::Maintainer>();
  auto library = std::make_shared<testing::FakeLibrary>();
  library->components = {
      BCNComponent::componentWithProtocol(testing::greetingProtocol(), BCNInstantiationTiming::AlwaysEager,
                                          {}, [maintainer](BCNComponentContainer&, bool& isCacheable) {
                                            isCacheable = true;
                                            return maintainer;
                                          })};
  BCNApp::registerInternalLibrary(testing::announceLibrary("MaintainedLibrary", library), "maintained");
  BCNApp::configureWithOptions(validOptions());
  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();
  app->setDataCollectionDefaultEnabled(false);
  NotificationRecorder deleted(kBCNAppDeleteNotification);
  LogLines log;

  std::optional<bool> completed;
  app->deleteApp([&](bool success) { completed = success; });

  EXPECT_EQ(completed, true);
  EXPECT_EQ(maintainer->deletedApps, std::vector<std::string>{kBCNDefaultAppName});
  EXPECT_EQ(BCNApp::defaultApp(), nullptr);
  EXPECT_TRUE(BCNApp::allApps()->empty());
  EXPECT_EQ(application.persistedPreference(kDefaultAppSwitchKey), std::nullopt);
  ASSERT_EQ(deleted.received().size(), 1u);
  EXPECT_EQ(deleted.received()[0].object, BCNApp::classTag());
  EXPECT_EQ(deleted.received()[0].userInfo, (platform::Dictionary{{kBCNAppNameKey, kBCNDefaultAppName}}));
  // The container was emptied: nothing is published any more.
  EXPECT_EQ(app->container()->instanceForProtocol(testing::greetingProtocol()), nullptr);

  app->deleteApp([&](bool success) { completed = success; });
  EXPECT_EQ(completed, false);
  EXPECT_EQ(log.withCode("I-COR000003").size(), 1u);
  EXPECT_EQ(log.withCode("I-COR000007").size(), 1u);
  EXPECT_EQ(deleted.received().size(), 1u);
}

TEST(AppConfigure, AnEagerComponentThatRefusesTheOptionsLeavesNoAppBehind) {
  TemporaryApplication application;
  bool refuse = true;
  auto library = std::make_shared<testing::FakeLibrary>();
  library->components = {BCNComponent::componentWithProtocol(
      testing::greetingProtocol(), BCNInstantiationTiming::AlwaysEager, {},
      [&refuse](BCNComponentContainer&, bool& isCacheable) -> std::shared_ptr<Object> {
        isCacheable = true;
        if (refuse) throw platform::ProgrammerError("InvalidOptions", "the options were refused");
        return std::make_shared<testing::Maintainer>();
      })};
  BCNApp::registerInternalLibrary(testing::announceLibrary("RefusingLibrary", library), "refusing");

  EXPECT_THROW(BCNApp::configureWithOptions(validOptions()), platform::ProgrammerError);
  EXPECT_EQ(BCNApp::defaultApp(), nullptr);
  ASSERT_TRUE(BCNApp::allApps());
  EXPECT_TRUE(BCNApp::allApps()->empty());

  // The name is free again: a later configure with acceptable options succeeds.
  refuse = false;
  BCNApp::configureWithOptions(validOptions());
  EXPECT_NE(BCNApp::defaultApp(), nullptr);
}

TEST(AppDeletion, AnAppLeftOverFromBeforeAResetCannotDeleteItsSuccessor) {
  TemporaryApplication application;
  BCNApp::configureWithName("shop", validOptions());
  const std::shared_ptr<BCNApp> stale = BCNApp::appNamed("shop");
  BCNApp::resetApps();
  BCNApp::configureWithName("shop", validOptions());
  const std::shared_ptr<BCNApp> current = BCNApp::appNamed("shop");
  ASSERT_NE(stale, current);

  std::optional<bool> completed;
  stale->deleteApp([&](bool success) { completed = success; });

  EXPECT_EQ(completed, false);
  EXPECT_EQ(BCNApp::appNamed("shop"), current);
}

TEST(DataCollectionSwitch, IsStoredUnderTheAppsKeyAndSwitchesAnalyticsForThisRun) {
  TemporaryApplication application;
  BCNApp::configureWithOptions(validOptions());
  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();
  NotificationRecorder switched(kBCNAnalyticsConfigurationSetEnabledNotification);
  EXPECT_TRUE(app->isDataCollectionDefaultEnabled());

  app->setDataCollectionDefaultEnabled(false);

  EXPECT_FALSE(app->isDataCollectionDefaultEnabled());
  EXPECT_EQ(application.persistedPreference(kDefaultAppSwitchKey), platform::Value(false));
  ASSERT_EQ(switched.received().size(), 1u);
  EXPECT_EQ(switched.received()[0].object, BCNAnalyticsConfiguration::shared().get());
  EXPECT_EQ(switched.received()[0].userInfo,
            (platform::Dictionary{{kBCNAnalyticsConfigurationSetEnabledNotification, false}}));
  // Switched for this run only.
  EXPECT_EQ(application.persistedPreference(kBCNMeasurementEnabledStateKey), std::nullopt);
}

TEST(DataCollectionSwitch, OptionsThatSetCollectionThemselvesAreNotOverridden) {
  TemporaryApplication application;
  auto options = std::make_shared<BCNOptions>(platform::Dictionary{
      {kBCNCorvaneAppIDKey, testing::kValidAppID}, {kBCNAnalyticsCollectionEnabledKey, true}});
  BCNApp::configureWithOptions(options);
  NotificationRecorder switched(kBCNAnalyticsConfigurationSetEnabledNotification);

  BCNApp::defaultApp()->setDataCollectionDefaultEnabled(false);

  EXPECT_TRUE(switched.received().empty());
  EXPECT_FALSE(BCNApp::defaultApp()->isDataCollectionDefaultEnabled());
}

TEST(DataCollectionSwitch, InfoPlistGivesTheDefaultAndAStoredSwitchWins) {
  TemporaryApplication application({{kBCNDataCollectionDefaultEnabledPlistKey, false}});
  BCNApp::configureWithOptions(validOptions());
  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();

  EXPECT_FALSE(app->isDataCollectionDefaultEnabled());
  app->setDataCollectionDefaultEnabled(true);
  EXPECT_TRUE(app->isDataCollectionDefaultEnabled());
}

TEST(DataCollectionSwitch, ANamedAppKeepsItsOwnSwitchAndLeavesAnalyticsAlone) {
  TemporaryApplication application;
  BCNApp::configureWithOptions(validOptions());
  BCNApp::configureWithName("shop", shopOptions());
  const std::shared_ptr<BCNApp> shop = BCNApp::appNamed("shop");
  NotificationRecorder switched(kBCNAnalyticsConfigurationSetEnabledNotification);

  shop->setDataCollectionDefaultEnabled(false);

  EXPECT_FALSE(shop->isDataCollectionDefaultEnabled());
  EXPECT_TRUE(BCNApp::defaultApp()->isDataCollectionDefaultEnabled());
  EXPECT_EQ(application.persistedPreference(kShopSwitchKey), platform::Value(false));
  EXPECT_EQ(application.persistedPreference(kDefaultAppSwitchKey), std::nullopt);
  EXPECT_TRUE(switched.received().empty()) << "only the default app switches analytics";
}

TEST(DataCollectionSwitch, AStoredValueThatIsNoNumberIsIgnored) {
  TemporaryApplication application({{kBCNDataCollectionDefaultEnabledPlistKey, false}});
  BCNApp::configureWithName("shop", shopOptions());
  const std::shared_ptr<BCNApp> shop = BCNApp::appNamed("shop");

  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject(kShopSwitchKey, "YES").ok());
  EXPECT_FALSE(shop->isDataCollectionDefaultEnabled()) << "a text is no switch: the Info.plist decides";
  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject(kShopSwitchKey, platform::Array{1}).ok());
  EXPECT_FALSE(shop->isDataCollectionDefaultEnabled());
  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject(kShopSwitchKey, 1).ok());
  EXPECT_TRUE(shop->isDataCollectionDefaultEnabled()) << "a number is";
}

TEST(AnalyticsSwitch, PersistsOnlyWhenAskedAndPostsEveryTime) {
  TemporaryApplication application;
  NotificationRecorder switched(kBCNAnalyticsConfigurationSetEnabledNotification);

  BCNAnalyticsConfiguration::shared()->setAnalyticsCollectionEnabled(false);
  EXPECT_EQ(application.persistedPreference(kBCNMeasurementEnabledStateKey), platform::Value(2));
  BCNAnalyticsConfiguration::shared()->setAnalyticsCollectionEnabled(true, false);
  EXPECT_EQ(application.persistedPreference(kBCNMeasurementEnabledStateKey), platform::Value(2));
  BCNAnalyticsConfiguration::shared()->setAnalyticsCollectionEnabled(true);
  EXPECT_EQ(application.persistedPreference(kBCNMeasurementEnabledStateKey), platform::Value(1));

  const auto posts = switched.received();
  ASSERT_EQ(posts.size(), 3u);
  EXPECT_EQ(posts[0].userInfo->at(kBCNAnalyticsConfigurationSetEnabledNotification), platform::Value(false));
  EXPECT_EQ(posts[1].userInfo->at(kBCNAnalyticsConfigurationSetEnabledNotification), platform::Value(true));
}

TEST(Heartbeats, BecomingActiveRecordsOneUnderTheCurrentUserAgent) {
  TemporaryApplication application;
  BCNApp::configureWithOptions(validOptions());
  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();

  postDidBecomeActive();
  postDidBecomeActive();

  const HeartbeatsPayload payload = app->heartbeatLogger()->flushHeartbeatsIntoPayload()->heartbeatsPayload();
  ASSERT_EQ(payload.userAgentPayloads.size(), 1u);
  EXPECT_EQ(payload.userAgentPayloads[0].agent, BCNApp::beaconUserAgent());
  EXPECT_EQ(payload.userAgentPayloads[0].dates.size(), 1u);
}

TEST(Heartbeats, NoneIsRecordedWhileTheSwitchIsOff) {
  TemporaryApplication application;
  BCNApp::configureWithOptions(validOptions());
  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();
  app->setDataCollectionDefaultEnabled(false);

  postDidBecomeActive();

  EXPECT_TRUE(app->heartbeatLogger()->flushHeartbeatsIntoPayload()->isEmpty());
}

TEST(Heartbeats, EveryNamedAppRecordsUnderItsOwnAppIDWhileItsSwitchIsOn) {
  TemporaryApplication application;
  BCNApp::configureWithName("shop", shopOptions());
  BCNApp::configureWithName("off", BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "123456789012"));
  BCNApp::appNamed("off")->setDataCollectionDefaultEnabled(false);

  postDidBecomeActive();

  BCNHeartbeatLogger shopStore(kShopAppID);
  const HeartbeatsPayload payload = shopStore.flushHeartbeatsIntoPayload()->heartbeatsPayload();
  ASSERT_EQ(payload.userAgentPayloads.size(), 1u);
  EXPECT_EQ(payload.userAgentPayloads[0].agent, BCNApp::beaconUserAgent());
  BCNHeartbeatLogger offStore(testing::kValidAppID);
  EXPECT_TRUE(offStore.flushHeartbeatsIntoPayload()->isEmpty()) << "its switch is off";
}

TEST(Heartbeats, AReleasedAppStopsListening) {
  TemporaryApplication application;
  BCNApp::configureWithOptions(validOptions());
  BCNApp::configureWithName("shop", shopOptions());
  std::weak_ptr<BCNApp> released = BCNApp::appNamed("shop");
  BCNApp::resetApps();
  EXPECT_TRUE(released.expired()) << "the observation must not keep the app alive";

  postDidBecomeActive();

  BCNHeartbeatLogger defaultStore(testing::kValidAppID);
  EXPECT_TRUE(defaultStore.flushHeartbeatsIntoPayload()->isEmpty());
  BCNHeartbeatLogger shopStore(kShopAppID);
  EXPECT_TRUE(shopStore.flushHeartbeatsIntoPayload()->isEmpty());
}

TEST(Libraries, RegisteredLibrariesJoinTheUserAgentUntilReset) {
  TemporaryApplication application;
  EXPECT_NE(BCNApp::beaconUserAgent().find("bcn-ios/12.4.0"), std::string::npos);

  BCNApp::registerLibrary("bcn-install", "12.4.0");
  EXPECT_NE(BCNApp::beaconUserAgent().find(" bcn-install/12.4.0 bcn-ios/12.4.0 "), std::string::npos);

  BCNApp::resetApps();
  EXPECT_EQ(BCNApp::beaconUserAgent().find("bcn-"), std::string::npos);
}

TEST(Libraries, BadCharactersAreLoggedAndChangeNothing) {
  TemporaryApplication application;
  const std::string before = BCNApp::beaconUserAgent();
  LogLines log;

  BCNApp::registerLibrary("bcn/install", "12.4.0");
  BCNApp::registerLibrary("bcn-install", "12 4");

  EXPECT_EQ(BCNApp::beaconUserAgent(), before);
  const auto refused = log.withCode("I-COR000027");
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(
      refused[0].text,
      "12.4.0 - [BeaconCore][I-COR000027] The library name (bcn/install) or version number (12.4.0) contain "
      "invalid characters. Only alphanumeric, dash, underscore and period characters are allowed.");
}

TEST(Libraries, AClassWithoutComponentsCannotRegisterAsALibrary) {
  TemporaryApplication application;
  const platform::ClassEntry& plain = platform::ClassDirectory::shared().registerClass("PlainClass");

  const platform::ProgrammerError error = thrownBy([&] { BCNApp::registerInternalLibrary(plain, "plain"); });

  EXPECT_EQ(error.name(), kBCNInvalidArgumentException);
  EXPECT_EQ(error.reason(),
            "Class PlainClass attempted to register components, but it does not conform to `BCNLibrary or "
            "provide a "
            "`componentsToRegister:` method.");
  EXPECT_EQ(BCNApp::beaconUserAgent().find("plain/"), std::string::npos);
}

TEST(Libraries, EveryConfiguredAppIsToldToEveryLibraryInRegistrationOrder) {
  TemporaryApplication application;
  std::vector<std::string> told;
  const auto library = [&](const std::string& name) {
    auto fake = std::make_shared<testing::FakeLibrary>();
    fake->onConfigure = [&told, name](const std::shared_ptr<BCNApp>& app) {
      told.push_back(name + ":" + app->name());
    };
    return fake;
  };
  // Registered in an order that is neither alphabetical nor the order of the class names.
  BCNApp::registerInternalLibrary(testing::announceLibrary("ZetaLibrary", library("zeta")), "zeta");
  BCNApp::registerInternalLibrary(testing::announceLibrary("AlphaLibrary", library("alpha")), "alpha");

  BCNApp::configureWithName("shop", shopOptions());
  BCNApp::configureWithOptions(validOptions());

  EXPECT_EQ(told,
            (std::vector<std::string>{"zeta:shop", "alpha:shop", std::string("zeta:") + kBCNDefaultAppName,
                                      std::string("alpha:") + kBCNDefaultAppName}));
}

TEST(Libraries, OptionalLibrariesPresentAtTheFirstConfigureAreRegistered) {
  TemporaryApplication application;
  auto sessions = std::make_shared<testing::FakeLibrary>();
  testing::announceLibrary("BCNSessions", sessions);
  platform::ClassDirectory::shared().registerClass("BCNCombineAuthLibrary");

  BCNApp::configureWithOptions(validOptions());

  const std::string agent = BCNApp::beaconUserAgent();
  EXPECT_NE(agent.find("bcn-ses/12.4.0"), std::string::npos);
  EXPECT_NE(agent.find("comb-auth/12.4.0"), std::string::npos);
  EXPECT_EQ(agent.find("bcn-str/"), std::string::npos);
}

}  // namespace
}  // namespace beacon
