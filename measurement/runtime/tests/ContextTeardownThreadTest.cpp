// An analytics context destroyed on real queues while its engine is starting on its worker queue:
// the engine's work then reaches the context, so the context waits for it.

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSMeasurementPaths.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using testing::kTestAppID;
constexpr auto kPatience = std::chrono::seconds(20);  // only a real hang takes this long

TEST(ContextTeardownThreadTest, AContextGoingWhileItsEngineStartsWaitsForTheStart) {
  platform::testing::TemporaryUser user;
  user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-teardown-tests"}});
  testing::forgetProcessWideState();
  platform::ClassDirectory classes;
  classes.registerClass("BCNAnalytics");
  for (int round = 0; round < 3; ++round) {
    AnalyticsContext::Scope scope(std::make_shared<AnalyticsContext>(AnalyticsContext::Services{
        nullptr, &classes, nullptr, nullptr, false, &testing::FakeReachability::api()}));
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
    ASSERT_TRUE(platform::runUntil([] { return BMSMeasurement::hasSharedInstance(); }, kPatience));
    // The start's block on the analytics queue is done; the engine's own start runs on its worker
    // queue while the context goes.
    scope.context().facade().queue()->sync([] {});
  }
  // The engines that went left the file's write lock behind them: another connection writes at once.
  const auto file = BMSMeasurementDirectoryPath().value() / kBMSMeasurementDatabaseName;
  EXPECT_TRUE(platform::SqliteConnection::open(file.string()).value()->execute("BEGIN IMMEDIATE; COMMIT"));
  testing::forgetProcessWideState();
}

}  // namespace
}  // namespace beacon
