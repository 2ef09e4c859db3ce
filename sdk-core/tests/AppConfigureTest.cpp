// The configure road of the default app, against bundles made by the tests.

#include <gtest/gtest.h>

#include "platform/classdir/ClassDirectory.h"
#include "sdk-core/BCNAnalyticsStart.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNConfiguration.h"
#include "sdk-core/CoreError.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-core/tests/FakeLibrary.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

using testing::LogLines;
using testing::NotificationRecorder;
using testing::TemporaryApplication;
using testing::thrownBy;

class FakeAnalytics final : public BCNAnalyticsStart {
 public:
  void startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                              const std::shared_ptr<BCNOptions>& options) override {
    ++starts;
    startedWith = configuration;
    appIDSeen = options->corvaneAppID();
    defaultAppVisible = BCNApp::defaultAppIfConfigured() != nullptr;
  }

  int starts = 0;
  std::shared_ptr<BCNAnalyticsConfiguration> startedWith;
  std::optional<std::string> appIDSeen;
  bool defaultAppVisible = false;
};

TEST(AppConfigure, WithoutConfigurationFileRaisesLogsAndLeavesNoDefaultApp) {
  TemporaryApplication application;
  LogLines log;

  const platform::ProgrammerError error = thrownBy([] { BCNApp::configure(); });
  EXPECT_EQ(error.name(), kBCNErrorDomainCore);
  EXPECT_EQ(error.reason(),
            "`BeaconApp.configure()` could not find a valid BeaconService-Info.plist in your project. Please "
            "download one from https://console.corvane.example/.");
  EXPECT_FALSE(BCNApp::isDefaultAppConfigured());
  EXPECT_EQ(BCNApp::defaultApp(), nullptr);

  const auto located = log.withCode("I-COR000012");
  ASSERT_EQ(located.size(), 1u);
  EXPECT_EQ(
      located[0].text,
      "12.4.0 - [BeaconCore][I-COR000012] Could not locate configuration file: 'BeaconService-Info.plist'.");
  EXPECT_EQ(located[0].level, 3);
  const auto noDefault = log.withCode("I-COR000003");
  ASSERT_EQ(noDefault.size(), 1u);
  EXPECT_EQ(
      noDefault[0].text,
      "12.4.0 - [BeaconCore][I-COR000003] The default Beacon app has not yet been configured. Add "
      "`BeaconApp.configure()` to your application initialization. This can be done in in the App Delegate's "
      "application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in SwiftUI). Read "
      "more: https://docs.corvane.example/beacon/setup.");
}

TEST(AppConfigure, ConfigurationFileThatIsNoDictionaryIsReportedAndRaises) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(platform::Array{"not", "a", "dictionary"}));
  LogLines log;

  EXPECT_THROW(BCNApp::configure(), platform::ProgrammerError);
  EXPECT_EQ(log.texts(), std::vector<std::string>{
                             "12.4.0 - [BeaconCore][I-COR000011] The configuration file is not a dictionary: "
                             "'BeaconService-Info.plist'."});
}

TEST(AppConfigure, InvalidAppIDRaisesAndRollsTheDefaultAppBack) {
  TemporaryApplication application;
  platform::Dictionary info = testing::validServiceInfo();
  info[kBCNCorvaneAppIDKey] = "1:123456789012:android:0123abcd";
  application.writeServiceInfo(platform::Value(info));
  NotificationRecorder ready(kBCNAppReadyToConfigureSDKNotification);
  LogLines log;

  const platform::ProgrammerError error = thrownBy([] { BCNApp::configure(); });
  EXPECT_EQ(error.name(), kBCNErrorDomainCore);
  EXPECT_EQ(error.reason(),
            "Configuration fails. It may be caused by an invalid CORVANE_APP_ID in BeaconService-Info.plist "
            "or set in "
            "the customized options.");
  EXPECT_FALSE(BCNApp::isDefaultAppConfigured());
  EXPECT_EQ(BCNApp::defaultAppIfConfigured(), nullptr);
  ASSERT_TRUE(BCNApp::allApps().has_value());
  EXPECT_TRUE(BCNApp::allApps()->empty());
  EXPECT_TRUE(ready.received().empty());

  const auto invalid = log.withCode("I-COR000009");
  ASSERT_EQ(invalid.size(), 1u);
  EXPECT_EQ(
      invalid[0].text,
      "12.4.0 - [BeaconCore][I-COR000009] The CORVANE_APP_ID either in the plist file "
      "'BeaconService-Info.plist' or the one set in the customized options is invalid. If you are using the "
      "plist file, use the iOS version of bundle identifier to download the file, and do not manually edit "
      "the CORVANE_APP_ID. You may change your app's bundle identifier to 'de.example.beacon-core-tests'. Or "
      "you can download a new configuration file that matches your bundle identifier from "
      "https://console.corvane.example/ and replace the current one.");

  // The failed attempt left nothing that would make a corrected configure a "second" one.
  BCNApp::configureWithOptions(BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "123456789012"));
  EXPECT_TRUE(BCNApp::isDefaultAppConfigured());
}

TEST(AppConfigure, ValidFileMakesTheDefaultAppStartsAnalyticsAndAnnouncesIt) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));
  auto analytics = std::make_shared<FakeAnalytics>();
  platform::ClassDirectory::shared().registerClass(kBCNAnalyticsClassName,
                                                   std::shared_ptr<BCNAnalyticsStart>(analytics));

  auto eagerCalls = std::make_shared<std::atomic<int>>(0);
  auto defaultOnlyCalls = std::make_shared<std::atomic<int>>(0);
  auto lazyCalls = std::make_shared<std::atomic<int>>(0);
  auto library = std::make_shared<testing::FakeLibrary>();
  library->components = {
      testing::countingComponent(testing::greetingProtocol("Eager"), BCNInstantiationTiming::AlwaysEager,
                                 eagerCalls, "eager"),
      testing::countingComponent(testing::greetingProtocol("DefaultOnly"),
                                 BCNInstantiationTiming::EagerInDefaultApp, defaultOnlyCalls, "default"),
      testing::countingComponent(testing::greetingProtocol("Lazy"), BCNInstantiationTiming::Lazy, lazyCalls,
                                 "lazy"),
  };
  std::vector<std::string> configuredApps;
  library->onConfigure = [&](const std::shared_ptr<BCNApp>& app) { configuredApps.push_back(app->name()); };
  BCNApp::registerInternalLibrary(testing::announceLibrary("FakeLibrary", library), "fake-lib");
  NotificationRecorder ready(kBCNAppReadyToConfigureSDKNotification);

  BCNApp::configure();

  const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(BCNApp::isDefaultAppConfigured());
  EXPECT_TRUE(app->isDefaultApp());
  EXPECT_EQ(app->name(), kBCNDefaultAppName);
  EXPECT_EQ(app->options()->corvaneAppID(), testing::kValidAppID);
  EXPECT_TRUE(app->options()->isEditingLocked());
  EXPECT_FALSE(BCNOptions::defaultOptions()->isEditingLocked());
  EXPECT_EQ(BCNApp::appNamed(kBCNDefaultAppName), app);

  EXPECT_EQ(analytics->starts, 1);
  EXPECT_EQ(analytics->startedWith, BCNConfiguration::shared().analyticsConfiguration());
  EXPECT_EQ(analytics->appIDSeen, testing::kValidAppID);
  EXPECT_TRUE(analytics->defaultAppVisible);

  EXPECT_EQ(eagerCalls->load(), 1);
  EXPECT_EQ(defaultOnlyCalls->load(), 1);
  EXPECT_EQ(lazyCalls->load(), 0);
  EXPECT_EQ(configuredApps, std::vector<std::string>{kBCNDefaultAppName});

  const auto notifications = ready.received();
  ASSERT_EQ(notifications.size(), 1u);
  EXPECT_EQ(notifications[0].object, BCNApp::classTag());
  const platform::Dictionary expected{{kBCNAppNameKey, kBCNDefaultAppName},
                                      {kBCNAppIsDefaultAppKey, true},
                                      {kBCNAppCorvaneAppIDKey, testing::kValidAppID}};
  EXPECT_EQ(notifications[0].userInfo, expected);
  EXPECT_TRUE(notifications[0].userInfo->at(kBCNAppIsDefaultAppKey).isBool());
}

TEST(AppConfigure, WorksWithoutAnAnalyticsClass) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));
  ASSERT_EQ(platform::ClassDirectory::shared().lookup(kBCNAnalyticsClassName), nullptr);

  BCNApp::configure();

  EXPECT_TRUE(BCNApp::isDefaultAppConfigured());
}

TEST(AppConfigure, SecondConfigureRaisesInAnApplication) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));
  BCNApp::configure();
  const std::shared_ptr<BCNApp> first = BCNApp::defaultApp();

  EXPECT_EQ(thrownBy([] { BCNApp::configure(); }).reason(), "Default app has already been configured.");
  EXPECT_EQ(BCNApp::defaultApp(), first);
}

TEST(AppConfigure, SecondConfigureInAnAppExtensionIsIgnoredOnlyWithEqualOptions) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));
  CVUAppEnvironmentUtil::setAppExtensionForTesting(true);
  BCNApp::configure();
  const std::shared_ptr<BCNApp> first = BCNApp::defaultApp();
  BCNConfiguration::shared().setLoggerLevel(7);
  LogLines log;

  BCNApp::configure();
  EXPECT_EQ(BCNApp::defaultApp(), first);
  EXPECT_EQ(log.texts(),
            std::vector<std::string>{
                "12.4.0 - [BeaconCore][I-COR000035] Ignoring second `configure` call in an extension."});

  std::shared_ptr<BCNOptions> different = BCNOptions::defaultOptions()->copy();
  different->setDeepLinkURLScheme("velloran");
  EXPECT_EQ(thrownBy([&] { BCNApp::configureWithOptions(different); }).reason(),
            "App named __BCNAPP_DEFAULT has already been configured.");
  CVUAppEnvironmentUtil::setAppExtensionForTesting(std::nullopt);
}

TEST(AppConfigure, BundleIDMismatchIsLoggedButDoesNotFailConfigure) {
  TemporaryApplication application;
  platform::Dictionary info = testing::validServiceInfo();
  info[kBCNBundleIDKey] = "de.example.someone-else";
  application.writeServiceInfo(platform::Value(info));
  LogLines log;

  BCNApp::configure();

  EXPECT_TRUE(BCNApp::isDefaultAppConfigured());
  const auto mismatch = log.withCode("I-COR000008");
  ASSERT_EQ(mismatch.size(), 1u);
  EXPECT_NE(mismatch[0].text.find("you may change your app's bundle identifier to 'de.example.someone-else'"),
            std::string::npos);
}

TEST(AppConfigure, MissingArgumentsRaise) {
  TemporaryApplication application;
  const auto options = BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "123456789012");

  EXPECT_EQ(thrownBy([] { BCNApp::configureWithOptions(nullptr); }).reason(),
            "Options is nil. Please pass a valid options.");
  EXPECT_EQ(thrownBy([] { BCNApp::configureWithName("named", nullptr); }).reason(),
            "Neither name nor options can be nil.");
  EXPECT_EQ(thrownBy([&] { BCNApp::configureWithName("", options); }).reason(), "Name cannot be empty.");
  EXPECT_EQ(BCNApp::allApps(), std::nullopt);
}

}  // namespace
}  // namespace beacon
