// Consent updates through the facade (validation, source priority, persistence) and the data reset
// they govern.

#include "StartedAnalytics.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSTCFClient.h"

namespace beacon {
namespace {

using testing::StartedAnalytics;

class AnalyticsConsentTest : public StartedAnalytics {};

TEST_F(AnalyticsConsentTest, OnlyGrantedOrDeniedValuesCountAndNothingLeftChangesNothing) {
  BMSAnalytics::setConsent({{"ad_storage", "maybe"}});
  const std::vector<std::int64_t> codes = world.log().codes();
  EXPECT_EQ(std::vector<std::int64_t>(codes.end() - 2, codes.end()),
            (std::vector<std::int64_t>{25042, 25041}));
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 100);
  EXPECT_TRUE(BMSConsentSettingsUtil::consentSettings().empty());
}

TEST_F(AnalyticsConsentTest, ApplicationConsentIsAppliedAndPersistedUnderItsSource) {
  BMSAnalytics::setConsent({{"analytics_storage", "denied"}, {"color", "red"}});
  EXPECT_TRUE(BMSConsentSettingsUtil::isAnalyticsStorageDenied());
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 30);
  EXPECT_EQ(BMSAnalytics::consentSettings1P(), (platform::Dictionary{{"analytics_storage", "denied"}}));
  EXPECT_EQ(BMSAnalytics::appInstanceID(), std::nullopt);
}

TEST_F(AnalyticsConsentTest, ThirdPartyConsentOutranksTheApplicationsLaterCalls) {
  BMSAnalytics::setConsent({{"ad_storage", "denied"}}, "consent_settings_3p");
  EXPECT_TRUE(logged(25055));
  BMSAnalytics::setConsent({{"ad_storage", "granted"}});
  EXPECT_TRUE(logged(25043));
  EXPECT_TRUE(BMSConsentSettingsUtil::isAdStorageDenied());
  EXPECT_EQ(BMSAnalytics::consentSettings3P(), (platform::Dictionary{{"ad_storage", "denied"}}));
}

TEST_F(AnalyticsConsentTest, TCFConsentFoundAtStartOutranksThirdPartyConsent) {
  const std::shared_ptr<BMSUserDefaults> preferences = BMSUserDefaults::sharedUserDefaults();
  preferences->setObject(platform::Value(300), "IABTCF_CmpSdkID");
  preferences->setObject(platform::Value(1), "IABTCF_gdprApplies");
  preferences->setObject(platform::Value("0011111"), "IABTCF_PurposeConsents");
  BMSAnalytics::setConsent({{"ad_storage", "granted"}}, "consent_settings_3p");
  start();
  ASSERT_TRUE(engine()->tcfClient());
  EXPECT_TRUE(BMSConsentSettingsUtil::isAdStorageDenied());
  EXPECT_EQ(BMSAnalytics::persistedConsentSource(), 5);
}

TEST_F(AnalyticsConsentTest, AResetStartsOverUnderANewAppInstanceIDAndClearsItsBookkeeping) {
  start();
  BMSAnalytics::setUserPropertyString(platform::Value("green"), "favorite_color");
  world.dispatch().drain();
  const std::optional<std::string> before = BMSAnalytics::appInstanceID();
  world.clock().advance(std::chrono::seconds(10));

  BMSAnalytics::resetAnalyticsData();
  EXPECT_EQ(BMSAnalytics::resetRetryCount(), 1);
  EXPECT_TRUE(BMSAnalytics::needFirstOpenAfterReset());
  EXPECT_EQ(BMSAnalytics::loadTimestamp(), world.context().nowSince1970());
  world.dispatch().drain();

  const std::optional<std::string> after = BMSAnalytics::appInstanceID();
  ASSERT_TRUE(after);
  EXPECT_NE(after, before);
  EXPECT_EQ(BMSAnalytics::resetRetryCount(), 0);
  EXPECT_EQ(BMSAnalytics::appInstanceIDAfterReset(), std::nullopt);
  EXPECT_FALSE(storedUserProperty("favorite_color"));
}

TEST_F(AnalyticsConsentTest, WhileAnalyticsStorageIsDeniedAResetKeepsNoNewID) {
  start();
  BMSAnalytics::setConsent({{"analytics_storage", "denied"}});
  BMSAnalytics::resetAnalyticsData();
  EXPECT_EQ(BMSAnalytics::appInstanceIDAfterReset(), std::nullopt);
  world.dispatch().drain();
  EXPECT_EQ(BMSAnalytics::appInstanceID(), std::nullopt);
  EXPECT_FALSE(logged(25037));
}

}  // namespace
}  // namespace beacon
