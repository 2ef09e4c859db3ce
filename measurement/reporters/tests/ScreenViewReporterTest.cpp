#include "measurement/reporters/BMSScreenViewReporter.h"

#include <gtest/gtest.h>

#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/reporters/tests/ReporterTestSupport.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

using std::chrono::seconds;
using testing::integerOf;
using testing::keysOf;
using testing::textOf;

constexpr std::int64_t kFirstInstanceID = 41;

class ScreenViewReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    adExposure = BMSAdExposureReporter::make(host, dispatch.sharedClock(), notifications);
    reporter = BMSScreenViewReporter::make(host, adExposure, notifications, kFirstInstanceID);
    host->screenReporter = reporter;
  }

  void trackScreen(BMSParameters parameters, double timestamp = 1700000000.25) {
    reporter->trackScreenWithParameters(parameters, timestamp);
    dispatch.drain();
  }
  // Events other than the session's own start.
  std::vector<testing::HostEvent> screenViews() const {
    std::vector<testing::HostEvent> views;
    for (const auto& event : host->events) {
      if (event.name == "_vs") views.push_back(event);
    }
    return views;
  }

  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  platform::NotificationCenter notifications;
  std::shared_ptr<testing::RecordingReporterHost> host = std::make_shared<testing::RecordingReporterHost>();
  std::shared_ptr<BMSAdExposureReporter> adExposure;
  std::shared_ptr<BMSScreenViewReporter> reporter;
};

TEST_F(ScreenViewReporterTest, TheFirstScreenViewBeforeActivationIsLoggedWithItsOwnParametersOnly) {
  EXPECT_TRUE(reporter->screenParameters().empty());
  trackScreen({{"screen_name", platform::Value("Bibliothek")},
               {"screen_class", platform::Value("PromptListView")},
               {"quelle", platform::Value("start")}});
  ASSERT_EQ(host->events.size(), 1u);
  const testing::HostEvent& view = host->events[0];
  EXPECT_EQ(view.name, "_vs");
  EXPECT_EQ(view.origin, "app");
  EXPECT_EQ(view.timestamp, 1700000000.25);
  EXPECT_EQ(keysOf(view.parameters), (std::vector<std::string>{"_mst", "_sc", "_si", "_sn", "quelle"}));
  EXPECT_EQ(integerOf(view.parameters, "_si"), kFirstInstanceID + 1);
  EXPECT_EQ(textOf(view.parameters, "_sn"), "Bibliothek");
  EXPECT_EQ(textOf(view.parameters, "_sc"), "PromptListView");
  EXPECT_EQ(integerOf(view.parameters, "_mst"), 1);
  EXPECT_EQ(textOf(view.parameters, "quelle"), "start");

  EXPECT_EQ(keysOf(reporter->screenParameters()), (std::vector<std::string>{"_sc", "_si", "_sn"}));
}

TEST_F(ScreenViewReporterTest, TheNextScreenViewCarriesThePreviousScreen) {
  trackScreen(
      {{"screen_name", platform::Value("Bibliothek")}, {"screen_class", platform::Value("PromptListView")}});
  trackScreen(
      {{"screen_name", platform::Value("Detail")}, {"screen_class", platform::Value("PromptDetailView")}});
  ASSERT_EQ(host->events.size(), 2u);
  const BMSParameters& second = host->events[1].parameters;
  EXPECT_EQ(integerOf(second, "_si"), kFirstInstanceID + 2);
  EXPECT_EQ(integerOf(second, "_pi"), kFirstInstanceID + 1);
  EXPECT_EQ(textOf(second, "_pn"), "Bibliothek");
  EXPECT_EQ(textOf(second, "_pc"), "PromptListView");
  EXPECT_FALSE(second.contains("_et"));
}

TEST_F(ScreenViewReporterTest, InvalidNamesOrClassesAreDroppedAndTheScreenStays) {
  trackScreen({{"screen_name", platform::Value("Bibliothek")}});
  const BMSParameters before = reporter->screenParameters();
  services.log->lines.clear();
  trackScreen({{"screen_class", platform::Value(std::string(101, 'K'))}});
  trackScreen({{"screen_name", platform::Value(12)}});
  trackScreen({{"screen_name", platform::Value("")}});
  // Each refusal follows the validator's own line.
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{13000, 31028, 13000, 31027, 13001, 31027}));
  EXPECT_EQ(host->events.size(), 1u);
  EXPECT_EQ(reporter->screenParameters(), before);
}

TEST_F(ScreenViewReporterTest, AScreenWithoutClassHasNoClassParameter) {
  trackScreen({{"screen_name", platform::Value("Einstellungen")}});
  ASSERT_EQ(host->events.size(), 1u);
  EXPECT_EQ(keysOf(host->events[0].parameters), (std::vector<std::string>{"_mst", "_si", "_sn"}));
  EXPECT_NE(std::find(services.log->codes().begin(), services.log->codes().end(), 31014),
            services.log->codes().end());
  EXPECT_EQ(keysOf(reporter->screenParameters()), (std::vector<std::string>{"_si", "_sn"}));
}

TEST_F(ScreenViewReporterTest, SetScreenNameIsIgnored) {
  reporter->setScreenName("Liste", "PromptListView");
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{31000});
  EXPECT_TRUE(reporter->screenParameters().empty());
}

class ScreenViewReporterWithSessionTest : public ScreenViewReporterTest {
 protected:
  void SetUp() override {
    ScreenViewReporterTest::SetUp();
    persisted =
        std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
    session =
        BMSSessionReporter::initWithPersistedConfig(persisted, host, dispatch.sharedClock(), notifications);
    host->session = session;
    session->setReportingEnabled(true);
  }

  platform::testing::TestApplication application;
  std::shared_ptr<BMSPersistedConfig> persisted;
  std::shared_ptr<BMSSessionReporter> session;
};

TEST_F(ScreenViewReporterWithSessionTest, ActivationReachesTheSessionReporterAndStaysActiveAfterResigning) {
  EXPECT_FALSE(reporter->isAppActive());
  notifications.post(BMSApplicationDidBecomeActiveNotification());
  EXPECT_TRUE(reporter->isAppActive());
  EXPECT_EQ(host->eventNames(), std::vector<std::string>{"_s"});
  dispatch.advance(seconds(2));
  notifications.post(BMSApplicationWillResignActiveNotification());
  EXPECT_TRUE(reporter->isAppActive());
  EXPECT_EQ(host->eventNames(), (std::vector<std::string>{"_s", "_e"}));
  EXPECT_EQ(integerOf(host->events[1].parameters, "_et"), 2000);
}

TEST_F(ScreenViewReporterWithSessionTest, AScreenChangeReportsTheEngagementOfTheScreenLeft) {
  notifications.post(BMSApplicationDidBecomeActiveNotification());
  trackScreen({{"screen_name", platform::Value("Bibliothek")}});
  dispatch.advance(seconds(3));
  host->events.clear();
  trackScreen({{"screen_name", platform::Value("Detail")}});
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_e", "_vs"}));
  EXPECT_EQ(textOf(host->events[0].parameters, "_sn"), "Bibliothek");
  EXPECT_EQ(integerOf(host->events[0].parameters, "_et"), 3000);
}

TEST_F(ScreenViewReporterWithSessionTest, EfficientReportingPutsTheEngagementIntoTheScreenView) {
  host->config = testing::configWithSettings({{testing::kEfficientReporting, "1"}});
  notifications.post(BMSApplicationDidBecomeActiveNotification());
  trackScreen({{"screen_name", platform::Value("Bibliothek")}});
  dispatch.advance(seconds(4));
  host->events.clear();
  trackScreen({{"screen_name", platform::Value("Detail")}});
  // The "_e" is marked as reported again by the screen view, which carries the engaged time.
  ASSERT_EQ(host->eventNames(), (std::vector<std::string>{"_e", "_vs"}));
  EXPECT_EQ(integerOf(host->events[0].parameters, "_fr"), 1);
  EXPECT_EQ(integerOf(host->events[1].parameters, "_et"), 4000);
}

}  // namespace
}  // namespace beacon
