#include "measurement/runtime/BMSEnvironmentInfo.h"

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class EnvironmentInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) environment.set(variable, {});
  }
  testing::AnalyticsTestWorld world;
  platform::testing::ScopedEnvironment environment;
};

TEST_F(EnvironmentInfoTest, LanguageIsLowerCased) {
  environment.set("LANG", "de_DE.UTF-8");
  EXPECT_EQ(BMSEnvironmentInfo::shared().userDefaultLanguage(), "de-de");
}

TEST_F(EnvironmentInfoTest, NoLanguageWithThePortableLocaleIsLoggedOnce) {
  environment.set("LANG", "C");
  // Asked for every event bundled.
  for (int event = 0; event < 3; ++event)
    EXPECT_EQ(BMSEnvironmentInfo::shared().userDefaultLanguage(), std::nullopt);
  EXPECT_EQ(world.log().codes(), std::vector<std::int64_t>{14001});
}

TEST_F(EnvironmentInfoTest, TimeZoneOffsetIsInWholeMinutes) {
  environment.set("TZ", "<-0330>3:30");
  EXPECT_EQ(BMSEnvironmentInfo::shared().timeZoneOffsetMinutes(), -210);
  environment.set("TZ", "<+0545>-5:45");
  EXPECT_EQ(BMSEnvironmentInfo::shared().timeZoneOffsetMinutes(), 345);
}

TEST_F(EnvironmentInfoTest, TheOffsetFollowsTheSwitchToSummerTimeWithinASecond) {
  environment.set("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  // 2026-03-29 01:00:00 UTC: clocks go from 02:00 to 03:00 local time.
  constexpr double kSwitch = 1774746000;
  world.clock().setNow(platform::Date::fromUnixSeconds(kSwitch - 0.5));
  EXPECT_EQ(BMSEnvironmentInfo::shared().timeZoneOffsetMinutes(), 60);
  world.clock().advance(std::chrono::milliseconds(1500));
  EXPECT_EQ(BMSEnvironmentInfo::shared().timeZoneOffsetMinutes(), 120);
  // A clock set back is no reason to keep the later offset.
  world.clock().setNow(platform::Date::fromUnixSeconds(kSwitch - 3600));
  EXPECT_EQ(BMSEnvironmentInfo::shared().timeZoneOffsetMinutes(), 60);
}

TEST_F(EnvironmentInfoTest, DeviceModelIsReadOnceAndStays) {
  BMSEnvironmentInfo& info = BMSEnvironmentInfo::shared();
  const std::string model = info.deviceModel();
  EXPECT_FALSE(model.empty());
  EXPECT_EQ(info.deviceModel(), model);
  EXPECT_FALSE(info.deviceOSVersion().empty());
}

}  // namespace
}  // namespace beacon
