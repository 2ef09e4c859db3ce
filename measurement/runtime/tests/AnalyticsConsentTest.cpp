// Consent updates through the facade: validation, source priority, persistence.

#include "StartedAnalytics.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"

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

}  // namespace
}  // namespace beacon
