#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

// Writers on several threads, each fetching the domain for itself, while readers read: every write
// is seen in memory at once and every value is on disk afterwards.
TEST(PreferencesThreads, ConcurrentWritersAndReadersShareOneDomain) {
  testing::TemporaryUser user;
  user.writeInfo({{"CFBundleIdentifier", "de.example.threads"}});
  Bundle::resetMainForTesting();
  PreferencesDomain::resetForTesting();

  constexpr int kThreads = 4;
  constexpr int kWritesPerThread = 15;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kWritesPerThread; ++i) {
        auto domain = PreferencesDomain::application();
        std::string key = "t" + std::to_string(t) + "-" + std::to_string(i);
        ASSERT_TRUE(domain->setObject(key, i).ok());
        ASSERT_EQ(PreferencesDomain::application()->integerForKey(key), i);
        (void)domain->boolForKey("t0-0");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(PreferencesDomain::application()->synchronize());

  PreferencesDomain::resetForTesting();
  auto reread = PreferencesDomain::application();
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kWritesPerThread; ++i) {
      EXPECT_EQ(reread->integerForKey("t" + std::to_string(t) + "-" + std::to_string(i)), i);
    }
  }
  Bundle::resetMainForTesting();
  PreferencesDomain::resetForTesting();
}

}  // namespace
}  // namespace platform
