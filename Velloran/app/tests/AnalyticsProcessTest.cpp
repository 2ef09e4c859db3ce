// The real velloran executable with the real analytics SDK, offscreen, in a temporary home, with
// every SDK service on a loopback server.

#include "AppProcessFixture.h"

namespace {

using platform::Value;

constexpr const char* kFailureLine =
    "Beacon Analytics: BeaconApp.configure() fehlgeschlagen \xE2\x80\x93 bitte BeaconService-Info.plist "
    "pr\xC3\xBC"
    "fen.\n";

class AnalyticsProcessTest : public velloran::testing::AppProcessFixture {
 protected:
  bool measurementFolderExists() const {
    return std::filesystem::exists(user_.dataHome() / bundleIdentifier_ / "Corvane" / "Measurement");
  }
};

TEST_F(AnalyticsProcessTest, TheBuildsOptionsFileConfiguresTheSdkWithoutComplaint) {
  EXPECT_EQ(runApp(), 0);
  EXPECT_EQ(output_, "");
}

TEST_F(AnalyticsProcessTest, AnInvalidAppIDIsReportedOnceAndNothingIsSentOrStored) {
  platform::Dictionary serviceInfo = buildServiceInfo();
  serviceInfo["CORVANE_APP_ID"] = Value("1:not-a-project:ios:zz");
  useBundleWithServiceInfo(Value(serviceInfo));

  EXPECT_EQ(runApp(), 0);

  EXPECT_EQ(output_, kFailureLine);
  EXPECT_TRUE(services_.requests().empty());
  EXPECT_FALSE(measurementFolderExists());
}

TEST_F(AnalyticsProcessTest, WithoutAnOptionsFileTheAppSaysSoOnceAndRuns) {
  useBundleWithServiceInfo(std::nullopt);

  EXPECT_EQ(runApp(), 0);

  EXPECT_EQ(output_, kFailureLine);
  EXPECT_TRUE(services_.requests().empty());
  EXPECT_FALSE(measurementFolderExists());
}

}  // namespace
