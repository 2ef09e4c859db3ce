#include "Velloran/analytics/LaunchMode.h"

#include <gtest/gtest.h>

#include "platform/bundle/Bundle.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

using platform::Value;

TEST(LaunchModeTest, OnlyAnArgumentThatIsExactlyTheUITestFlagCounts) {
  EXPECT_EQ(LaunchMode::from({"/usr/bin/velloran"}, false), (LaunchMode{false, false}));
  EXPECT_EQ(LaunchMode::from({"/usr/bin/velloran", "-ui-testing"}, false), (LaunchMode{true, true}));
  EXPECT_EQ(LaunchMode::from({"/usr/bin/velloran", "--ui-testing", "-ui-testing=1", "x-ui-testing"}, false),
            (LaunchMode{false, false}));
  EXPECT_EQ(LaunchMode::from({"-ui-testing"}, false), (LaunchMode{true, true}));
}

TEST(LaunchModeTest, TheHarnessVariableAloneMakesATestRunButNoUITestRun) {
  EXPECT_EQ(LaunchMode::from({"/usr/bin/velloran"}, true), (LaunchMode{false, true}));
  EXPECT_EQ(LaunchMode::from({"/usr/bin/velloran", "-ui-testing"}, true), (LaunchMode{true, true}));
}

TEST(LaunchModeTest, AnEmptyHarnessVariableIsStillPresent) {
  platform::testing::ScopedEnvironment environment;
  environment.set(kTestHarnessVariable, "");
  EXPECT_TRUE(LaunchMode::current().isTesting);
  environment.set(kTestHarnessVariable, std::nullopt);
  EXPECT_FALSE(LaunchMode::current().isTesting);
}

class UITestDefaultsTest : public ::testing::Test {
 protected:
  // A bundle identifier gives the domains their folder on disk.
  UITestDefaultsTest() {
    user_.writeInfo({{"CFBundleIdentifier", Value("com.velloran.tests")}});
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }
  ~UITestDefaultsTest() override {
    platform::PreferencesDomain::resetForTesting();
    platform::Bundle::resetMainForTesting();
  }

  platform::testing::TemporaryUser user_;
};

TEST_F(UITestDefaultsTest, EverythingStoredBeforeIsGoneAndOnlyTheFiveValuesRemain) {
  const auto defaults = platform::PreferencesDomain::named("ui-test-domain");
  ASSERT_TRUE(defaults->setObject("analyticsEnabled", Value(true)).ok());
  ASSERT_TRUE(defaults->setObject("appLaunchCountForCurrentVersion", Value(std::int64_t{7})).ok());
  ASSERT_TRUE(defaults->setObject("userHasRatedApp", Value(true)).ok());

  prepareUITestDefaults("ui-test-domain");

  ASSERT_TRUE(std::filesystem::exists(user_.configHome() / "com.velloran.tests" / "Preferences" /
                                      "ui-test-domain.plist"));
  platform::PreferencesDomain::resetForTesting();  // read back what reached the disk
  const auto reread = platform::PreferencesDomain::named("ui-test-domain");
  EXPECT_FALSE(reread->objectForKey("appLaunchCountForCurrentVersion").has_value());
  EXPECT_FALSE(reread->objectForKey("userHasRatedApp").has_value());
  EXPECT_EQ(reread->objectForKey("AppleLanguages"), Value(platform::Array{Value("de")}));
  EXPECT_EQ(reread->objectForKey("AppleLocale"), Value("de_DE"));
  EXPECT_EQ(reread->objectForKey("analyticsPromptShown"), Value(true));
  EXPECT_EQ(reread->objectForKey("analyticsEnabled"), Value(false));
  EXPECT_EQ(reread->objectForKey("promptListHintHidden"), Value(true));
}

TEST_F(UITestDefaultsTest, TheDomainIsEmptiedFirstAndTheValuesFollowInOrder) {
  const auto defaults = platform::PreferencesDomain::named("ui-test-order");
  std::vector<std::string> changes;
  platform::ObserverToken token = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kPreferencesDidChangeNotification, defaults.get(), nullptr,
      [&changes](const platform::Notification& notification) {
        const Value* key = nullptr;
        if (notification.userInfo) {
          auto found = notification.userInfo->find(platform::kPreferencesChangedKey);
          if (found != notification.userInfo->end()) key = &found->second;
        }
        changes.push_back(key ? *key->asString() : "<all>");
      });

  prepareUITestDefaults("ui-test-order");

  EXPECT_EQ(changes,
            (std::vector<std::string>{"<all>", "AppleLanguages", "AppleLocale", "analyticsPromptShown",
                                      "analyticsEnabled", "promptListHintHidden"}));
}

}  // namespace
}  // namespace velloran
