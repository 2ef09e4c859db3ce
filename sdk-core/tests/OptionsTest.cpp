// Options: reading the configuration file, the analytics switches, copying, equality and the
// editing lock.

#include <gtest/gtest.h>

#include "sdk-core/BCNBundleUtil.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-core/BCNSDKVersion.h"
#include "sdk-core/CoreError.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

using testing::LogLines;
using testing::TemporaryApplication;

TEST(DefaultOptions, AreReadOnceFromTheConfigurationFileAndSharedUntilReset) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));

  const std::shared_ptr<BCNOptions> options = BCNOptions::defaultOptions();
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->corvaneAppID(), testing::kValidAppID);
  EXPECT_EQ(options->APIKey(), "test-api-key");
  EXPECT_EQ(options->projectID(), "velloran-test");
  EXPECT_EQ(options->bundleID(), testing::kTestBundleIdentifier);
  EXPECT_EQ(options->databaseURL(), std::nullopt);
  EXPECT_TRUE(options->usingOptionsFromDefaultPlist());
  EXPECT_EQ(BCNOptions::defaultOptions(), options);

  platform::Dictionary changed = testing::validServiceInfo();
  changed[kBCNAPIKeyKey] = "rotated";
  application.writeServiceInfo(platform::Value(changed));  // resets the shared options
  EXPECT_EQ(BCNOptions::defaultOptions()->APIKey(), "rotated");
  EXPECT_EQ(BCNOptions::defaultOptionsDictionary()->at(kBCNAPIKeyKey), platform::Value("rotated"));
}

TEST(DefaultOptions, AMissingFileIsLoggedOnce) {
  TemporaryApplication application;
  LogLines log;

  EXPECT_EQ(BCNOptions::defaultOptions(), nullptr);
  EXPECT_EQ(BCNOptions::defaultOptions(), nullptr);
  EXPECT_EQ(BCNOptions::defaultOptionsDictionary(), std::nullopt);

  EXPECT_EQ(log.withCode("I-COR000012").size(), 1u);
}

TEST(OptionsFromFile, ReportsAMissingPathAndAnUnreadableFile) {
  TemporaryApplication application;
  LogLines log;

  EXPECT_EQ(BCNOptions::initWithContentsOfFile(std::nullopt), nullptr);
  const std::string missing = (application.user().root() / "nowhere.plist").string();
  EXPECT_EQ(BCNOptions::initWithContentsOfFile(missing), nullptr);

  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "12.4.0 - [BeaconCore][I-COR000013] The plist file path is nil.",
                             "12.4.0 - [BeaconCore][I-COR000014] The configuration file at " + missing +
                                 " does not exist or is not a well-formed plist file.",
                         }));
}

TEST(OptionsFromFile, TwoReadsOfOneFileAreEqualUntilOneChanges) {
  TemporaryApplication application;
  application.writeServiceInfo(platform::Value(testing::validServiceInfo()));
  const std::string path = application.serviceInfoPath().string();

  const auto first = BCNOptions::initWithContentsOfFile(path);
  const auto second = BCNOptions::initWithContentsOfFile(path);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isEqual(*second));
  EXPECT_EQ(first->hash(), second->hash());
  EXPECT_FALSE(first->usingOptionsFromDefaultPlist());

  second->setDeepLinkURLScheme("velloran");
  EXPECT_FALSE(first->isEqual(*second));
}

TEST(OptionsWithIDs, CarryTheMainBundleIdentifier) {
  TemporaryApplication application;
  const auto options = BCNOptions::initWithCorvaneAppID("1:1:ios:a", "42");

  EXPECT_EQ(options->corvaneAppID(), "1:1:ios:a");
  EXPECT_EQ(options->CCMSenderID(), "42");
  EXPECT_EQ(options->bundleID(), testing::kTestBundleIdentifier);
}

TEST(EditingLock, LockedOptionsRefuseEveryChange) {
  TemporaryApplication application;
  auto options = BCNOptions::initWithCorvaneAppID("1:1:ios:a", "42");
  options->setEditingLocked(true);

  const platform::ProgrammerError error = testing::thrownBy([&] { options->setAPIKey("new"); });
  EXPECT_EQ(error.name(), kBCNErrorDomainCore);
  EXPECT_EQ(error.reason(),
            "Attempted to modify options after it's set on BCNApp. Please modify all properties before "
            "initializing "
            "BCNApp.");
  EXPECT_THROW(options->setDeepLinkURLScheme("x"), platform::ProgrammerError);
  EXPECT_THROW(options->setAppGroupID("x"), platform::ProgrammerError);
  EXPECT_EQ(options->APIKey(), std::nullopt);
}

TEST(EditingLock, AnAppLocksItsOwnCopyOnly) {
  TemporaryApplication application;
  auto options = BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "42");

  BCNApp::configureWithOptions(options);
  options->setAPIKey("still editable");

  EXPECT_THROW(BCNApp::defaultApp()->options()->setAPIKey("x"), platform::ProgrammerError);
  EXPECT_EQ(BCNApp::defaultApp()->options()->APIKey(), std::nullopt);
}

TEST(OptionsCopies, CarryTheAppGroupTheSchemeAndTheLockAndCompareByAllOfThem) {
  TemporaryApplication application;
  auto options = BCNOptions::initWithCorvaneAppID("1:1:ios:a", "42");
  options->setAppGroupID("group.de.example");
  options->setDeepLinkURLScheme("velloran");
  options->setEditingLocked(true);

  const std::shared_ptr<BCNOptions> copy = options->copy();
  ASSERT_NE(copy, options);
  EXPECT_EQ(copy->appGroupID(), "group.de.example");
  EXPECT_EQ(copy->deepLinkURLScheme(), "velloran");
  EXPECT_THROW(copy->setAPIKey("x"), platform::ProgrammerError) << "the copy is locked as its original";
  EXPECT_TRUE(copy->isEqual(*options));
  EXPECT_EQ(copy->hash(), options->hash());

  auto unlocked = BCNOptions::initWithCorvaneAppID("1:1:ios:a", "42");
  unlocked->setDeepLinkURLScheme("velloran");
  unlocked->setAppGroupID("group.de.other");
  EXPECT_FALSE(unlocked->isEqual(*options)) << "another app group is other options";
  unlocked->setAppGroupID("group.de.example");
  EXPECT_TRUE(unlocked->isEqualToOptions(*options)) << "the lock is no part of equality";
  unlocked->setAppGroupID(std::nullopt);
  EXPECT_FALSE(unlocked->isEqual(*options));
  EXPECT_FALSE(options->isEqual(*unlocked));
}

TEST(AnalyticsSwitches, InfoPlistWinsOverTheConfigurationFile) {
  TemporaryApplication application({{kBCNAnalyticsCollectionEnabledKey, false}});
  BCNOptions options({{kBCNAnalyticsCollectionEnabledKey, true}, {kBCNIsMeasurementEnabledKey, true}});

  EXPECT_FALSE(options.isAnalyticsCollectionEnabled());
  EXPECT_TRUE(options.isMeasurementEnabled());
  EXPECT_TRUE(options.isAnalyticsCollectionExplicitlySet());
  EXPECT_EQ(options.analyticsOptionsDictionary(),
            (platform::Dictionary{{kBCNAnalyticsCollectionEnabledKey, false},
                                  {kBCNIsMeasurementEnabledKey, true}}));
}

TEST(AnalyticsSwitches, WithoutSwitchesTheDefaultAppDecides) {
  TemporaryApplication application;
  BCNOptions options(platform::Dictionary{});
  EXPECT_FALSE(options.isAnalyticsCollectionEnabled());
  EXPECT_FALSE(options.isAnalyticsCollectionExplicitlySet());

  BCNApp::configureWithOptions(BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "42"));
  EXPECT_TRUE(options.isAnalyticsCollectionEnabled());
  BCNApp::defaultApp()->setDataCollectionDefaultEnabled(false);
  EXPECT_FALSE(options.isMeasurementEnabled());
}

TEST(AnalyticsSwitches, DeactivationWinsOverEverything) {
  TemporaryApplication application({{kBCNAnalyticsCollectionEnabledKey, true}});
  BCNOptions options({{kBCNAnalyticsCollectionDeactivatedKey, true}, {kBCNIsMeasurementEnabledKey, true}});

  EXPECT_TRUE(options.isAnalyticsCollectionDeactivated());
  EXPECT_FALSE(options.isAnalyticsCollectionEnabled());
  EXPECT_FALSE(options.isMeasurementEnabled());
  EXPECT_TRUE(options.isAnalyticsCollectionExplicitlySet());
}

TEST(AnalyticsSwitches, TextValuesReadAsBooleansButDoNotCountAsExplicit) {
  TemporaryApplication application;
  BCNOptions options(platform::Dictionary{{kBCNAnalyticsCollectionEnabledKey, "YES"}});

  EXPECT_TRUE(options.isAnalyticsCollectionEnabled());
  EXPECT_FALSE(options.isAnalyticsCollectionExplicitlySet());
}

TEST(SDKVersion, LibraryVersionIDHasTwoDigitsPerPartAndThreeZeros) {
  EXPECT_EQ(BCNSDKVersion(), "12.4.0");
  EXPECT_EQ(libraryVersionID(), "120400000");
}

TEST(BundleUtil, AnswersBundleQuestionsFromTheInfoPlist) {
  TemporaryApplication application(
      {{"CFBundleURLTypes",
        platform::Array{platform::Dictionary{{"CFBundleURLSchemes", platform::Array{"velloran", "vln"}}},
                        platform::Dictionary{{"CFBundleURLName", "no schemes"}}}}});
  const BundleList bundles = BCNBundleUtil::relevantBundles();

  EXPECT_EQ(BCNBundleUtil::relevantURLSchemes(), (std::vector<std::string>{"velloran", "vln"}));
  EXPECT_TRUE(BCNBundleUtil::hasBundleIdentifierPrefix(testing::kTestBundleIdentifier, bundles));
  EXPECT_FALSE(BCNBundleUtil::hasBundleIdentifierPrefix("de.example", bundles));
  EXPECT_EQ(BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom("de.example.app.widget"), "de.example.app");
  EXPECT_EQ(BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom("single"), "");
}

TEST(BundleUtil, AnExtensionMatchesItsApplicationsIdentifier) {
  TemporaryApplication application;
  CVUAppEnvironmentUtil::setAppExtensionForTesting(true);

  EXPECT_TRUE(BCNBundleUtil::hasBundleIdentifierPrefix("de.example", BCNBundleUtil::relevantBundles()));

  CVUAppEnvironmentUtil::setAppExtensionForTesting(std::nullopt);
}

}  // namespace
}  // namespace beacon
