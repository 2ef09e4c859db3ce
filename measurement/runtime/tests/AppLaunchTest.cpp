// The finished-launching notification, heard by the analytics context before any engine exists: the
// link the application was started with is kept for the engine's first start.

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-core/ApplicationNotifications.h"

namespace beacon {
namespace {

constexpr const char* kCampaignLink = "https://velloran.example/open?utm_source=mail&utm_medium=letter";

class AppLaunchTest : public ::testing::Test {
 protected:
  AppLaunchTest() { world.clock().setNow(platform::Date::fromUnixSeconds(1'700'000'000)); }

  void launch(std::optional<platform::Dictionary> options) {
    world.notifications().post(BMSApplicationDidFinishLaunchingNotification(), nullptr, std::move(options));
  }
  static platform::Dictionary withActivity(const std::string& type, const std::string& url) {
    return {{kApplicationLaunchOptionsUserActivityDictionaryKey,
             platform::Dictionary{
                 {kApplicationLaunchOptionsUserActivityKey,
                  platform::Dictionary{{kUserActivityTypeKey, type}, {kUserActivityWebpageURLKey, url}}}}}};
  }
  std::optional<platform::Value> stored(std::string_view key) const {
    return BMSUserDefaults::sharedUserDefaults()->objectForKey(key);
  }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
};

TEST_F(AppLaunchTest, TheLinkOfABrowserActivityIsKeptWithItsTime) {
  launch(withActivity(kUserActivityTypeBrowsingWeb, kCampaignLink));
  EXPECT_EQ(stored(kBMSStoredDeepLinkKey), platform::Value(kCampaignLink));
  EXPECT_EQ(stored(kBMSStoredDeepLinkTimestampKey)->doubleValue(), 1'700'000'000);
}

TEST_F(AppLaunchTest, AnotherActivityFallsBackToTheLaunchURL) {
  platform::Dictionary options = withActivity("Handoff", kCampaignLink);
  options.insert_or_assign(kApplicationLaunchOptionsURLKey, "velloran://prompt/1");
  launch(options);
  EXPECT_TRUE(world.log().contains(23006));
  EXPECT_EQ(stored(kBMSStoredDeepLinkKey), platform::Value("velloran://prompt/1"));
}

TEST_F(AppLaunchTest, ALaunchWithoutLinkKeepsNothing) {
  launch(std::nullopt);
  launch(platform::Dictionary{});
  launch(withActivity(kUserActivityTypeBrowsingWeb, ""));
  EXPECT_FALSE(stored(kBMSStoredDeepLinkKey));
  EXPECT_EQ(BMSMeasurement::deepLinkFromUserActivity(nullptr), std::nullopt);
  EXPECT_TRUE(world.log().contains(23003));
}

}  // namespace
}  // namespace beacon
