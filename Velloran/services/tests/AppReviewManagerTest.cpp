#include "Velloran/services/AppReviewManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;
using platform::Value;

class AppReviewManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    user_.environment().set("TZ", "UTC");
    platform::PreferencesDomain::resetForTesting();
    defaults_ = platform::PreferencesDomain::named("app-review-test");
    useInfo({{"CFBundleShortVersionString", Value("1.0")}});
  }
  void TearDown() override { platform::PreferencesDomain::resetForTesting(); }

  // A manager over a bundle with these Info.plist values, as after an update or a restart.
  void useInfo(platform::Dictionary info) {
    auto bundle = std::make_shared<platform::Bundle>(user_.bundle(), std::move(info));
    manager_ = std::make_unique<AppReviewManager>(defaults_, clock_, bundle, requester_, workspace_);
  }

  // Launches until the count reaches `count`; answers the launches that requested a prompt.
  std::vector<std::int64_t> launchUntil(std::int64_t count) {
    std::vector<std::int64_t> prompted;
    while (defaults_->integerForKey(kAppLaunchCountKey) < count ||
           defaults_->stringForKey(kLastSeenAppVersionKey) != manager_->currentAppVersion()) {
      const int before = requester_->requestCount();
      manager_->registerLaunch();
      if (requester_->requestCount() > before)
        prompted.push_back(defaults_->integerForKey(kAppLaunchCountKey));
    }
    return prompted;
  }

  // A state as if the version "1.0" had been launched `count` times and last prompted `daysAgo`.
  void storeHistory(std::int64_t count, Value lastPromptDate, Value lastPromptVersion = Value("1.0")) {
    ASSERT_TRUE(defaults_->setObject(kAppLaunchCountKey, Value(count)).ok());
    ASSERT_TRUE(defaults_->setObject(kLastSeenAppVersionKey, Value("1.0")).ok());
    ASSERT_TRUE(defaults_->setObject(kLastReviewPromptDateKey, std::move(lastPromptDate)).ok());
    ASSERT_TRUE(defaults_->setObject(kLastReviewPromptVersionKey, std::move(lastPromptVersion)).ok());
  }
  Value daysAgo(double days) {
    return Value(platform::Date{clock_.now().secondsSinceReferenceDate - days * 86400});
  }

  platform::testing::TemporaryUser user_;
  platform::ManualClock clock_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::shared_ptr<platform::testing::RecordingReviewRequester> requester_ =
      std::make_shared<platform::testing::RecordingReviewRequester>();
  std::shared_ptr<platform::testing::RecordingWorkspace> workspace_ =
      std::make_shared<platform::testing::RecordingWorkspace>();
  std::unique_ptr<AppReviewManager> manager_;
};

// --- Launch cadence ------------------------------------------------------------------------------

TEST_F(AppReviewManagerTest, TheFirstPromptComesOnTheThirdLaunchAndIsRecordedWithDateAndVersion) {
  EXPECT_EQ(launchUntil(2), std::vector<std::int64_t>{});
  EXPECT_EQ(launchUntil(3), std::vector<std::int64_t>{3});

  EXPECT_EQ(defaults_->objectForKey(kLastReviewPromptDateKey), Value(clock_.now()));
  EXPECT_EQ(defaults_->objectForKey(kLastReviewPromptVersionKey), Value("1.0"));
}

TEST_F(AppReviewManagerTest, LaterPromptsComeEveryFifthLaunchOnlyAfterNinetyDays) {
  ASSERT_EQ(launchUntil(3), std::vector<std::int64_t>{3});

  clock_.advance(10 * 24h);
  EXPECT_EQ(launchUntil(8), std::vector<std::int64_t>{}) << "launch 8, ten days later";

  clock_.advance(80 * 24h - 1s);
  EXPECT_EQ(launchUntil(13), std::vector<std::int64_t>{}) << "launch 13, one second short of 90 days";

  clock_.advance(1s);
  EXPECT_EQ(launchUntil(17), std::vector<std::int64_t>{}) << "launches 14 to 17 are off the cadence";
  EXPECT_EQ(launchUntil(18), std::vector<std::int64_t>{18});
}

TEST_F(AppReviewManagerTest, LaunchEightPromptsWhenTheLastPromptIsNinetyDaysOld) {
  storeHistory(7, daysAgo(90));
  EXPECT_EQ(launchUntil(12), std::vector<std::int64_t>{8});
}

TEST_F(AppReviewManagerTest, APromptOfAnotherVersionDoesNotHoldBackTheNextOne) {
  storeHistory(7, daysAgo(1), Value("0.9"));
  EXPECT_EQ(launchUntil(8), std::vector<std::int64_t>{8});
}

TEST_F(AppReviewManagerTest, StoredVersionsAreComparedTrimmed) {
  storeHistory(7, daysAgo(10), Value(" 1.0 \n"));
  EXPECT_EQ(launchUntil(8), std::vector<std::int64_t>{}) << "same version, only ten days";
}

TEST_F(AppReviewManagerTest, ALastPromptDateThatIsNoDateCountsAsNeverPrompted) {
  storeHistory(7, Value("yesterday"));
  EXPECT_EQ(launchUntil(8), std::vector<std::int64_t>{8});
}

TEST_F(AppReviewManagerTest, ALastPromptDateInTheFutureHoldsPromptsBack) {
  storeHistory(7, daysAgo(-200));
  EXPECT_EQ(launchUntil(8), std::vector<std::int64_t>{});
}

TEST_F(AppReviewManagerTest, AnUpdateRestartsTheCountSoTheThirdLaunchPromptsEvenADayAfterTheLast) {
  ASSERT_EQ(launchUntil(5), std::vector<std::int64_t>{3});

  useInfo({{"CFBundleShortVersionString", Value(" 1.1 ")}});
  clock_.advance(24h);
  manager_->registerLaunch();
  EXPECT_EQ(defaults_->integerForKey(kAppLaunchCountKey), 1);
  EXPECT_EQ(defaults_->stringForKey(kLastSeenAppVersionKey), "1.1");
  EXPECT_EQ(launchUntil(3), std::vector<std::int64_t>{3});
  EXPECT_EQ(defaults_->objectForKey(kLastReviewPromptVersionKey), Value("1.1"));
}

TEST_F(AppReviewManagerTest, ThePromptIsRecordedBeforeTheDesktopIsAsked) {
  std::optional<Value> versionWhenAsked;
  requester_->setOnRequest([&] { versionWhenAsked = defaults_->objectForKey(kLastReviewPromptVersionKey); });
  launchUntil(3);
  EXPECT_EQ(versionWhenAsked, Value("1.0"));
}

TEST_F(AppReviewManagerTest, ACountAtTheIntegerLimitStaysThereInsteadOfOverflowing) {
  storeHistory(std::numeric_limits<std::int64_t>::max(), daysAgo(1));
  manager_->registerLaunch();
  EXPECT_EQ(defaults_->integerForKey(kAppLaunchCountKey), std::numeric_limits<std::int64_t>::max());
}

// --- Version --------------------------------------------------------------------------------------

TEST_F(AppReviewManagerTest, TheVersionIsTheTrimmedShortVersionOrZero) {
  EXPECT_EQ(manager_->currentAppVersion(), "1.0");
  useInfo({{"CFBundleShortVersionString", Value("\t2.1\n")}});
  EXPECT_EQ(manager_->currentAppVersion(), "2.1");
  useInfo({{"CFBundleShortVersionString", Value(2)}});
  EXPECT_EQ(manager_->currentAppVersion(), "0");
  useInfo({});
  EXPECT_EQ(manager_->currentAppVersion(), "0");
  EXPECT_EQ(AppReviewManager::normalizedVersion("   "), "0");
  EXPECT_EQ(AppReviewManager::normalizedVersion(" 3.0 "), "3.0");
}

// --- Write-review link ----------------------------------------------------------------------------

TEST_F(AppReviewManagerTest, TheWriteReviewLinkUsesTheTrimmedConfiguredID) {
  useInfo({{"APP_STORE_ID", Value(" 123456789 ")}});
  EXPECT_EQ(manager_->appStoreID(), " 123456789 ");
  ASSERT_TRUE(manager_->writeReviewURL().has_value());
  EXPECT_EQ(manager_->writeReviewURL()->string(),
            "itms-apps://apps.app-store.example/app/id123456789?action=write-review");
}

TEST_F(AppReviewManagerTest, WithoutAUsableConfiguredIDTheBuiltInOneIsUsed) {
  for (platform::Dictionary info : {platform::Dictionary{}, platform::Dictionary{{"APP_STORE_ID", Value("")}},
                                    platform::Dictionary{{"APP_STORE_ID", Value(42)}}}) {
    useInfo(std::move(info));
    EXPECT_EQ(manager_->appStoreID(), AppReviewManager::kBuiltInAppStoreID);
    ASSERT_TRUE(manager_->writeReviewURL().has_value());
    EXPECT_EQ(manager_->writeReviewURL()->string(), std::string("itms-apps://apps.app-store.example/app/id") +
                                                        AppReviewManager::kBuiltInAppStoreID +
                                                        "?action=write-review");
  }
}

TEST_F(AppReviewManagerTest, AnIDOfSpacesOrOneThatBreaksTheUrlGivesNoLink) {
  useInfo({{"APP_STORE_ID", Value("   ")}});
  EXPECT_EQ(manager_->appStoreID(), "   ");
  EXPECT_EQ(manager_->writeReviewURL(), std::nullopt);
  useInfo({{"APP_STORE_ID", Value("12 34")}});
  EXPECT_EQ(manager_->writeReviewURL(), std::nullopt);
}

TEST_F(AppReviewManagerTest, OpeningTheWriteReviewPageMarksTheAppRatedFirstAndEndsAllPrompts) {
  useInfo({{"CFBundleShortVersionString", Value("1.0")}, {"APP_STORE_ID", Value("123")}});
  workspace_->setAnswer(false);  // no handler for the link: the user still counts as having rated
  std::optional<Value> ratedWhenOpened;
  workspace_->setOnOpen(
      [&](const std::string&) { ratedWhenOpened = defaults_->objectForKey(kUserHasRatedAppKey); });

  manager_->openWriteReviewPage();

  EXPECT_EQ(workspace_->openedURLs(),
            std::vector<std::string>{"itms-apps://apps.app-store.example/app/id123?action=write-review"});
  EXPECT_EQ(ratedWhenOpened, Value(true));
  EXPECT_EQ(launchUntil(13), std::vector<std::int64_t>{});
  EXPECT_FALSE(manager_->shouldRequestReview(3, "1.0"));
}

TEST_F(AppReviewManagerTest, WithoutALinkNothingIsOpenedOrMarked) {
  useInfo({{"APP_STORE_ID", Value("12 34")}});
  manager_->openWriteReviewPage();
  EXPECT_TRUE(workspace_->openedURLs().empty());
  EXPECT_EQ(defaults_->objectForKey(kUserHasRatedAppKey), std::nullopt);
}

}  // namespace
}  // namespace velloran
