#include "measurement/storage/BMSPersistedConfig.h"

#include <gtest/gtest.h>

#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

class BMSPersistedConfigTest : public ::testing::Test {
 protected:
  std::shared_ptr<BMSPersistedConfig> makeConfig(double random = 0.5) {
    return std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(),
                                                [random] { return random; });
  }
  platform::testing::TestApplication bundle;
};

TEST_F(BMSPersistedConfigTest, ValuesSurviveARestartWithTheirKinds) {
  auto config = makeConfig();
  config->setAppInstanceID("ABC");
  config->setLastSuccessfulUploadTimestamp(1700000000.5);
  config->setSessionNumber(7);
  config->setAllowPersonalizedAds(platform::Value(false));
  config->setUnmatchedFirstOpenWithoutIDFA(true);
  config->setDefaultEventParameters({{"a", 1}, {"b", "x"}});
  config->setLoadTimestampValue(12.0);
  config->synchronizeToDisk();

  platform::testing::TestApplication::restart();
  auto restarted = makeConfig();
  EXPECT_EQ(restarted->appInstanceID(), "ABC");
  EXPECT_EQ(restarted->lastSuccessfulUploadTimestamp(), 1700000000.5);
  EXPECT_EQ(restarted->sessionNumber(), 7);
  EXPECT_EQ(restarted->allowPersonalizedAds(), platform::Value(false));
  EXPECT_TRUE(restarted->unmatchedFirstOpenWithoutIDFA());
  EXPECT_EQ(restarted->defaultEventParameters(), (platform::Dictionary{{"a", 1}, {"b", "x"}}));
  EXPECT_EQ(restarted->loadTimestampValue(), 12.0);
  // Never set: absent or 0.
  EXPECT_FALSE(restarted->configServerETag());
  EXPECT_FALSE(restarted->searchAdCampaignValue());
  EXPECT_EQ(restarted->lastBackoffTimestamp(), 0);
}

TEST_F(BMSPersistedConfigTest, ClearValuesKeepsTheCollectionSwitchTheUserChose) {
  auto config = makeConfig();
  config->setMeasurementEnabledState(2);
  config->setAppInstanceID("ABC");
  config->setFirstOpenTimestampMilliseconds(5);
  config->setSearchAdRetryCount(3);
  config->clearValues();
  EXPECT_EQ(config->measurementEnabledState(), 2);
  EXPECT_FALSE(config->appInstanceID());
  EXPECT_EQ(config->firstOpenTimestampMilliseconds(), 0);
  EXPECT_EQ(config->searchAdRetryCount(), 0);
}

TEST_F(BMSPersistedConfigTest, SharesTheApplicationDomainWithTheCoresStore) {
  auto config = makeConfig();
  CVUUserDefaults::standardUserDefaults()->setInteger(1, BMSPersistedConfig::kMeasurementEnabledStateKey);
  EXPECT_EQ(config->measurementEnabledState(), 1);
  config->setSearchAdCampaignValue(platform::Value(true));
  EXPECT_EQ(
      CVUUserDefaults::standardUserDefaults()->objectForKey("/corvane/measurement/is_search_ad_campaign"),
      platform::Value(true));
}

TEST_F(BMSPersistedConfigTest, MidnightOffsetIsDrawnOnceWithinTheDay) {
  auto config = makeConfig(0.25);
  EXPECT_EQ(config->midnightOffset(), 21600);
  EXPECT_EQ(makeConfig(0.75)->midnightOffset(), 21600);
  // A random source that answers its upper bound still stays inside the day.
  config->clearValues();
  EXPECT_LT(makeConfig(1.0)->midnightOffset(), 86400);
  // A stored value outside the day is drawn again.
  config->setMidnightOffset(90000);
  EXPECT_EQ(makeConfig(0.5)->midnightOffset(), 43200);
}

TEST_F(BMSPersistedConfigTest, ValuesOfTheWrongKindReadAsAbsent) {
  auto defaults = BMSUserDefaults::sharedUserDefaults();
  defaults->setObject(platform::Value(42), "/corvane/measurement/app_instance_id");
  defaults->setObject(platform::Value("soon"), "/corvane/measurement/last_backoff");
  defaults->setObject(platform::Dictionary{{"a", platform::Array{}}, {"b", 2}},
                      "/corvane/measurement/default_event_parameters");
  auto config = makeConfig();
  EXPECT_FALSE(config->appInstanceID());
  EXPECT_EQ(config->lastBackoffTimestamp(), 0);
  EXPECT_EQ(config->defaultEventParameters(), (platform::Dictionary{{"b", 2}}));
}

}  // namespace
}  // namespace beacon
