// The reporters' shared state under real threads: the main thread, the screen-view reporter's queue
// and the worker queue all reach the session reporter, and screens are tracked from any thread.

#include <gtest/gtest.h>

#include <condition_variable>
#include <set>
#include <thread>

#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/SystemClock.h"

namespace beacon {
namespace {

// Keeps the events' parameters and lets a test wait for a number of them.
class LockedHost : public BMSReporterHost {
 public:
  void logInternalEvent(const std::string&, const std::string&, const BMSParameters& parameters) override {
    record(parameters);
  }
  void logInternalEventWithTimestamp(const std::string&, const std::string&, double,
                                     const BMSParameters& parameters) override {
    record(parameters);
  }
  void setInternalUserProperty(const std::optional<BMSValue>&, const std::string&,
                               const std::string&) override {}
  std::shared_ptr<BMSRemoteConfig> remoteConfig() const override { return config; }
  std::shared_ptr<BMSSessionReporter> sessionReporter() const override { return nullptr; }
  bool isAppActive() const override { return true; }
  BMSParameters currentScreenParameters() const override { return {}; }

  std::vector<BMSParameters> waitFor(std::size_t count) {
    std::unique_lock lock(mutex);
    // Generous: only a real hang runs into it.
    EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return events.size() >= count; }));
    return events;
  }

  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();

 private:
  void record(const BMSParameters& parameters) {
    std::lock_guard lock(mutex);
    events.push_back(parameters);
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<BMSParameters> events;
};

std::int64_t integerParameter(const BMSParameters& parameters, const char* key) {
  return BMSValueFromObject(parameters.at(key))->int64Value();
}

TEST(ReporterThreadTest, SessionStateStaysConsistentAcrossThreads) {
  platform::testing::TestApplication application;
  platform::NotificationCenter notifications;
  auto host = std::make_shared<LockedHost>();
  auto persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  auto reporter = BMSSessionReporter::initWithPersistedConfig(
      persisted, host, platform::SystemClock::sharedPointer(), notifications);
  reporter->setReportingEnabled(true);
  constexpr int kRounds = 500;
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int round = 0; round < kRounds; ++round) reporter->updatePropertiesForNewSessionStart();
  });
  threads.emplace_back([&] {
    for (int round = 0; round < kRounds; ++round) reporter->extendSession();
  });
  threads.emplace_back([&] {
    const BMSScreen screen{"Liste", "PromptListView", 1, 0};
    for (int round = 0; round < kRounds; ++round)
      reporter->logEngagementEventAndReturnTimeWithScreen(&screen, false);
  });
  threads.emplace_back([&] {
    for (int round = 0; round < kRounds; ++round) {
      reporter->isSessionExpired();
      reporter->cutFreerideEngagementTimeMillis();
      reporter->setTimeoutSessionInterval(1800);
    }
  });
  for (std::thread& thread : threads) thread.join();
  // Every increment counted: the read and the write of the number happen under one lock.
  EXPECT_EQ(persisted->sessionNumber(), kRounds);
  EXPECT_EQ(host->waitFor(kRounds).size(), static_cast<std::size_t>(kRounds));
  reporter->invalidate();
}

TEST(ReporterThreadTest, ScreensTrackedAtOnceEachFollowADifferentScreen) {
  platform::NotificationCenter notifications;
  auto host = std::make_shared<LockedHost>();
  auto adExposure = BMSAdExposureReporter::make(host, platform::SystemClock::sharedPointer(), notifications);
  auto reporter = BMSScreenViewReporter::make(host, adExposure, notifications, 0);
  constexpr int kScreensPerThread = 300;
  std::vector<std::thread> threads;
  for (const char* name : {"Liste", "Detail"}) {
    threads.emplace_back([&, name] {
      for (int screen = 0; screen < kScreensPerThread; ++screen) {
        reporter->trackScreenWithParameters({{"screen_name", platform::Value(name)}}, 1700000000);
        reporter->screenParameters();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<BMSParameters> views = host->waitFor(2 * kScreensPerThread);
  std::set<std::int64_t> screens;
  std::set<std::int64_t> previousScreens;
  for (const BMSParameters& view : views) {
    screens.insert(integerParameter(view, "_si"));
    if (view.contains("_pi")) previousScreens.insert(integerParameter(view, "_pi"));
  }
  EXPECT_EQ(screens.size(), views.size());
  // One screen has no previous one; every other follows a screen no other one follows.
  EXPECT_EQ(previousScreens.size(), views.size() - 1);
}

}  // namespace
}  // namespace beacon
