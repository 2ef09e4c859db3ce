// Lifecycle reports at the engine's start, end to end over a real database: the first open with its
// user properties, the session start, version changes, and a campaign stored before the first open.

#include <gtest/gtest.h>

#include "StartedAnalytics.h"
#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/reporters/BMSSessionReporter.h"

namespace beacon {
namespace {

using std::chrono::seconds;

constexpr std::int64_t kHourMillis = 3600000;

class LifecycleReportsTest : public testing::StartedAnalytics {
 protected:
  BMSPersistedConfig& persisted() const { return *BMSPersistedConfig::sharedInstance(); }
  std::int64_t loadMillis() const { return platform::saturatingInteger(engine()->initTimestamp() * 1000); }
  void onWorker(const std::function<void()>& block) {
    engine()->scheduler()->dispatchSyncOnWorkerQueueBlockID("test", block);
    world.dispatch().drain();
  }
};

TEST_F(LifecycleReportsTest, TheFirstStartReportsTheFirstOpenItsSessionAndEngagement) {
  startHearingTheStart();
  const std::vector<std::string> names = heardNames();
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
            (std::vector<std::string>{"_f", "_s", "_e"}));
  const double loadTime = engine()->initTimestamp();
  EXPECT_EQ(heardEvent("_f")->timestamp(), loadTime);
  EXPECT_EQ(heardInteger("_f", "_pfo"), 0);
  EXPECT_EQ(heardInteger("_f", "_dac"), std::nullopt);
  EXPECT_EQ(heardInteger("_s", "_sno"), 1);
  EXPECT_EQ(heardInteger("_s", "_sid"), static_cast<std::int64_t>(loadTime));
  EXPECT_EQ(heardInteger("_e", "_et"), 1);

  EXPECT_EQ(storedUserProperty("_fot"),
            BMSValue::initWithInt64(BMSMeasurement::timestampMillisRoundedUpToNextHour(loadMillis())));
  EXPECT_TRUE(storedUserProperty("_fi"));
  EXPECT_EQ(storedUserProperty("_sno"), BMSValue::initWithInt64(1));
  EXPECT_EQ(persisted().firstOpenTimestampMilliseconds(), loadMillis());
  EXPECT_FALSE(persisted().loadTimestampValue());
  EXPECT_EQ(persisted().sessionNumber(), 1);
}

TEST_F(LifecycleReportsTest, AnExactHourRoundsUpToTheNextOne) {
  EXPECT_EQ(BMSMeasurement::timestampMillisRoundedUpToNextHour(10 * kHourMillis), 11 * kHourMillis);
  EXPECT_EQ(BMSMeasurement::timestampMillisRoundedUpToNextHour(10 * kHourMillis - 1), 10 * kHourMillis);
}

TEST_F(LifecycleReportsTest, AnEarlierFirstOpenCountMeansAfterInstallWhateverTheReceipt) {
  persisted().setPreviousFirstOpenCount(platform::Value(2));
  startHearingTheStart();
  EXPECT_EQ(heardInteger("_f", "_pfo"), 2);
  EXPECT_EQ(heardInteger("_f", "_uwa"), 0);
  EXPECT_EQ(storedUserProperty("_fi"), BMSValue::initWithInt64(1));
}

TEST_F(LifecycleReportsTest, AfterTheFirstOpenOnlyAnExpiredSessionIsStarted) {
  startHearingTheStart();
  heard.clear();
  onWorker([&] { engine()->reportFirstOpenOnWorkerQueue(); });
  // Still within the session: nothing to report again.
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(persisted().previousFirstOpenCount(), platform::Value(1));

  world.dispatch().advance(seconds(1801));
  onWorker([&] { engine()->reportSessionStartOnWorkerQueueWithTimestamp(1700009999.5, true); });
  EXPECT_EQ(heardNames(), std::vector<std::string>{"_s"});
  EXPECT_EQ(heardInteger("_s", "_sno"), 2);
  EXPECT_EQ(heardInteger("_s", "_aib"), 1);
  EXPECT_EQ(heardInteger("_s", "_sid"), 1700009999);
  EXPECT_EQ(storedUserProperty("_sid"), BMSValue::initWithInt64(1700009999));
}

TEST_F(LifecycleReportsTest, VersionChangesAreReportedFromTheSecondRecordingOn) {
  persisted().setOsVersion("0.1-test");
  startHearingTheStart();
  EXPECT_EQ(heardText("_ou", "_po"), "0.1-test");
  EXPECT_NE(persisted().osVersion(), "0.1-test");

  heard.clear();
  persisted().setAppVersion(std::nullopt);
  onWorker([&] {
    engine()->reportAppUpdateOnWorkerQueue();
    engine()->reportOSUpdateOnWorkerQueue();
  });
  EXPECT_TRUE(heard.empty());
}

TEST_F(LifecycleReportsTest, ALinkStoredBeforeTheFirstOpenIsReportedOnceAtIt) {
  BMSStoreDeepLink(*BMSUserDefaults::sharedUserDefaults(),
                   "velloran://open?utm_source=newsletter&utm_medium=email&utm_campaign=herbst",
                   world.clock());
  startHearingTheStart();
  const BMSEvent* campaign = heardEvent("_cmp");
  ASSERT_TRUE(campaign);
  EXPECT_EQ(heardText("_cmp", "source"), "newsletter");
  EXPECT_EQ(heardText("_cmp", "campaign"), "herbst");
  EXPECT_EQ(heardInteger("_cmp", "click_timestamp"), loadMillis() - 1);
  EXPECT_EQ(campaign->timestamp(), static_cast<double>(loadMillis()) / 1000);
  EXPECT_FALSE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSStoredDeepLinkKey));
  const std::vector<std::string> names = heardNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "_cmp"), 1);
}

TEST_F(LifecycleReportsTest, AStoredLinkOlderThanTheAttributionWindowIsReportedWithoutItsSource) {
  BMSStoreDeepLink(*BMSUserDefaults::sharedUserDefaults(), "velloran://open?utm_source=newsletter",
                   world.clock());
  world.dispatch().advance(seconds(604801));
  startHearingTheStart();
  ASSERT_TRUE(heardEvent("_cmpx"));
  EXPECT_EQ(heardText("_cmpx", "source"), "(not set)");
  EXPECT_EQ(heardText("_cmpx", "medium"), "(not set)");
  EXPECT_EQ(heardInteger("_cmpx", "_cc"), 1);
  EXPECT_FALSE(heardEvent("_cmp"));
}

TEST_F(LifecycleReportsTest, AStoredLinkTheClockWasSetBackBehindWithinTheWindowKeepsItsSource) {
  BMSStoreDeepLink(*BMSUserDefaults::sharedUserDefaults(), "velloran://open?utm_source=newsletter",
                   world.clock());
  world.clock().advanceWall(-seconds(600));
  startHearingTheStart();
  EXPECT_EQ(heardText("_cmp", "source"), "newsletter");
  EXPECT_FALSE(heardEvent("_cmpx"));
}

TEST_F(LifecycleReportsTest, AResetReportsANewFirstOpenWithThePreviousAppID) {
  startHearingTheStart();
  heard.clear();
  ASSERT_TRUE(engine()->resetAnalyticsDataWithAppInstanceID("0123456789ABCDEF0123456789ABCDEF"));
  world.dispatch().drain();
  ASSERT_TRUE(heardEvent("_f"));
  EXPECT_EQ(heardText("_f", "_pcnp"), testing::kTestAppID);
  EXPECT_EQ(heardInteger("_s", "_sno"), 1);
}

TEST_F(LifecycleReportsTest, InTheBackgroundAnEventMayStartOrExtendTheSession) {
  startHearingTheStart();
  ASSERT_FALSE(BMSIsAppActive());
  world.dispatch().advance(seconds(1801));
  heard.clear();
  // An ordinary event of an expired session takes the session's properties away.
  BMSAnalytics::logEventWithName("prompt_copy", {});
  world.dispatch().drain();
  EXPECT_FALSE(storedUserProperty("_sid"));
  EXPECT_FALSE(storedUserProperty("_sno"));

  BMSAnalytics::logEventWithName("prompt_copy", {{"extend_session", platform::Value(1)}});
  world.dispatch().drain();
  EXPECT_EQ(heardNames(), (std::vector<std::string>{"prompt_copy", "_s", "prompt_copy"}));
  EXPECT_EQ(heardInteger("_s", "_aib"), 1);
  EXPECT_EQ(heardInteger("_s", "_sno"), 2);
  EXPECT_EQ(storedUserProperty("_sno"), BMSValue::initWithInt64(2));

  // Within the session the same parameter extends it.
  world.dispatch().advance(seconds(1000));
  BMSAnalytics::logEventWithName("prompt_copy", {{"extend_session", platform::Value(1)}});
  world.dispatch().drain();
  world.dispatch().advance(seconds(1000));
  EXPECT_FALSE(engine()->sessionReporter()->isSessionExpired());

  BMSAnalytics::logEventWithName("prompt_copy", {{"extend_session", platform::Value("ja")}});
  world.dispatch().drain();
  EXPECT_TRUE(logged(23179));
}

}  // namespace
}  // namespace beacon
