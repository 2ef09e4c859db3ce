// Real threads: the pending flags are taken from other threads while history processing raises them.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/VelloranModel.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/SystemClock.h"

namespace velloran {
namespace {

TEST(CloudKitSyncServiceThreads, FlagsCanBeTakenFromAnyThreadWhileProcessingRaisesThem) {
  platform::testing::TemporaryDirectory folder;
  platform::NotificationCenter center;
  auto container = std::make_shared<platform::PersistentContainer>(
      "VelloranModel", CoreDataStack::makeModel(), platform::SystemClock::shared(), center);
  platform::StoreDescription description;
  description.type = platform::StoreType::InMemory;
  description.setOption(platform::kPersistentHistoryTrackingOption, true);
  container->setPersistentStoreDescriptions({description});
  container->loadPersistentStores([](const platform::StoreDescription&,
                                     const std::optional<platform::Error>& error) { ASSERT_FALSE(error); });
  CloudKitSyncService::Options options;
  options.tokenFile = folder.path() / "PersistentHistoryToken.data";
  options.notificationCenter = &center;
  auto monitor = CloudKitSyncService::make(container, options);

  constexpr int kRounds = 20;
  std::atomic<bool> stop{false};
  std::atomic<int> localTaken{0};
  std::atomic<int> remoteTaken{0};
  std::vector<std::thread> takers;
  for (int i = 0; i < 4; ++i) {
    takers.emplace_back([&] {
      while (!stop) {
        if (monitor->takePendingLocalChanges()) ++localTaken;
        if (monitor->takePendingRemoteChanges()) ++remoteTaken;
        std::this_thread::yield();
      }
    });
  }
  for (int round = 0; round < kRounds; ++round) {
    auto writer = container->newBackgroundContext();
    writer->setTransactionAuthor(round % 2 ? std::optional<std::string>(kTransactionAuthor) : std::nullopt);
    writer->insertNewObject(model::kPromptEntity);
    ASSERT_TRUE(writer->save().ok());
    bool processed = false;
    monitor->processPersistentHistory([&](platform::Result<void> result) {
      EXPECT_TRUE(result.ok());
      processed = true;
    });
    ASSERT_TRUE(platform::runUntil([&] { return processed; }, std::chrono::seconds(10)));
  }
  stop = true;
  for (std::thread& taker : takers) taker.join();
  if (monitor->takePendingLocalChanges()) ++localTaken;
  if (monitor->takePendingRemoteChanges()) ++remoteTaken;

  // Each raise is taken at most once, and the last raise of each kind is never lost.
  EXPECT_GE(localTaken.load(), 1);
  EXPECT_LE(localTaken.load(), kRounds / 2);
  EXPECT_GE(remoteTaken.load(), 1);
  EXPECT_LE(remoteTaken.load(), kRounds / 2);
}

}  // namespace
}  // namespace velloran
