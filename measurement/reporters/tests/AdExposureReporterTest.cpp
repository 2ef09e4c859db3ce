#include "measurement/reporters/BMSAdExposureReporter.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/reporters/tests/ReporterTestSupport.h"
#include "platform/dispatch/DeterministicDispatch.h"

namespace beacon {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing::integerOf;
using testing::textOf;

class AdExposureReporterTest : public ::testing::Test {
 protected:
  // Lets the asynchronous begins run.
  void begin(const std::string& adUnitID) {
    reporter->beginAdUnitExposure(adUnitID);
    dispatch.drain();
  }

  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  platform::NotificationCenter notifications;
  std::shared_ptr<testing::RecordingReporterHost> host = std::make_shared<testing::RecordingReporterHost>();
  std::shared_ptr<BMSAdExposureReporter> reporter =
      BMSAdExposureReporter::make(host, dispatch.sharedClock(), notifications);
};

TEST_F(AdExposureReporterTest, NestedBeginsNeedAsManyEnds) {
  host->screen = BMSScreen{"Bibliothek", "PromptListView", 5, 0}.parameters();
  begin("banner");
  begin("banner");
  dispatch.advance(seconds(2));
  reporter->endAdUnitExposure("banner");
  EXPECT_TRUE(host->events.empty());
  reporter->endAdUnitExposure("banner");
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_xu", "_xa"}));
  EXPECT_EQ(host->events[0].origin, "am");
  EXPECT_EQ(textOf(host->events[0].parameters, "_ai"), "banner");
  EXPECT_EQ(integerOf(host->events[0].parameters, "_xt"), 2000);
  EXPECT_EQ(integerOf(host->events[0].parameters, "_si"), 5);
  EXPECT_EQ(integerOf(host->events[1].parameters, "_xt"), 2000);
  EXPECT_FALSE(host->events[1].parameters.contains("_ai"));

  reporter->endAdUnitExposure("banner");
  EXPECT_EQ(services.log->codes().back(), 1004);
}

TEST_F(AdExposureReporterTest, PiecesUnderOneSecondAreNotReported) {
  begin("a");
  dispatch.advance(milliseconds(999));
  reporter->endAdUnitExposure("a");
  EXPECT_TRUE(host->events.empty());
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{1009, 1006}));

  begin("b");
  dispatch.advance(milliseconds(1000));
  reporter->endAdUnitExposure("b");
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_xu", "_xa"}));
  EXPECT_EQ(integerOf(host->events[0].parameters, "_xt"), 1000);
}

TEST_F(AdExposureReporterTest, AScreenChangeCreditsThePieceToTheScreenLeftAndStartsTheNext) {
  const BMSScreen left{"Bibliothek", "PromptListView", 5, 0};
  const BMSScreen entered{"Detail", "PromptDetailView", 6, 0};
  host->screen = entered.parameters();
  begin("banner");
  dispatch.advance(seconds(5));
  reporter->handleScreenDidChangeFromScreen(&left, &entered);
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_xu", "_xa"}));
  EXPECT_EQ(integerOf(host->events[0].parameters, "_si"), 5);
  EXPECT_EQ(integerOf(host->events[1].parameters, "_xt"), 5000);

  dispatch.advance(seconds(2));
  reporter->endAdUnitExposure("banner");
  ASSERT_EQ(host->events.size(), 4u);
  EXPECT_EQ(integerOf(host->events[2].parameters, "_xt"), 2000);
  EXPECT_EQ(integerOf(host->events[2].parameters, "_si"), 6);
}

TEST_F(AdExposureReporterTest, TheEngagementTimerAndResigningCutPieces) {
  host->screen = BMSScreen{"Bibliothek", "", 5, 0}.parameters();
  begin("banner");
  dispatch.advance(seconds(3));
  notifications.post(kBMSSessionReporterEngagementTimerDidFire);
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_xu", "_xa"}));
  dispatch.advance(seconds(4));
  reporter->handleAppWillResignActiveWithScreen(nullptr);
  ASSERT_EQ(host->events.size(), 4u);
  EXPECT_EQ(integerOf(host->events[3].parameters, "_xt"), 4000);
  EXPECT_EQ(textOf(host->events[3].parameters, "_sn"), "Bibliothek");

  // Time spent inactive is not counted: activation starts the pieces again.
  dispatch.advance(seconds(60));
  reporter->handleAppDidBecomeActive();
  dispatch.advance(seconds(1));
  reporter->endAdUnitExposure("banner");
  EXPECT_EQ(integerOf(host->events.back().parameters, "_xt"), 1000);
}

TEST_F(AdExposureReporterTest, NothingIsReportedWhileInactiveOrDisabled) {
  begin("banner");
  dispatch.advance(seconds(3));
  host->active = false;
  reporter->logExposureEventsWithScreenParameters({});
  host->active = true;
  reporter->setReportingEnabled(false);
  reporter->endAdUnitExposure("banner");
  EXPECT_TRUE(host->events.empty());
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{1011, 1010, 1007, 1005}));
}

TEST_F(AdExposureReporterTest, AtMostOneHundredAdUnitsAreCounted) {
  for (int unit = 0; unit < 100; ++unit) reporter->beginAdUnitExposure("unit" + std::to_string(unit));
  dispatch.drain();
  EXPECT_TRUE(services.log->lines.empty());
  begin("unit100");
  begin("unit0");
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{1002, 1002}));
  reporter->endAdUnitExposure("unit100");
  EXPECT_EQ(services.log->codes().back(), 1004);

  reporter->beginAdUnitExposure("");
  reporter->endAdUnitExposure("");
  EXPECT_EQ(services.log->codes().back(), 1003);
  EXPECT_EQ(services.log->codes()[services.log->codes().size() - 2], 1000);
}

}  // namespace
}  // namespace beacon
