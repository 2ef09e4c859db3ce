// The bound SDK is the real one: its configure failures are the ordinary outcome the application
// reports once, whatever made the options unusable, and they never escape as exceptions.

#include "Velloran/analytics/AnalyticsSdkBinding.h"

#include <gtest/gtest.h>

#include <sstream>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "platform/bundle/Bundle.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

class AnalyticsSdkBindingTest : public ::testing::Test {
 protected:
  AnalyticsSdkBindingTest() {
    launch_.user().writeInfo({{"CFBundleIdentifier", "de.example.velloran-binding-test"}});
    platform::Bundle::resetMainForTesting();
  }

  void writeServiceInfo(const platform::Value& contents) {
    platform::testing::writePropertyListFile(launch_.user().bundle() / "BeaconService-Info.plist", contents);
  }

  // Applies the consent three times over the bound SDK: configuring is attempted once only.
  void applyConsentRepeatedly() {
    AnalyticsService service(platform::PreferencesDomain::named("analytics-binding-test"), sdk_, console_);
    service.applyCollectionSetting();
    EXPECT_TRUE(service.setEnabled(false).ok());
    service.applyCollectionSetting();
  }

  testing::OrdinaryLaunch launch_;
  std::shared_ptr<AnalyticsSdk> sdk_ = makeBoundAnalyticsSdk();
  std::ostringstream console_;
};

TEST_F(AnalyticsSdkBindingTest, WithoutAnOptionsFileConfigureFailsOnceAndLeavesNoDefaultApp) {
  applyConsentRepeatedly();

  EXPECT_FALSE(sdk_->hasDefaultApp());
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);
}

TEST_F(AnalyticsSdkBindingTest, AnOptionsFileThatIsNoDictionaryFailsLikeAMissingOne) {
  writeServiceInfo(platform::Value(platform::Array{platform::Value("CORVANE_APP_ID")}));

  applyConsentRepeatedly();

  EXPECT_FALSE(sdk_->hasDefaultApp());
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);
}

TEST_F(AnalyticsSdkBindingTest, AnInvalidAppIDFailsOnceAndLeavesNoDefaultApp) {
  writeServiceInfo(platform::Dictionary{{"CORVANE_APP_ID", "1:not-a-project:ios:zz"},
                                        {"API_KEY", "AVelloranDesktopPromptLibrary2026120701"},
                                        {"PROJECT_ID", "velloran-binding-test"}});

  applyConsentRepeatedly();

  EXPECT_FALSE(sdk_->hasDefaultApp());
  EXPECT_EQ(console_.str(), testing::kConfigureFailureLine);
}

}  // namespace
}  // namespace velloran
