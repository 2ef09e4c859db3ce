// The registry under concurrent configures, and letting go of apps while their work is queued.

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "platform/notify/NotificationCenter.h"
#include "sdk-core/ApplicationNotifications.h"
#include "sdk-core/heartbeat/FileStorage.h"
#include "sdk-core/heartbeat/HeartbeatStorage.h"
#include "sdk-core/tests/CoreTestSupport.h"

namespace beacon {
namespace {

// Configures `name` from `threads` threads at once; answers how many configures succeeded.
int configureConcurrently(const std::string& name, int threads) {
  std::barrier start(threads);
  std::atomic<int> succeeded = 0;
  std::atomic<int> refused = 0;
  std::vector<std::thread> workers;
  for (int index = 0; index < threads; ++index) {
    workers.emplace_back([&] {
      auto options = BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "42");
      start.arrive_and_wait();
      try {
        BCNApp::configureWithName(name, options);
        ++succeeded;
      } catch (const platform::ProgrammerError&) {
        ++refused;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(succeeded + refused, threads);
  return succeeded;
}

TEST(AppRegistryThreads, ConcurrentConfiguresOfOneNameMakeOneApp) {
  testing::TemporaryApplication application;

  EXPECT_EQ(configureConcurrently("shop", 8), 1);

  EXPECT_EQ(BCNApp::allApps()->size(), 1u);
}

TEST(AppRegistryThreads, ConcurrentConfiguresOfTheDefaultAppMakeOneApp) {
  testing::TemporaryApplication application;
  std::atomic<bool> stop = false;
  std::thread reader([&] {
    while (!stop) (void)BCNApp::isDefaultAppConfigured();
  });

  EXPECT_EQ(configureConcurrently(kBCNDefaultAppName, 8), 1);

  stop = true;
  reader.join();
  EXPECT_EQ(BCNApp::allApps()->size(), 1u);
  EXPECT_EQ(BCNApp::allApps()->at(kBCNDefaultAppName), BCNApp::defaultApp());
}

// A heartbeat logged just before the apps go is stored by the time they have gone: nothing of an app
// is written afterwards (into a user's folder that may be gone by then).
TEST(AppRegistryThreads, AHeartbeatLoggedBeforeTheAppsGoIsStoredOnceTheyHaveGone) {
  testing::TemporaryApplication application;
  BCNApp::configureWithOptions(BCNOptions::initWithCorvaneAppID(testing::kValidAppID, "42"));
  // The storage queue is held up, so that the heartbeat is still queued when the apps go.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  HeartbeatStorage::sharedStorage(testing::kValidAppID)->updateAsync([released](auto stored) {
    released.wait();
    return stored;
  });
  platform::NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
  std::thread releaser([&release] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    release.set_value();
  });

  BCNApp::resetApps();

  const std::filesystem::path file = *FileStorage::storageForID(testing::kValidAppID)->url();
  const std::uintmax_t storedBytes = std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0;
  releaser.join();
  EXPECT_GT(storedBytes, 0u);
}

}  // namespace
}  // namespace beacon
