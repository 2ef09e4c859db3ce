// The engine's reporters in place: the context's screen-view reporter follows the application's
// activation from the engine's creation on and hands it to the engine's session reporter, which
// follows the collection switch and is replaced whole by a reset.

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "StartedAnalytics.h"
#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using testing::kTestAppID;

class EngineReportersTest : public ::testing::Test {
 protected:
  EngineReportersTest() { user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"}}); }

  std::shared_ptr<BMSMeasurement> start() {
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {});
    world.dispatch().drain();
    return BMSMeasurement::sharedInstance();
  }
  void post(const char* notification) {
    world.notifications().post(notification);
    world.dispatch().drain();
  }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
};

TEST_F(EngineReportersTest, ActivationAfterTheTimeoutStartsTheNextSession) {
  EXPECT_FALSE(BMSIsAppActive());
  const std::shared_ptr<BMSMeasurement> engine = start();
  ASSERT_TRUE(engine);
  const std::shared_ptr<BMSSessionReporter> session = engine->sessionReporter();
  ASSERT_TRUE(session);
  EXPECT_TRUE(session->isReportingEnabled());
  // The start reported the first session.
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->sessionNumber(), 1);

  post(BMSApplicationDidBecomeActiveNotification());
  EXPECT_TRUE(BMSIsAppActive());
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->sessionNumber(), 1);
  world.dispatch().advance(std::chrono::seconds(60));
  post(BMSApplicationWillResignActiveNotification());
  world.dispatch().advance(std::chrono::seconds(1801));
  EXPECT_TRUE(session->isSessionExpired());
  post(BMSApplicationDidBecomeActiveNotification());
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->sessionNumber(), 2);
  EXPECT_FALSE(session->isSessionExpired());
}

TEST_F(EngineReportersTest, TheSessionReporterFollowsTheCollectionSwitch) {
  const std::shared_ptr<BMSMeasurement> engine = start();
  ASSERT_TRUE(engine);
  BMSAnalytics::setAnalyticsEnabled(false);
  world.dispatch().drain();
  EXPECT_FALSE(engine->sessionReporter()->isReportingEnabled());
  world.dispatch().advance(std::chrono::seconds(1801));
  post(BMSApplicationDidBecomeActiveNotification());
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->sessionNumber(), 1);
  BMSAnalytics::setAnalyticsEnabled(true);
  world.dispatch().drain();
  EXPECT_TRUE(engine->sessionReporter()->isReportingEnabled());
}

TEST_F(EngineReportersTest, AResetSessionReporterReplacesTheOldOneForGood) {
  const std::shared_ptr<BMSMeasurement> engine = start();
  ASSERT_TRUE(engine);
  const std::shared_ptr<BMSSessionReporter> replaced = engine->sessionReporter();
  engine->scheduler()->dispatchSyncOnWorkerQueueBlockID("test", [&] { engine->resetSessionReporter(); });
  const std::shared_ptr<BMSSessionReporter> replacement = engine->sessionReporter();
  ASSERT_NE(replacement, replaced);
  EXPECT_TRUE(replacement->isReportingEnabled());
  EXPECT_FALSE(replaced->isReportingEnabled());

  // Only the new reporter hears the activation; the old one, still held here, stays silent.
  world.dispatch().advance(std::chrono::seconds(1801));
  post(BMSApplicationDidBecomeActiveNotification());
  replaced->handleAppDidBecomeActive();
  replaced->updatePropertiesForNewSessionStart();
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->sessionNumber(), 2);
}

class ScreenViewsThroughTheFacadeTest : public testing::StartedAnalytics {};

TEST_F(ScreenViewsThroughTheFacadeTest, AScreenViewIsLoggedAsTheInternalScreenViewAndNamesLaterEvents) {
  start();
  BMSAnalytics::logEventWithName("prompt_copy", {});
  world.dispatch().drain();
  EXPECT_FALSE(heardEvent("prompt_copy")->parameters().contains("_si"));

  const double viewed = world.clock().now().unixSeconds();
  BMSAnalytics::logEventWithName("screen_view", {{"screen_name", platform::Value("Bibliothek")},
                                                 {"screen_class", platform::Value("PromptListView")},
                                                 {"quelle", platform::Value("menu")}});
  world.clock().advance(std::chrono::seconds(2));
  world.dispatch().drain();
  const BMSEvent* view = heardEvent("_vs");
  ASSERT_TRUE(view);
  EXPECT_FALSE(heardEvent("screen_view"));
  EXPECT_EQ(view->origin(), "app");
  EXPECT_EQ(view->timestamp(), viewed);
  EXPECT_EQ(heardText("_vs", "_sn"), "Bibliothek");
  EXPECT_EQ(heardText("_vs", "quelle"), "menu");
  EXPECT_EQ(heardInteger("_vs", "_mst"), 1);
  EXPECT_FALSE(view->parameters().contains("screen_name"));
  const std::optional<std::int64_t> screen = heardInteger("_vs", "_si");
  ASSERT_TRUE(screen);

  heard.clear();
  BMSAnalytics::logEventWithName("prompt_copy", {});
  world.dispatch().drain();
  ASSERT_EQ(heardNames(), std::vector<std::string>{"prompt_copy"});
  EXPECT_EQ(heardText("prompt_copy", "_sn"), "Bibliothek");
  EXPECT_EQ(heardText("prompt_copy", "_sc"), "PromptListView");
  EXPECT_EQ(heardInteger("prompt_copy", "_si"), screen);
  const std::vector<std::string> stored = storedNames();
  EXPECT_NE(std::find(stored.begin(), stored.end(), "_vs"), stored.end());
}

}  // namespace
}  // namespace beacon
