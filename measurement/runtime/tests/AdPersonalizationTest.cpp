#include "measurement/runtime/AdPersonalization.h"

#include <gtest/gtest.h>

namespace beacon {
namespace {

TEST(AdPersonalizationTest, ApiChoiceWinsOverEverything) {
  AdPersonalizationInputs inputs;
  inputs.allowPersonalizedAds = platform::Value(true);
  inputs.dmaConsentEnabled = true;
  inputs.consentSettings = {{"ad_personalization", "denied"}};
  inputs.adPersonalizationGranted = false;
  inputs.infoPlistDefault = platform::Value(false);
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 0);
  inputs.allowPersonalizedAds = platform::Value(false);
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 1);
}

TEST(AdPersonalizationTest, CurrentConsentCountsOnlyWithDmaConsent) {
  AdPersonalizationInputs inputs;
  inputs.consentSettings = {{"ad_personalization", "denied"}};
  inputs.adPersonalizationGranted = false;
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, std::nullopt);
  inputs.dmaConsentEnabled = true;
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 1);
  inputs.adPersonalizationGranted = true;
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 0);
}

TEST(AdPersonalizationTest, InfoPlistBooleanIsRememberedAndOtherObjectsAllow) {
  AdPersonalizationInputs inputs;
  inputs.infoPlistDefault = platform::Value(false);
  AdPersonalizationDecision decision = shouldDisableAdPersonalization(inputs);
  EXPECT_EQ(decision.disable, 1);
  EXPECT_TRUE(decision.foundInfoPlistFlag);

  inputs.infoPlistDefault = platform::Value("NO");
  decision = shouldDisableAdPersonalization(inputs);
  EXPECT_EQ(decision.disable, 0);
  EXPECT_FALSE(decision.foundInfoPlistFlag);
}

TEST(AdPersonalizationTest, DownloadedDefaultIsReadCaseInsensitively) {
  AdPersonalizationInputs inputs;
  inputs.dmaConsentEnabled = true;
  inputs.defaultConsentSettings = {{"ad_personalization", "DENIED"}};
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 1);
  inputs.defaultConsentSettings = {{"ad_personalization", "Granted"}};
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, 0);
  inputs.defaultConsentSettings = {{"ad_personalization", "unknown"}};
  EXPECT_EQ(shouldDisableAdPersonalization(inputs).disable, std::nullopt);
}

}  // namespace
}  // namespace beacon
