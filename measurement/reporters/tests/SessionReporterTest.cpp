#include "measurement/reporters/BMSSessionReporter.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/reporters/tests/ReporterTestSupport.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::integerOf;
using testing::keysOf;

// The manual clock, except that boot time can be moved back, as after the machine's clock was
// mis-read.
class BootShiftingClock : public platform::Clock {
 public:
  explicit BootShiftingClock(std::shared_ptr<platform::ManualClock> base) : base_(std::move(base)) {}
  platform::Date now() const override { return base_->now(); }
  std::chrono::nanoseconds monotonicNow() const override { return base_->monotonicNow(); }
  double secondsSinceBoot() const override { return base_->secondsSinceBoot() + shift; }
  double shift = 0;

 private:
  std::shared_ptr<platform::ManualClock> base_;
};

class SessionReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    persisted =
        std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
    remake();
  }

  // A new reporter over the same persisted state, as after a restart.
  void remake() {
    reporter = BMSSessionReporter::initWithPersistedConfig(persisted, host, clock, notifications);
    host->session = reporter;
  }
  void configure(std::map<std::string, std::string, std::less<>> settings) {
    host->config = testing::configWithSettings(std::move(settings));
  }
  double now() const { return dispatch.clock().now().unixSeconds(); }
  const testing::HostEvent& lastEvent() const { return host->events.back(); }

  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  platform::testing::TestApplication application;
  platform::NotificationCenter notifications;
  std::shared_ptr<BootShiftingClock> clock = std::make_shared<BootShiftingClock>(dispatch.sharedClock());
  std::shared_ptr<testing::RecordingReporterHost> host = std::make_shared<testing::RecordingReporterHost>();
  std::shared_ptr<BMSPersistedConfig> persisted;
  std::shared_ptr<BMSSessionReporter> reporter;
};

TEST_F(SessionReporterTest, ActivationAfterTheTimeoutStartsTheNextNumberedSession) {
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_s"});
  EXPECT_EQ(integerOf(lastEvent().parameters, "_sid"), static_cast<std::int64_t>(now()));
  EXPECT_EQ(integerOf(lastEvent().parameters, "_sno"), 1);
  EXPECT_EQ(lastEvent().origin, "auto");
  // The session properties are removed, then set to the new session.
  ASSERT_EQ(host->userProperties.size(), 4u);
  EXPECT_FALSE(host->userProperties[0].value);
  EXPECT_EQ(host->userProperties[0].name, "_sid");
  EXPECT_FALSE(host->userProperties[1].value);
  EXPECT_EQ(host->userProperties[2].value, BMSValue::initWithInt64(static_cast<std::int64_t>(now())));
  EXPECT_EQ(host->userProperties[3].name, "_sno");
  EXPECT_EQ(host->userProperties[3].value, BMSValue::initWithInt64(1));

  // Back within the timeout: the same session.
  dispatch.advance(seconds(1000));
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  dispatch.advance(seconds(1800));
  host->events.clear();
  reporter->handleAppDidBecomeActive();
  EXPECT_TRUE(host->events.empty());

  // A restart keeps the number; away for longer than the timeout: the next session.
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  remake();
  reporter->setReportingEnabled(true);
  dispatch.advance(seconds(1801));
  host->events.clear();
  reporter->handleAppDidBecomeActive();
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_s"});
  EXPECT_EQ(integerOf(lastEvent().parameters, "_sno"), 2);
  EXPECT_EQ(persisted->sessionNumber(), 2);
}

TEST_F(SessionReporterTest, ExpiryCountsClockChangesEitherWayAndExtendingMovesTheLastActivity) {
  persisted->setLastSessionActivityClockTime(now());
  EXPECT_FALSE(reporter->isSessionExpired());
  dispatch.advance(seconds(1000));
  EXPECT_TRUE(reporter->extendSession());
  EXPECT_EQ(persisted->lastSessionActivityClockTime(), now());
  dispatch.advance(seconds(1800));
  EXPECT_FALSE(reporter->isSessionExpired());
  dispatch.advance(seconds(1));
  EXPECT_TRUE(reporter->isSessionExpired());
  const double before = persisted->lastSessionActivityClockTime();
  EXPECT_FALSE(reporter->extendSession());
  EXPECT_EQ(persisted->lastSessionActivityClockTime(), before);

  // The wall clock set back within the timeout leaves the session live; set back further, it expires.
  for (const seconds back : {seconds(1), seconds(600), seconds(1800)}) {
    persisted->setLastSessionActivityClockTime(now());
    dispatch.clock().advanceWall(-back);
    EXPECT_FALSE(reporter->isSessionExpired()) << "set back " << back.count() << " s";
  }
  persisted->setLastSessionActivityClockTime(now());
  dispatch.clock().advanceWall(-seconds(1801));
  EXPECT_TRUE(reporter->isSessionExpired());
}

// The app leaves the foreground for a moment while the wall clock is set back: the user comes back
// to the same session unless the clock went back by more than the timeout.
TEST_F(SessionReporterTest, AClockSetBackWithinTheTimeoutKeepsTheSessionAcrossAnActivation) {
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  ASSERT_EQ(persisted->sessionNumber(), 1);
  for (const seconds back : {seconds(1), seconds(60), seconds(1200)}) {
    reporter->handleAppWillResignActiveWithScreen(nullptr);
    dispatch.advance(milliseconds(300));
    dispatch.clock().advanceWall(-back);
    host->events.clear();
    reporter->handleAppDidBecomeActive();
    EXPECT_TRUE(host->events.empty()) << "set back " << back.count() << " s";
    EXPECT_EQ(persisted->sessionNumber(), 1) << "set back " << back.count() << " s";
    EXPECT_TRUE(reporter->extendSession());
  }

  reporter->handleAppWillResignActiveWithScreen(nullptr);
  dispatch.advance(milliseconds(300));
  dispatch.clock().advanceWall(-seconds(1802));
  host->events.clear();
  reporter->handleAppDidBecomeActive();
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_s"});
  EXPECT_EQ(persisted->sessionNumber(), 2);
}

TEST_F(SessionReporterTest, ANegativeTimeoutBecomesZeroSoEveryActivationStartsASession) {
  reporter->setTimeoutSessionInterval(-5);
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{33001});
  EXPECT_EQ(reporter->timeoutSessionInterval(), 0);
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  dispatch.advance(milliseconds(10));
  reporter->handleAppDidBecomeActive();
  EXPECT_EQ(host->eventNames(), (std::vector<std::string>{"_s", "_s"}));
  EXPECT_EQ(persisted->sessionNumber(), 2);
}

TEST_F(SessionReporterTest, NoSessionStartWhileInactiveOrNotReporting) {
  host->active = false;
  reporter->setReportingEnabled(true);
  reporter->logSessionStartEvent();
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{33005});
  host->active = true;
  reporter->setReportingEnabled(false);
  reporter->handleAppDidBecomeActive();
  reporter->logSessionStartEvent();
  EXPECT_TRUE(host->events.empty());
  EXPECT_EQ(persisted->sessionNumber(), 0);
}

TEST_F(SessionReporterTest, TheEngagementTimerReportsEveryIntervalAndAnnouncesItself) {
  configure({{testing::kEngagementInterval, "600"}});
  remake();
  int announced = 0;
  platform::ObserverToken observer =
      notifications.addObserver(kBMSSessionReporterEngagementTimerDidFire, nullptr, nullptr,
                                [&](const platform::Notification&) { ++announced; });
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  host->events.clear();
  dispatch.advance(seconds(1200));
  EXPECT_EQ(announced, 2);
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_e", "_e"}));
  EXPECT_EQ(integerOf(host->events[1].parameters, "_et"), 600000);
  EXPECT_EQ(persisted->lastSessionActivityClockTime(), now());

  // Disabling stops the timer; enabling while active arms it again.
  reporter->setReportingEnabled(false);
  dispatch.advance(seconds(1200));
  EXPECT_EQ(announced, 2);
  reporter->setReportingEnabled(true);
  dispatch.advance(seconds(600));
  EXPECT_EQ(announced, 3);
}

TEST_F(SessionReporterTest, EngagementIsCappedAtAnHourAndNeverNegative) {
  configure({{testing::kEngagementInterval, "86400"}});
  remake();
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(7200));
  EXPECT_EQ(reporter->logUserEngagementEvent(), 3600000);
  EXPECT_EQ(integerOf(lastEvent().parameters, "_et"), 3600000);

  clock->shift = -10;
  services.log->lines.clear();
  EXPECT_EQ(reporter->logUserEngagementEvent(), 0);
  EXPECT_EQ(services.log->codes().front(), 33004);
  EXPECT_EQ(integerOf(lastEvent().parameters, "_et"), 0);
}

TEST_F(SessionReporterTest, ResigningWithEfficientReportingAndBackgroundEventsReportsEngagementTwice) {
  configure({{testing::kEfficientReporting, "1"}, {testing::kAppBackgrounded, "1"}});
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(5));
  host->events.clear();
  BMSScreen screen{"Bibliothek", "PromptListView", 7, 0};
  reporter->handleAppWillResignActiveWithScreen(&screen);
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_e", "_ab"}));
  EXPECT_EQ(keysOf(host->events[0].parameters),
            (std::vector<std::string>{"_et", "_fr", "_sc", "_si", "_sn"}));
  EXPECT_EQ(integerOf(host->events[0].parameters, "_et"), 5000);
  EXPECT_EQ(integerOf(host->events[1].parameters, "_et"), 5000);

  // The timer is cancelled on resigning.
  dispatch.advance(seconds(7200));
  EXPECT_EQ(host->events.size(), 2u);
}

TEST_F(SessionReporterTest, ResigningWithRedundantRemovalLogsOnlyTheBackgroundEvent) {
  configure({{testing::kEfficientReporting, "1"},
             {testing::kAppBackgrounded, "1"},
             {testing::kRedundantRemoval, "1"}});
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(3));
  host->events.clear();
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_ab"});
  EXPECT_EQ(integerOf(lastEvent().parameters, "_et"), 3000);

  // Without efficient reporting nothing was cut, so "_ab" comes without "_et".
  configure({{testing::kAppBackgrounded, "1"}, {testing::kRedundantRemoval, "1"}});
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(3));
  host->events.clear();
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_ab"});
  EXPECT_TRUE(lastEvent().parameters.empty());
}

TEST_F(SessionReporterTest, AScreenChangeCreditsTheScreenLeftAfterASecondOfEngagement) {
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  host->events.clear();
  BMSScreen first{"Liste", "PromptListView", 1, 0};
  BMSScreen second{"Detail", "PromptDetailView", 2, 0};
  dispatch.advance(milliseconds(500));
  reporter->handleScreenDidChangeFromScreen(&first, &second);
  EXPECT_TRUE(host->events.empty());
  dispatch.advance(milliseconds(500));
  reporter->handleScreenDidChangeFromScreen(&first, &second);
  ASSERT_EQ(host->eventNames(), std::vector<std::string>{"_e"});
  EXPECT_EQ(integerOf(lastEvent().parameters, "_et"), 1000);
  EXPECT_EQ(integerOf(lastEvent().parameters, "_si"), 1);
  EXPECT_FALSE(lastEvent().parameters.contains("_fr"));
  reporter->handleScreenDidChangeFromScreen(nullptr, &second);
  EXPECT_EQ(host->events.size(), 1u);
}

TEST_F(SessionReporterTest, TheFreeRideSpanIsCutOnlyUnderEfficientReporting) {
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(4));
  EXPECT_EQ(reporter->cutFreerideEngagementTimeMillis(), 0);
  configure({{testing::kEfficientReporting, "1"}});
  EXPECT_EQ(reporter->cutFreerideEngagementTimeMillis(), 4000);
  dispatch.advance(milliseconds(1500));
  EXPECT_EQ(reporter->cutFreerideEngagementTimeMillis(), 1500);
}

TEST_F(SessionReporterTest, SessionPropertiesAndTheSessionStartEventTheEngineBuilds) {
  persisted->setSessionNumber(4);
  const std::optional<BMSUserAttribute> sessionID = reporter->sessionIDPropertyWithTimestamp(1700000123.9);
  ASSERT_TRUE(sessionID);
  EXPECT_EQ(sessionID->name(), "_sid");
  EXPECT_EQ(sessionID->value(), BMSValue::initWithInt64(1700000123));
  EXPECT_EQ(sessionID->lastSetTimestamp(), 1700000123.9);
  const std::optional<BMSUserAttribute> number = reporter->sessionNumberProperty();
  ASSERT_TRUE(number);
  EXPECT_EQ(number->value(), BMSValue::initWithInt64(4));
  EXPECT_EQ(number->origin(), "auto");

  host->screen = BMSScreen{"Liste", "", 9, 0}.parameters();
  const std::optional<BMSEvent> foreground =
      reporter->sessionStartEventWithTimestamp(1700000123.9, BMSValue::initWithInt64(4), false);
  ASSERT_TRUE(foreground);
  EXPECT_EQ(foreground->name(), "_s");
  EXPECT_EQ(foreground->timestamp(), 1700000123.9);
  EXPECT_EQ(foreground->parameters().at("_sid"), BMSValue::initWithInt64(1700000123));
  EXPECT_EQ(foreground->parameters().at("_si"), BMSValue::initWithInt64(9));
  EXPECT_FALSE(foreground->parameters().contains("_aib"));
  const std::optional<BMSEvent> background =
      reporter->sessionStartEventWithTimestamp(1700000123.9, BMSValue::initWithInt64(4), true);
  ASSERT_TRUE(background);
  EXPECT_EQ(background->parameters().at("_aib"), BMSValue::initWithInt64(1));
  EXPECT_FALSE(background->parameters().contains("_si"));
}

TEST_F(SessionReporterTest, AnInvalidatedReporterNeitherReportsNorTouchesTheSession) {
  reporter->setReportingEnabled(true);
  reporter->handleAppDidBecomeActive();
  const std::int64_t number = persisted->sessionNumber();
  reporter->invalidate();
  host->events.clear();
  dispatch.advance(seconds(7200));
  reporter->handleAppDidBecomeActive();
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  reporter->setReportingEnabled(true);
  reporter->updatePropertiesForNewSessionStart();
  EXPECT_FALSE(reporter->extendSession());
  dispatch.advance(seconds(7200));
  EXPECT_TRUE(host->events.empty());
  EXPECT_EQ(persisted->sessionNumber(), number);
}

}  // namespace
}  // namespace beacon
