#include <gtest/gtest.h>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using namespace std::chrono_literals;

class PstoreHistory : public ::testing::Test {
 protected:
  std::filesystem::path storePath() const { return folder.path() / "Notebook.sqlite"; }

  std::vector<HistoryTransaction> historyAfter(const std::optional<HistoryToken>& token) {
    return valueOrFail(notebook.background()->fetchHistory(token));
  }

  TemporaryDirectory folder;
  Notebook notebook{fileStore(storePath())};
};

TEST_F(PstoreHistory, TransactionsCarryAuthorTimeAndChangesInOrder) {
  auto writer = notebook.background();
  writer->setTransactionAuthor("Writer");
  ManagedObject note = writer->insertNewObject("Note");
  ManagedObject page = writer->insertNewObject("Page");
  page.setRelatedObject("note", note);
  saveOrFail(*writer);

  notebook.clock.advance(90s);
  auto anonymous = notebook.background();
  ManagedObject stored = fetchAll(*anonymous, "Note").at(0);
  stored.setValue("title", std::string("renamed"));
  anonymous->deleteObject(fetchAll(*anonymous, "Page").at(0));
  saveOrFail(*anonymous);

  std::vector<HistoryTransaction> history = historyAfter(std::nullopt);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].author, "Writer");
  EXPECT_EQ(history[0].timestamp, ManualClock::kDefaultStart);
  ASSERT_EQ(history[0].changes.size(), 2u);
  EXPECT_EQ(history[0].changes[0].type, HistoryChangeType::Insert);
  EXPECT_EQ(history[0].changes[0].objectID, note.objectID());
  EXPECT_EQ(history[0].changes[0].recordName, note.recordName());
  EXPECT_EQ(history[0].changes[1].objectID, page.objectID());

  EXPECT_EQ(history[1].author, std::nullopt);
  EXPECT_EQ(history[1].timestamp.secondsSinceReferenceDate,
            ManualClock::kDefaultStart.secondsSinceReferenceDate + 90);
  ObjectIDChanges changes = history[1].objectIDChanges();
  EXPECT_EQ(changes.updated, std::vector<ObjectID>{note.objectID()});
  EXPECT_EQ(changes.deleted, std::vector<ObjectID>{page.objectID()});
  EXPECT_EQ(history[1].changes.back().recordName, page.recordName()) << "a deletion still names its record";
  EXPECT_EQ(history[1].token.transactionNumber, history[0].token.transactionNumber + 1);
}

TEST_F(PstoreHistory, TheNewestTokenIsThatOfTheLastTransaction) {
  EXPECT_EQ(valueOrFail(notebook.background()->newestHistoryToken()), std::nullopt) << "no history yet";
  for (const char* title : {"one", "two"}) {
    auto writer = notebook.background();
    writer->insertNewObject("Note").setValue("title", std::string(title));
    saveOrFail(*writer);
  }
  EXPECT_EQ(valueOrFail(notebook.background()->newestHistoryToken()),
            historyAfter(std::nullopt).back().token);
}

TEST_F(PstoreHistory, FetchAfterATokenReturnsOnlyLaterTransactions) {
  for (const char* title : {"one", "two", "three"}) {
    notebook.view().insertNewObject("Note").setValue("title", std::string(title));
    saveOrFail(notebook.view());
  }
  std::vector<HistoryTransaction> all = historyAfter(std::nullopt);
  ASSERT_EQ(all.size(), 3u);
  std::vector<HistoryTransaction> later = historyAfter(all[0].token);
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0].token, all[1].token);
  EXPECT_TRUE(historyAfter(all[2].token).empty());
}

TEST_F(PstoreHistory, TokenOfAnotherStoreHasExpired) {
  Notebook other(memoryStore());
  other.view().insertNewObject("Note");
  saveOrFail(other.view());
  const HistoryToken foreign = valueOrFail(other.view().fetchHistory(std::nullopt)).back().token;

  Result<std::vector<HistoryTransaction>> fetched = notebook.view().fetchHistory(foreign);
  ASSERT_FALSE(fetched);
  EXPECT_TRUE(isPersistentStoreError(fetched.error(), PersistentStoreErrorCode::HistoryTokenExpired));
}

TEST_F(PstoreHistory, TokenFromBeforeAResetHasExpiredEvenWithASmallerNumber) {
  for (int i = 0; i < 3; ++i) {
    notebook.view().insertNewObject("Note");
    saveOrFail(notebook.view());
  }
  const HistoryToken old = historyAfter(std::nullopt).back().token;
  ASSERT_TRUE(notebook.container.persistentStoreCoordinator()->destroyPersistentStore(storePath()).ok());
  ASSERT_FALSE(load(notebook.container, fileStore(storePath())));
  for (int i = 0; i < 5; ++i) {
    notebook.view().insertNewObject("Note");
    saveOrFail(notebook.view());
  }
  Result<std::vector<HistoryTransaction>> fetched = notebook.view().fetchHistory(old);
  ASSERT_FALSE(fetched);
  EXPECT_TRUE(isPersistentStoreError(fetched.error(), PersistentStoreErrorCode::HistoryTokenExpired));
}

TEST_F(PstoreHistory, TokenBeyondTheNewestTransactionHasExpired) {
  notebook.view().insertNewObject("Note");
  saveOrFail(notebook.view());
  HistoryToken ahead = historyAfter(std::nullopt).back().token;
  ahead.transactionNumber += 1;
  Result<std::vector<HistoryTransaction>> fetched = notebook.view().fetchHistory(ahead);
  ASSERT_FALSE(fetched);
  EXPECT_TRUE(isPersistentStoreError(fetched.error(), PersistentStoreErrorCode::HistoryTokenExpired));
}

TEST_F(PstoreHistory, NotRecordedWithoutTracking) {
  Notebook untracked(memoryStore({.history = false}));
  untracked.view().insertNewObject("Note");
  saveOrFail(untracked.view());
  EXPECT_TRUE(valueOrFail(untracked.view().fetchHistory(std::nullopt)).empty());
}

TEST_F(PstoreHistory, InMemoryStoresTrackWhenAsked) {
  Notebook tracked(memoryStore());
  tracked.view().insertNewObject("Note");
  saveOrFail(tracked.view());
  EXPECT_EQ(valueOrFail(tracked.view().fetchHistory(std::nullopt)).size(), 1u);
}

class PstoreRemoteChange : public PstoreHistory {
 protected:
  void SetUp() override {
    token = notebook.center.addObserver(
        std::string(kRemoteChangeNotification),
        notebook.container.persistentStoreCoordinator()->notificationSender(), nullptr,
        [this](const Notification& notification) { received.push_back(notification); });
  }
  ObserverToken token;
  std::vector<Notification> received;
};

TEST_F(PstoreRemoteChange, PostedAfterEachCommitWithTheStoreAndToken) {
  auto writer = notebook.background();
  writer->insertNewObject("Note");
  saveOrFail(*writer);
  ASSERT_EQ(received.size(), 1u);
  const Dictionary& info = *received[0].userInfo;
  const auto store = notebook.container.persistentStoreCoordinator()->persistentStore();
  EXPECT_EQ(info.at(std::string(kRemoteChangeStoreIdentifierKey)), Value(store->identifier().uuidString()));
  EXPECT_EQ(info.at(std::string(kRemoteChangeStorePathKey)), Value(storePath().string()));
  EXPECT_EQ(info.at(std::string(kRemoteChangeHistoryTokenKey)),
            Value(historyAfter(std::nullopt).back().token.serialized()));
}

TEST_F(PstoreRemoteChange, NotPostedForSavesThatChangeNoObjects) {
  saveOrFail(notebook.view());
  notebook.view().setMetadataValue("bookkeeping", "1");
  saveOrFail(notebook.view());
  EXPECT_TRUE(received.empty());
}

TEST_F(PstoreRemoteChange, NotPostedWhenTheOptionIsOff) {
  Notebook quiet(memoryStore({.remoteChangeNotifications = false}));
  int posts = 0;
  ObserverToken observer = quiet.center.addObserver(std::string(kRemoteChangeNotification), nullptr, nullptr,
                                                    [&](const Notification&) { ++posts; });
  quiet.view().insertNewObject("Note");
  saveOrFail(quiet.view());
  EXPECT_EQ(posts, 0);
}

}  // namespace
}  // namespace platform
