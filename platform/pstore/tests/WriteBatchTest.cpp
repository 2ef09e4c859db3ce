// Write batches: several saves of one thread committed as one, while other threads go on reading
// the store as it was and their saves wait for the batch.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/pstore/WriteBatch.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;

// Far beyond anything a read or a commit takes: reached only when something waits for good.
constexpr std::chrono::seconds kStuck{30};

class PstoreWriteBatch : public ::testing::Test {
 protected:
  std::unique_ptr<WriteBatch> begin() {
    return valueOrFail(WriteBatch::begin(*notebook.container.persistentStoreCoordinator()));
  }

  void addNote(ManagedObjectContext& context, const std::string& title) {
    context.insertNewObject("Note").setValue("title", title);
    saveOrFail(context);
  }

  std::vector<std::string> titles(ManagedObjectContext& context) {
    std::vector<std::string> all;
    for (const ManagedObject& note : fetchAll(context, "Note", {{"title", true}}))
      all.push_back(text(note, "title"));
    return all;
  }

  // Counted on whichever thread commits: a batch's and another thread's saves announce from their own.
  std::atomic<int> remoteChanges = 0;
  TemporaryDirectory folder;
  Notebook notebook{fileStore(folder.path() / "Notebook.sqlite")};
  ObserverToken observer =
      notebook.center.addObserver(std::string(kRemoteChangeNotification),
                                  notebook.container.persistentStoreCoordinator()->notificationSender(),
                                  nullptr, [this](const Notification&) { ++remoteChanges; });
};

TEST_F(PstoreWriteBatch, SavesOfTheBatchThreadShowThereAndReachOthersAsOneCommit) {
  addNote(*notebook.background(), "before");
  ASSERT_EQ(remoteChanges.load(), 1);
  auto viewer = notebook.background();
  viewer->setAutomaticallyMergesChangesFromParent(true);
  ManagedObject seen = fetchAll(*viewer, "Note").at(0);

  auto batch = begin();
  addNote(*notebook.background(), "one");
  auto second = notebook.background();
  fetchAll(*second, "Note").at(0).setValue("title", std::string("before, changed"));
  addNote(*second, "two");
  EXPECT_EQ(titles(*notebook.background()), (std::vector<std::string>{"before, changed", "one", "two"}))
      << "the batch's own thread reads what it wrote";
  EXPECT_EQ(remoteChanges.load(), 1) << "nothing is announced before the batch commits";
  EXPECT_EQ(text(seen, "title"), "before") << "nor merged";

  ASSERT_TRUE(batch->commit().ok());
  EXPECT_EQ(remoteChanges.load(), 2);
  EXPECT_EQ(text(seen, "title"), "before, changed");
  // Each save still is its own history transaction.
  EXPECT_EQ(valueOrFail(notebook.view().fetchHistory(std::nullopt)).size(), 3u);
}

TEST_F(PstoreWriteBatch, ABatchEndedWithoutCommitLeavesTheStoreAsItWas) {
  addNote(*notebook.background(), "kept");
  const std::uint64_t count =
      notebook.container.persistentStoreCoordinator()->persistentStore()->changeCount();
  {
    auto batch = begin();
    addNote(*notebook.background(), "dropped");
    auto failing = notebook.background();
    failing->insertNewObject("Page").setValue("number", std::int64_t{1} << 40);
    EXPECT_FALSE(failing->save().ok()) << "a save that fails inside a batch";
    EXPECT_EQ(titles(*notebook.background()), (std::vector<std::string>{"dropped", "kept"}))
        << "leaves the batch's earlier saves in it";
    EXPECT_FALSE(WriteBatch::begin(*notebook.container.persistentStoreCoordinator()).ok())
        << "one batch at a time on a thread";
  }
  EXPECT_EQ(titles(*notebook.background()), std::vector<std::string>{"kept"});
  EXPECT_EQ(valueOrFail(notebook.view().fetchHistory(std::nullopt)).size(), 1u);
  EXPECT_EQ(notebook.container.persistentStoreCoordinator()->persistentStore()->changeCount(), count);
  addNote(*notebook.background(), "after");  // the writer is free again
  EXPECT_EQ(titles(*notebook.background()), (std::vector<std::string>{"after", "kept"}));
}

TEST_F(PstoreWriteBatch, OtherThreadsReadTheCommittedStoreWithoutWaitingForTheBatch) {
  addNote(*notebook.background(), "committed");
  auto listing = notebook.background();
  std::shared_ptr<PersistentStore> store = notebook.container.persistentStoreCoordinator()->persistentStore();
  const std::uint64_t countBefore = store->changeCount();

  std::promise<void> batchOpen;
  std::promise<void> listed;
  std::thread importer([&] {
    auto batch = begin();
    addNote(*notebook.background(), "in the batch");
    batchOpen.set_value();
    listed.get_future().wait_for(kStuck);
    EXPECT_TRUE(batch->commit().ok());
  });
  batchOpen.get_future().wait();
  auto reading = std::async(std::launch::async, [&] {
    std::vector<std::string> seen = titles(*listing);
    const std::uint64_t count = store->changeCount();
    return std::make_pair(seen, count);
  });
  const bool done = reading.wait_for(kStuck) == std::future_status::ready;
  listed.set_value();
  importer.join();
  ASSERT_TRUE(done) << "the listing waited for the batch";
  const auto [seen, count] = reading.get();
  EXPECT_EQ(seen, std::vector<std::string>{"committed"});
  EXPECT_EQ(count, countBefore) << "nothing committed yet";
  EXPECT_EQ(titles(*listing), (std::vector<std::string>{"committed", "in the batch"}));
  EXPECT_GT(store->changeCount(), countBefore);
}

TEST_F(PstoreWriteBatch, AnotherThreadsSaveWaitsForTheBatchWhichSeesItWaiting) {
  auto batch = begin();
  addNote(*notebook.background(), "batch");
  auto other = notebook.background();
  other->insertNewObject("Note").setValue("title", std::string("other"));
  auto saving = std::async(std::launch::async, [&] { return other->save(); });
  const auto deadline = std::chrono::steady_clock::now() + kStuck;
  while (!batch->writersWaiting() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(batch->writersWaiting());
  EXPECT_EQ(saving.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  ASSERT_TRUE(batch->commit().ok());
  ASSERT_EQ(saving.wait_for(kStuck), std::future_status::ready);
  EXPECT_TRUE(saving.get().ok());
  EXPECT_EQ(titles(*notebook.background()), (std::vector<std::string>{"batch", "other"}));
}

TEST_F(PstoreWriteBatch, RemovingTheStoreWaitsForABatchOfAnotherThreadAndLeavesNoLog) {
  std::promise<void> batchOpen;
  std::thread importer([&] {
    auto batch = begin();
    addNote(*notebook.background(), "in the batch");
    batchOpen.set_value();
    // The store is going: new work fails, what the batch holds still commits.
    while (notebook.container.persistentStoreCoordinator()->persistentStore()) std::this_thread::yield();
    EXPECT_FALSE(notebook.background()->fetch(FetchRequest{"Note"}).ok());
    EXPECT_TRUE(batch->commit().ok());
  });
  batchOpen.get_future().wait();
  notebook.container.persistentStoreCoordinator()->removePersistentStore();
  importer.join();
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "Notebook.sqlite-wal"));
  EXPECT_EQ(RawDatabase(folder.path() / "Notebook.sqlite").count("SELECT count(*) FROM ZNOTE"), 1);
}

}  // namespace
}  // namespace platform
