// Two libraries as the application builds them (stack, prompt store, sync monitor), each in its own
// Application Support folder, sharing one mirror folder, in one process on the deterministic backend.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "Velloran/data/SyncProblem.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"
#include "Velloran/sync/tests/SyncTestSupport.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/MirroredPersistentContainer.h"

namespace velloran::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::chrono::seconds kPoll{1};

// One machine's library. What the view model does with each successful event is done here too:
// process history, then take the event's flag; `taken` records the answers.
class Library {
 public:
  Library(const std::filesystem::path& mirrorRoot, platform::DeterministicDispatch& dispatch)
      : mirrorRoot_(mirrorRoot), dispatch_(dispatch) {
    open();
  }

  // Builds the stack, store and monitor anew over this machine's folder. The environment must
  // name this machine's folders (the last Library made, or reopened after it).
  void open() {
    monitorEvents_.reset();
    monitor_.reset();
    store_.reset();
    stack_.reset();
    stack_.emplace(false,
                   [this](std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
                     platform::MirrorSettings settings = platform::MirrorSettings::configured(mirrorRoot_);
                     settings.pollInterval = kPoll;
                     return std::make_shared<platform::MirroredPersistentContainer>(
                         std::move(name), std::move(model), settings, dispatch_.clock(), center_);
                   });
    store_ = std::make_shared<CoreDataPromptStore>(stack_->container(), dispatch_.sharedClock());
    CloudKitSyncService::Options options;
    options.tokenFile = support_.folder() / std::string(kHistoryTokenFileName);
    options.notificationCenter = &center_;
    monitor_ = CloudKitSyncService::make(stack_->container(), options);
    log_.emplace(*monitor_);
    monitorEvents_ = monitor_->observeEvents([this](const SyncEvent& event) { react(event); });
  }

  RepositoryCalls calls() { return RepositoryCalls(dispatch_, *store_); }
  CloudKitSyncService& monitor() { return *monitor_; }
  const TemporaryApplicationSupport& support() const { return support_; }
  std::vector<SyncEvent> events() const { return log_->events; }
  platform::UUID storeIdentifier() const {
    return stack_->container()->persistentStoreCoordinator()->persistentStore()->identifier();
  }

  std::vector<std::pair<SyncEvent::Type, bool>> taken;

 private:
  void react(const SyncEvent& event) {
    if (event.error || !event.succeeded) return;
    monitor_->processPersistentHistory([this, type = event.type](platform::Result<void>) {
      switch (type) {
        case SyncEvent::Type::Export:
          taken.emplace_back(type, monitor_->takePendingLocalChanges());
          break;
        case SyncEvent::Type::Import:
          taken.emplace_back(type, monitor_->takePendingRemoteChanges());
          break;
        case SyncEvent::Type::Setup:
          break;
      }
    });
  }

  std::filesystem::path mirrorRoot_;
  platform::DeterministicDispatch& dispatch_;
  TemporaryApplicationSupport support_;
  platform::NotificationCenter center_;
  std::optional<CoreDataStack> stack_;
  std::shared_ptr<CoreDataPromptStore> store_;
  std::shared_ptr<CloudKitSyncService> monitor_;
  std::optional<EventLog> log_;
  Subscription monitorEvents_;
};

class MirroredLibraryTest : public ::testing::Test {
 protected:
  MirroredLibraryTest() { std::filesystem::create_directories(root()); }

  std::filesystem::path root() const { return mirrorFolder.path() / "mirror"; }

  void sync(int polls = 2) {
    dispatch.drain();
    for (int i = 0; i < polls; ++i) dispatch.advance(kPoll);
  }

  static std::vector<std::string> contentsOf(const Prompt& prompt) {
    std::vector<std::string> contents;
    for (const PromptVersion& version : prompt.versions) contents.push_back(version.content);
    return contents;
  }

  static std::vector<SyncEvent> failures(const std::vector<SyncEvent>& events) {
    std::vector<SyncEvent> failed;
    for (const SyncEvent& event : events) {
      if (event.error) failed.push_back(event);
    }
    return failed;
  }

  platform::DeterministicDispatch dispatch;
  platform::testing::TemporaryDirectory mirrorFolder;
};

using Taken = std::pair<SyncEvent::Type, bool>;

TEST_F(MirroredLibraryTest, APromptCreatedEditedAndDeletedOnOneMachineFollowsOnTheOther) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  sync();

  const Prompt prompt = makePrompt({.id = 1, .title = "Review", .tags = {"work"}, .content = "First text"});
  ASSERT_TRUE(a.calls().save(prompt).ok());
  sync();

  std::vector<Prompt> onB = b.calls().fetchAll();
  ASSERT_EQ(onB.size(), 1u);
  EXPECT_EQ(onB[0].id, prompt.id);
  EXPECT_EQ(onB[0].title, "Review");
  EXPECT_THAT(onB[0].tags, ElementsAre("work"));
  EXPECT_THAT(contentsOf(onB[0]), ElementsAre("First text"));
  EXPECT_THAT(b.taken, ElementsAre(Taken{SyncEvent::Type::Import, true}));
  EXPECT_THAT(a.taken, ElementsAre(Taken{SyncEvent::Type::Export, true}));

  PromptVersion second{testUUID(50), prompt.id, "Second text", "", 2, platform::Date{2000}};
  ASSERT_TRUE(a.calls().addVersion(second, prompt.id).ok());
  sync();
  onB = b.calls().fetchAll();
  ASSERT_EQ(onB.size(), 1u);
  EXPECT_THAT(contentsOf(onB[0]), ElementsAre("First text", "Second text"));
  EXPECT_THAT(a.taken,
              ElementsAre(Taken{SyncEvent::Type::Export, true}, Taken{SyncEvent::Type::Export, true}));

  // An edit on the receiving side goes back the other way.
  Prompt renamed = onB[0];
  renamed.title = "Reviewed";
  ASSERT_TRUE(b.calls().save(renamed).ok());
  sync();
  EXPECT_THAT(titlesOf(a.calls().fetchAll()), ElementsAre("Reviewed"));
  EXPECT_EQ(a.taken.back(), (Taken{SyncEvent::Type::Import, true}));

  ASSERT_TRUE(a.calls().remove({prompt.id}).ok());
  sync();
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
  EXPECT_THAT(failures(a.events()), IsEmpty());
  EXPECT_THAT(failures(b.events()), IsEmpty());
}

TEST_F(MirroredLibraryTest, ALibraryResetForAnIncompatibleStoreIsFilledAgainFromTheMirror) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(makePrompt({.id = 1, .title = "From a"})).ok());
  ASSERT_TRUE(b.calls().save(makePrompt({.id = 2, .title = "From b", .updatedAt = 900})).ok());
  sync();
  ASSERT_EQ(b.calls().fetchAll().size(), 2u);
  const platform::UUID oldStore = b.storeIdentifier();
  const std::filesystem::path tokenFile = b.support().folder() / std::string(kHistoryTokenFileName);
  ASSERT_NE(fileContents(tokenFile).find(oldStore.uuidString()), std::string::npos);

  // A newer program's model wrote the store: this one cannot open it and starts afresh.
  platform::testing::RawDatabase(b.support().storePath())
      .execute("UPDATE Z_METADATA SET Z_VALUE = 'other' WHERE Z_KEY = 'pstore.modelHash'");
  b.open();
  ASSERT_NE(b.storeIdentifier(), oldStore);
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());
  sync();

  EXPECT_THAT(titlesOf(b.calls().fetchAll()), ElementsAre("From a", "From b"));
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
  // The old store's token expired; the token of the new store replaced it.
  EXPECT_EQ(b.monitor().historyToken()->storeIdentifier, b.storeIdentifier());
  EXPECT_NE(fileContents(tokenFile).find(b.storeIdentifier().uuidString()), std::string::npos);
}

TEST_F(MirroredLibraryTest, OfflineFailuresReachTheMonitorAndQueuedChangesArriveAfterwards) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  sync();
  std::ofstream(root() / "OFFLINE").put('\n');
  ASSERT_TRUE(a.calls().save(makePrompt({.id = 1, .title = "Offline draft"})).ok());
  sync(3);

  std::vector<SyncEvent> failedOnA = failures(a.events());
  ASSERT_FALSE(failedOnA.empty());
  for (const SyncEvent& event : failedOnA) {
    EXPECT_EQ(syncProblem(*event.error), SyncProblem::temporarilyUnavailable);
    EXPECT_TRUE(platform::isCloudMirrorError(*event.error->underlying,
                                             platform::CloudMirrorErrorCode::NetworkUnavailable));
  }
  EXPECT_TRUE(std::any_of(failedOnA.begin(), failedOnA.end(),
                          [](const SyncEvent& event) { return event.type == SyncEvent::Type::Export; }));
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());

  ASSERT_TRUE(a.calls().save(makePrompt({.id = 2, .title = "Second offline draft", .updatedAt = 1100})).ok());
  std::filesystem::remove(root() / "OFFLINE");
  sync();
  EXPECT_THAT(titlesOf(b.calls().fetchAll()), ElementsAre("Second offline draft", "Offline draft"));
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
}

TEST_F(MirroredLibraryTest, WithoutTheMirrorFolderSetupFailsAsNoAccount) {
  std::filesystem::remove_all(root());
  Library a(root(), dispatch);
  sync();
  std::vector<SyncEvent> failed = failures(a.events());
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].type, SyncEvent::Type::Setup);
  EXPECT_EQ(syncProblem(*failed[0].error), SyncProblem::noAccount);
  EXPECT_THAT(a.taken, IsEmpty()) << "a failed event takes no flag";
}

}  // namespace
}  // namespace velloran::testing
