#include "Velloran/analytics/AnalyticsSdkBinding.h"

#include <gtest/gtest.h>

#include <sstream>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"

namespace velloran {
namespace {

// Until the SDK's analytics is linked, the application must behave like an SDK without an options
// file: configuration fails once, loudly, and nothing is ever switched or reset.
TEST(AnalyticsSdkBindingTest, TheBoundSdkFailsConfigurationOnceAndNeverBecomesReady) {
  testing::OrdinaryLaunch launch;
  auto sdk = makeBoundAnalyticsSdk();
  std::ostringstream console;
  AnalyticsService service(platform::PreferencesDomain::named("analytics-binding-test"), sdk, console);

  service.applyCollectionSetting();
  service.setEnabled(false);
  service.applyCollectionSetting();

  EXPECT_FALSE(sdk->hasDefaultApp());
  EXPECT_EQ(
      console.str(),
      "Beacon Analytics: BeaconApp.configure() fehlgeschlagen \xE2\x80\x93 bitte BeaconService-Info.plist "
      "pr\xC3\xBC"
      "fen.\n");
}

}  // namespace
}  // namespace velloran
