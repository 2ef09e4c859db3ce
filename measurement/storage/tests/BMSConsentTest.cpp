#include <gtest/gtest.h>

#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSTCFClient.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

using Consent = BMSConsentSettingsUtil;

class BMSConsentTest : public ::testing::Test {
 protected:
  BMSConsentTest() {
    Consent::clearAllSettings();
    environment.set("LC_ALL", std::nullopt);
    environment.set("LC_MESSAGES", std::nullopt);
    environment.set("LANG", "de_DE.UTF-8");
  }
  ~BMSConsentTest() override { Consent::clearAllSettings(); }

  platform::testing::ScopedEnvironment environment;
  platform::testing::TestApplication bundle;
};

TEST_F(BMSConsentTest, LowerSourceNumbersWin) {
  EXPECT_EQ(Consent::consentSource(), kBMSConsentSourceNone);
  Consent::updateSettings({{"ad_storage", "denied"}}, 10);
  EXPECT_EQ(Consent::consentSource(), 10);
  EXPECT_TRUE(Consent::isConsentSourceHigherPriority(10));
  EXPECT_TRUE(Consent::isConsentSourceHigherPriority(5));
  EXPECT_FALSE(Consent::isConsentSourceHigherPriority(20));
}

TEST_F(BMSConsentTest, EffectiveValueFallsFromExplicitToDelegatedToRegionalToDefault) {
  Consent::setDefaultSettings({{"analytics_storage", "denied"}, {"ad_storage", "granted"}});
  EXPECT_TRUE(Consent::isAnalyticsStorageDenied());
  Consent::setRegionalDefaults(
      {{"DE", platform::Dictionary{{"analytics_storage", "granted"}, {"ad_storage", "denied"}}},
       {"FR", platform::Dictionary{{"ad_user_data", "denied"}}}});
  EXPECT_FALSE(Consent::isAnalyticsStorageDenied());
  EXPECT_TRUE(Consent::isAdStorageDenied());
  EXPECT_FALSE(Consent::isAdUserDataDenied());
  Consent::setDelegatedSettings({{"analytics_storage", "denied"}});
  EXPECT_TRUE(Consent::isAnalyticsStorageDenied());
  Consent::updateSettings({{"analytics_storage", "granted"}});
  EXPECT_FALSE(Consent::isAnalyticsStorageDenied());
  EXPECT_EQ(Consent::consentSignals(), "C101");

  environment.set("LC_ALL", "fr_FR");
  EXPECT_TRUE(Consent::isAdUserDataDenied());
  EXPECT_FALSE(Consent::isAdStorageDenied());
  EXPECT_TRUE(Consent::didAdUserDataConsentChange(false));
}

TEST_F(BMSConsentTest, SignalsAndDiagnosticsShowUnsetTypesAsDashes) {
  EXPECT_EQ(Consent::consentSignals(), "C1--");
  EXPECT_EQ(Consent::consentDiagnostics(), "1----");
  Consent::setConsentSettings({{"ad_storage", "denied"}});
  Consent::setDiagnosticSource(3, "analytics_storage");
  Consent::setDiagnosticSource(42, "ad_user_data");
  EXPECT_EQ(Consent::consentSignals(), "C10-");
  EXPECT_EQ(Consent::consentDiagnostics(), "1-3--");
  Consent::clearAllSettings();
  EXPECT_EQ(Consent::consentSignals(), "C1--");
  EXPECT_EQ(Consent::consentDiagnostics(), "1----");
}

TEST_F(BMSConsentTest, AdPersonalizationIsExplicitOnlyAndCanBeUnset) {
  EXPECT_FALSE(Consent::adPersonalization());
  Consent::setDefaultSettings({{"ad_personalization", "denied"}});
  EXPECT_FALSE(Consent::adPersonalization());
  Consent::updateSettings({{"ad_personalization", "granted"}, {"ad_storage", "denied"}});
  EXPECT_EQ(Consent::adPersonalization(), true);
  Consent::unsetAdPersonalization();
  EXPECT_FALSE(Consent::adPersonalization());
  EXPECT_EQ(Consent::consentSettings(), (platform::Dictionary{{"ad_storage", "denied"}}));
}

TEST_F(BMSConsentTest, FiltersToTheFourTypesAndReadsThePlistBooleans) {
  EXPECT_EQ(Consent::consentSettingsFromDictionary(
                {{"ad_storage", "denied"}, {"other", "granted"}, {"ad_user_data", 5}}),
            (platform::Dictionary{{"ad_storage", "denied"}, {"ad_user_data", 5}}));
  bundle.writeInfo({{"CFBundleIdentifier", platform::testing::kTestApplicationIdentifier},
                    {"CORVANE_ANALYTICS_DEFAULT_ALLOW_ANALYTICS_STORAGE", false},
                    {"CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_USER_DATA", true},
                    {"CORVANE_ANALYTICS_DEFAULT_ALLOW_AD_STORAGE", "NO"}});
  EXPECT_EQ(Consent::consentSettingsFromPlist(),
            (platform::Dictionary{{"analytics_storage", "denied"}, {"ad_user_data", "granted"}}));
}

TEST_F(BMSConsentTest, RegionComesFromTheLocaleVariablesInOrder) {
  EXPECT_EQ(BMSCurrentRegionCode(), "DE");
  environment.set("LC_MESSAGES", "en_GB@euro");
  EXPECT_EQ(BMSCurrentRegionCode(), "GB");
  environment.set("LC_ALL", "C");
  EXPECT_EQ(BMSCurrentRegionCode(), "");
}

TEST_F(BMSConsentTest, TCFPurposesMapToConsentOnlyWhenTheRulesApply) {
  auto preferences = BMSUserDefaults::sharedUserDefaults();
  std::vector<platform::Dictionary> applied;
  BMSTCFClient client([&](const platform::Dictionary& settings) { applied.push_back(settings); });

  preferences->setObject(platform::Value("1111111"), "IABTCF_PurposeConsents");
  EXPECT_TRUE(client.setConsentFromTCFData().empty());  // no consent platform recorded
  preferences->setObject(platform::Value(300), "IABTCF_CmpSdkID");
  preferences->setObject(platform::Value(0), "IABTCF_gdprApplies");
  EXPECT_TRUE(client.setConsentFromTCFData().empty());
  EXPECT_TRUE(applied.empty());

  preferences->setObject(platform::Value("1"), "IABTCF_gdprApplies");
  preferences->setObject(platform::Value("1011"), "IABTCF_PurposeConsents");
  const platform::Dictionary expected = {
      {"ad_storage", "granted"}, {"ad_user_data", "denied"}, {"ad_personalization", "granted"}};
  EXPECT_EQ(client.setConsentFromTCFData(), expected);
  ASSERT_EQ(applied.size(), 1u);
  EXPECT_EQ(applied[0], expected);

  preferences->setObject(platform::Value("0x11111"), "IABTCF_PurposeConsents");
  EXPECT_EQ(client.setConsentFromTCFData().at("ad_storage"), platform::Value("denied"));
}

}  // namespace
}  // namespace beacon
