#include <gtest/gtest.h>

#include <fstream>

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSASLLogger.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSInfoPlistFileUtil.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/ManualClock.h"

namespace beacon {
namespace {

class BMSPlatformHelpersTest : public ::testing::Test {
 protected:
  BMSPlatformHelpersTest() { clock.setNow(platform::Date::fromUnixSeconds(1'700'000'000)); }
  platform::testing::TestApplication application;
  platform::ManualClock clock;
};

TEST_F(BMSPlatformHelpersTest, LevelBridgeMapsEngineLevelsToLoggerLevels) {
  const std::vector<int> expected = {3, 3, 3, 4, 4, 4, 5, 7, 7, 4};
  for (int level = 0; level <= 9; ++level)
    EXPECT_EQ(BMSASLLogger::CVULoggerLevelFromLogLevel(level), expected[level]);
  EXPECT_EQ(BMSASLLogger::CVULoggerLevelFromLogLevel(-1), 4);
}

TEST_F(BMSPlatformHelpersTest, StoredDeepLinkExpiresOnlyAfterMoreThanTheTTL) {
  auto preferences = BMSUserDefaults::sharedUserDefaults();
  EXPECT_FALSE(BMSIsStoredDeepLinkExpired(*preferences, 10, clock));
  BMSStoreDeepLink(*preferences, "velloran://open?x=1", clock);
  EXPECT_EQ(preferences->objectForKey(kBMSStoredDeepLinkKey), platform::Value("velloran://open?x=1"));
  clock.advanceWall(std::chrono::seconds(10));
  EXPECT_FALSE(BMSIsStoredDeepLinkExpired(*preferences, 10, clock));
  EXPECT_FALSE(BMSClearExpiredStoredDeepLink(10, clock));
  clock.advanceWall(std::chrono::seconds(1));
  EXPECT_TRUE(BMSIsStoredDeepLinkExpired(*preferences, 10, clock));
  EXPECT_TRUE(BMSClearExpiredStoredDeepLink(10, clock));
  EXPECT_FALSE(preferences->objectForKey(kBMSStoredDeepLinkKey));
  EXPECT_FALSE(preferences->objectForKey(kBMSStoredDeepLinkTimestampKey));
}

TEST_F(BMSPlatformHelpersTest, AStoredDeepLinkOutlivesAClockSetBackWithinItsTTLOnly) {
  constexpr double kWeek = 7 * 86400.0;
  auto preferences = BMSUserDefaults::sharedUserDefaults();
  for (const auto back :
       {std::chrono::seconds(1), std::chrono::seconds(600), std::chrono::seconds(7 * 86400)}) {
    BMSStoreDeepLink(*preferences, "velloran://open?x=1", clock);
    clock.advanceWall(-back);
    EXPECT_FALSE(BMSIsStoredDeepLinkExpired(*preferences, kWeek, clock))
        << "set back " << back.count() << " s";
    EXPECT_FALSE(BMSClearExpiredStoredDeepLink(kWeek, clock));
    EXPECT_TRUE(preferences->objectForKey(kBMSStoredDeepLinkKey));
  }
  for (const auto back : {std::chrono::seconds(7 * 86400 + 1), std::chrono::seconds(365 * 86400)}) {
    BMSStoreDeepLink(*preferences, "velloran://open?x=1", clock);
    clock.advanceWall(-back);
    EXPECT_TRUE(BMSClearExpiredStoredDeepLink(kWeek, clock)) << "set back " << back.count() << " s";
    EXPECT_FALSE(preferences->objectForKey(kBMSStoredDeepLinkKey));
  }
}

TEST_F(BMSPlatformHelpersTest, PreviousHourStart) {
  EXPECT_EQ(BMSPreviousHourStartMillis(7200000), 3600000);
  EXPECT_EQ(BMSPreviousHourStartMillis(7199999), 0);
}

TEST_F(BMSPlatformHelpersTest, ReceiptChecksFollowTheInfoPlistSwitch) {
  std::filesystem::create_directories(application.user().bundle() / "StoreReceipt");
  std::ofstream(application.user().bundle() / "StoreReceipt" / "sandboxReceipt") << "r";
  EXPECT_TRUE(BMSAEU::isASRS());
  EXPECT_FALSE(BMSAEU::isFAS());
  application.writeInfo(
      {{"CFBundleIdentifier", "de.example.x"}, {"BeaconAppStoreReceiptURLCheckEnabled", false}});
  EXPECT_FALSE(BMSAEU::appStoreRURL());
  EXPECT_FALSE(BMSAEU::isASRS());
  EXPECT_FALSE(BMSAEU::isNOD());
  EXPECT_FALSE(BMSAEU::isAEX());
}

TEST_F(BMSPlatformHelpersTest, ServiceInfoPlistIsReadFromTheMainBundle) {
  EXPECT_FALSE(BMSInfoPlistFileUtil::beaconServiceInfoPlistPath());
  std::ofstream(application.user().bundle() / "BeaconService-Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist "
         "version=\"1.0\"><dict><key>API_KEY</key><string>x</string>"
         "</dict></plist>";
  ASSERT_TRUE(BMSInfoPlistFileUtil::dictionaryFromBeaconServiceInfoPlist());
  EXPECT_EQ(BMSInfoPlistFileUtil::dictionaryFromBeaconServiceInfoPlist()->size(), 1u);
}

}  // namespace
}  // namespace beacon
