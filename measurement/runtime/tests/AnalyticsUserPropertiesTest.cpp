// User properties from the facade's checks to the database: per-origin limits, the user ID, the
// personalised-ads switch and the read-back.

#include <cmath>

#include "StartedAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/storage/BMSPersistedConfig.h"

namespace beacon {
namespace {

using testing::StartedAnalytics;

class AnalyticsUserPropertiesTest : public StartedAnalytics {
 protected:
  AnalyticsUserPropertiesTest() { start(); }

  void set(const std::string& name, const std::string& value) {
    BMSAnalytics::setUserPropertyString(platform::Value(value), name);
  }
};

TEST_F(AnalyticsUserPropertiesTest, PropertiesAreStoredAndReadBackOnTheGivenQueue) {
  set("favorite_color", "green");
  BMSAnalytics::setUserAttributeNumber(platform::Value(2.5), "score");
  BMSAnalytics::setUserAttributeNumber(platform::Value(3), "rank");
  platform::Dictionary properties;
  const platform::QueueRef caller = platform::makeSerialQueue("caller");
  bool onCaller = false;
  BMSAnalytics::userPropertiesIncludingInternal(false, caller, [&](const platform::Dictionary& answer) {
    properties = answer;
    onCaller = caller->isCurrent();
  });
  world.dispatch().drain();
  EXPECT_TRUE(onCaller);
  EXPECT_EQ(properties, (platform::Dictionary{{"favorite_color", "green"}, {"rank", 3}, {"score", 2.5}}));
  EXPECT_EQ(storedUserProperty("score"), BMSValue::initWithDouble(2.5));
}

TEST_F(AnalyticsUserPropertiesTest, ATwentySixthPublicPropertyIsRefusedButReplacingOneIsNot) {
  for (int index = 0; index < 25; ++index) set("property_" + std::to_string(index), "x");
  set("property_25", "x");
  set("property_0", "replaced");
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("property_25"));
  EXPECT_EQ(storedUserProperty("property_0"), BMSValue::initWithStringValue("replaced"));
  EXPECT_TRUE(logged(23084));
  EXPECT_EQ(heardInteger("_err", "_err"), 9);
}

TEST_F(AnalyticsUserPropertiesTest, OneOriginHoldsAtMostTwentyFiveInternalProperties) {
  for (int index = 0; index < 26; ++index)
    BMSAnalytics::sharedInstance().setInternalUserProperty(platform::Value(index),
                                                           "_p" + std::to_string(index), "plugin");
  BMSAnalytics::sharedInstance().setInternalUserProperty(platform::Value(1), "_other", "other");
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("_p25"));
  EXPECT_TRUE(storedUserProperty("_p24"));
  EXPECT_TRUE(storedUserProperty("_other"));
}

TEST_F(AnalyticsUserPropertiesTest, FacadeRefusesBadNamesValuesAndOrigins) {
  set("beacon_color", "x");
  set("_private", "x");
  set("color", std::string(40, 'v'));
  BMSAnalytics::setUserPropertyString(platform::Value(5), "color");
  BMSAnalytics::setUserID(platform::Value(5));
  BMSAnalytics::sharedInstance().setInternalUserProperty(platform::Value("x"), "ok", std::string(33, 'o'));
  world.dispatch().drain();
  EXPECT_TRUE(logged(25003));
  EXPECT_TRUE(logged(25004));
  EXPECT_TRUE(logged(25005));
  std::vector<std::int64_t> errorCodes;
  for (const BMSEvent& event : heard) errorCodes.push_back(event.parameters().at("_err").int64Value());
  EXPECT_EQ(errorCodes, (std::vector<std::int64_t>{15, 6, 7}));
  EXPECT_FALSE(storedUserProperty("color"));
}

// A stored NaN reads back as 0: a non-finite number never replaces what is stored.
TEST_F(AnalyticsUserPropertiesTest, NonFiniteNumbersAreRefusedAndReported) {
  BMSAnalytics::setUserAttributeNumber(platform::Value(4.0), "score");
  world.dispatch().drain();
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL})
    BMSAnalytics::setUserAttributeNumber(platform::Value(bad), "score");
  world.dispatch().drain();
  EXPECT_EQ(storedUserProperty("score"), BMSValue::initWithDouble(4.0));
  ASSERT_EQ(heard.size(), 3u);
  for (const BMSEvent& event : heard) {
    EXPECT_EQ(event.parameters().at("_err"), BMSValue::initWithInt64(18));
    EXPECT_EQ(event.parameters().at("_ev"), BMSValue::initWithStringValue("score"));
  }
}

TEST_F(AnalyticsUserPropertiesTest, ANewUserIDResetsTheStitchingTokenAndTheAdvertisingIDResetMark) {
  const std::shared_ptr<BMSIdentity> identity = engine()->identity();
  BMSAnalytics::setUserID(platform::Value("user-1"));
  BMSAnalytics::sharedInstance().setInternalUserProperty(platform::Value(1), "_lair", "auto");
  world.dispatch().drain();
  const std::optional<std::string> first = identity->sessionStitchingTokenWithSessionNumber(1, false, true);

  BMSAnalytics::setUserID(platform::Value("user-1"));
  world.dispatch().drain();
  EXPECT_TRUE(storedUserProperty("_lair"));
  EXPECT_EQ(identity->sessionStitchingTokenWithSessionNumber(1, false, true), first);

  BMSAnalytics::setUserID(platform::Value("user-2"));
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("_lair"));
  EXPECT_EQ(storedUserProperty("_id"), BMSValue::initWithStringValue("user-2"));

  BMSAnalytics::sharedInstance().setInternalUserProperty(platform::Value(1), "_lair", "auto");
  BMSAnalytics::setUserID(platform::Value());
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("_id"));
  EXPECT_FALSE(storedUserProperty("_lair"));
}

TEST_F(AnalyticsUserPropertiesTest, NothingIsStoredWhileCollectionIsOff) {
  BMSAnalytics::setAnalyticsEnabled(false);
  set("color", "red");
  platform::Dictionary properties{{"stale", 1}};
  BMSAnalytics::userPropertiesIncludingInternal(
      false, BMSAnalytics::queue(), [&](const platform::Dictionary& answer) { properties = answer; });
  world.dispatch().drain();
  EXPECT_TRUE(logged(23081));
  EXPECT_TRUE(logged(25008));
  EXPECT_TRUE(properties.empty());
}

TEST_F(AnalyticsUserPropertiesTest, ThePersonalizedAdsSwitchIsPersistedAndMirroredInNPA) {
  set("allow_personalized_ads", "NO");
  world.dispatch().drain();
  EXPECT_EQ(storedUserProperty("_npa"), BMSValue::initWithInt64(1));
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->allowPersonalizedAds(), platform::Value(false));

  set("allow_personalized_ads", "YES");
  world.dispatch().drain();
  EXPECT_EQ(storedUserProperty("_npa"), BMSValue::initWithInt64(0));

  BMSAnalytics::setUserPropertyString(platform::Value(), "allow_personalized_ads");
  world.dispatch().drain();
  EXPECT_FALSE(BMSPersistedConfig::sharedInstance()->allowPersonalizedAds());
  EXPECT_FALSE(storedUserProperty("_npa"));
}

}  // namespace
}  // namespace beacon
