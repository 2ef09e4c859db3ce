// The registry under concurrent configures.

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

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

}  // namespace
}  // namespace beacon
