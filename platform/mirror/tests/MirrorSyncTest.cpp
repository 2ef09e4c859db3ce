// Two (and more) stores sharing one mirror folder in one process, driven by a deterministic backend:
// what one device changes reaches the others, and the events say so.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using MirrorSync = MirrorTest;

TEST_F(MirrorSync, ANoteWithItsPagesReachesTheOtherDeviceAndTheEventsSaySo) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  sync();
  ASSERT_EQ(a->ended(MirrorEvent::Type::Setup).size(), 1u);
  EXPECT_TRUE(a->ended(MirrorEvent::Type::Setup)[0].succeeded);

  a->addNote("Groceries", 2);
  sync();

  EXPECT_THAT(b->titles(), ElementsAre("Groceries"));
  EXPECT_THAT(b->pages(), ElementsAre("Groceries page 1@Groceries", "Groceries page 2@Groceries"));

  std::vector<MirrorEvent> exports = a->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(exports.size(), 1u);
  EXPECT_TRUE(exports[0].succeeded);
  EXPECT_EQ(exports[0].storeIdentifier, a->device());
  EXPECT_TRUE(a->ended(MirrorEvent::Type::Import).empty()) << "nothing came in on the sending side";

  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(imports.size(), 1u);
  EXPECT_TRUE(imports[0].succeeded);
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Export).empty()) << "imported changes are not sent back";

  // Each ended event follows its own start, with the same identifier.
  const auto start = std::find_if(b->events.begin(), b->events.end(), [&](const MirrorEvent& e) {
    return e.identifier == imports[0].identifier;
  });
  ASSERT_NE(start, b->events.end());
  EXPECT_FALSE(start->endDate);

  std::vector<HistoryTransaction> history = b->history();
  ASSERT_EQ(history.size(), 1u) << "one import, one transaction; bookkeeping makes none";
  EXPECT_EQ(history[0].author, kMirrorImportAuthor);
  EXPECT_EQ(history[0].changes.size(), 3u);
  EXPECT_EQ(a->history().size(), 1u) << "the export's bookkeeping makes no transaction";
}

TEST_F(MirrorSync, EditsAndDeletionsTravelBothWays) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Draft", 1);
  sync(2);

  b->rename("Draft", "Final");
  sync(2);
  EXPECT_THAT(a->titles(), ElementsAre("Final"));
  EXPECT_THAT(a->pages(), ElementsAre("Draft page 1@Final"));

  a->addNote("Second");
  sync(2);
  a->remove("Final");
  sync(2);
  EXPECT_THAT(b->titles(), ElementsAre("Second"));
  EXPECT_THAT(b->pages(), IsEmpty()) << "the cascade's deletions travel as deletions";
  EXPECT_THAT(a->titles(), ElementsAre("Second"));
}

TEST_F(MirrorSync, AnExportFollowsASaveAfterTheDelayWithoutWaitingForThePoll) {
  auto a = makeDevice("a");
  sync();
  const std::filesystem::path journal = journalOf(*a);

  a->addNote("One");
  dispatch.advance(kExportDelay / 2);
  a->addNote("Two");
  dispatch.advance(kExportDelay / 2);
  EXPECT_EQ(lineCount(journal), 0u) << "the second save restarted the delay";
  dispatch.advance(kExportDelay / 2);
  EXPECT_EQ(lineCount(journal), 2u);
  EXPECT_EQ(a->ended(MirrorEvent::Type::Export).size(), 1u) << "both saves went out together";
}

TEST_F(MirrorSync, AnEditOfANoteWritesTheNoteAloneNotThePagesItOwns) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Plan", 3);
  sync(2);
  const std::filesystem::path journal = journalOf(*a);
  ASSERT_EQ(lineCount(journal), 4u);

  a->rename("Plan", "Plan, edited");
  sync(2);
  EXPECT_EQ(lineCount(journal), 5u);
  EXPECT_THAT(b->pages(), ElementsAre("Plan page 1@Plan, edited", "Plan page 2@Plan, edited",
                                      "Plan page 3@Plan, edited"));
}

TEST_F(MirrorSync, TheLaterOfTwoEditsOfOneNoteWinsOnEveryDevice) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Plan");
  sync(2);

  // Both edit before either has seen the other's edit; b's comes later.
  a->rename("Plan", "Plan by a");
  dispatch.advance(std::chrono::milliseconds(10));
  b->rename("Plan", "Plan by b");
  dispatch.advance(kExportDelay);
  sync(2);

  EXPECT_THAT(a->titles(), ElementsAre("Plan by b"));
  EXPECT_THAT(b->titles(), ElementsAre("Plan by b"));
}

TEST_F(MirrorSync, ChangesAreOrderedByWhenTheyWereMadeNotByWhenTheyWereExported) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Plan", 1);
  sync(2);

  // Offline, b renames first and a deletes later; both export at the same poll.
  std::ofstream(root() / "OFFLINE").put('\n');
  b->rename("Plan", "Plan by b");
  dispatch.advance(std::chrono::seconds(3));
  a->remove("Plan");
  std::filesystem::remove(root() / "OFFLINE");
  sync(2);
  EXPECT_THAT(a->titles(), IsEmpty());
  EXPECT_THAT(b->titles(), IsEmpty());
  EXPECT_THAT(b->pages(), IsEmpty());

  // A later edit wins over an earlier deletion, and brings back what the note owns.
  a->addNote("Draft", 2);
  sync(2);
  std::ofstream(root() / "OFFLINE").put('\n');
  a->remove("Draft");
  dispatch.advance(std::chrono::seconds(3));
  b->rename("Draft", "Draft kept");
  std::filesystem::remove(root() / "OFFLINE");
  // The deleting device gets the pages back once the editing one has seen the deletion.
  sync(3);
  for (Device* device : {a.get(), b.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Draft kept"));
    EXPECT_THAT(device->pages(), ElementsAre("Draft page 1@Draft kept", "Draft page 2@Draft kept"));
  }
}

TEST_F(MirrorSync, WhileOfflineFailuresAreReportedOnceAndNothingIsLostAfterwards) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  sync();
  std::ofstream(root() / "OFFLINE").put('\n');

  a->addNote("Written offline", 1);
  sync(5);
  EXPECT_THAT(b->titles(), IsEmpty());
  std::vector<MirrorEvent> failedExports = a->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(failedExports.size(), 1u) << "one report, not one per poll";
  EXPECT_TRUE(isFailure(failedExports[0], CloudMirrorErrorCode::NetworkUnavailable));
  std::vector<MirrorEvent> failedImports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(failedImports.size(), 1u);
  EXPECT_TRUE(isFailure(failedImports[0], CloudMirrorErrorCode::NetworkUnavailable));

  a->rename("Written offline", "Renamed offline");
  sync();
  std::filesystem::remove(root() / "OFFLINE");
  sync(2);

  EXPECT_THAT(b->titles(), ElementsAre("Renamed offline"));
  EXPECT_THAT(b->pages(), ElementsAre("Written offline page 1@Renamed offline"));
  ASSERT_EQ(a->ended(MirrorEvent::Type::Export).size(), 2u);
  EXPECT_TRUE(a->ended(MirrorEvent::Type::Export)[1].succeeded);
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Import).back().succeeded);
}

TEST_F(MirrorSync, WithoutTheConfiguredFolderSetupFailsAsNoAccountUntilTheFolderAppears) {
  std::filesystem::remove_all(root());
  auto a = makeDevice("a");
  a->addNote("Kept locally");
  sync(3);

  std::vector<MirrorEvent> setups = a->ended(MirrorEvent::Type::Setup);
  ASSERT_EQ(setups.size(), 1u);
  EXPECT_TRUE(isFailure(setups[0], CloudMirrorErrorCode::NotAuthenticated));
  EXPECT_TRUE(a->ended(MirrorEvent::Type::Export).empty()) << "nothing happens before setup succeeds";

  std::filesystem::create_directories(root());
  sync();
  setups = a->ended(MirrorEvent::Type::Setup);
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_TRUE(setups[1].succeeded);
  ASSERT_EQ(a->ended(MirrorEvent::Type::Export).size(), 1u);

  auto b = makeDevice("b");
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Kept locally"));
}

TEST_F(MirrorSync, SetupWaitsForTheMainQueueSoAnEarlyObserverHearsTheFirstFailure) {
  std::filesystem::remove_all(root());
  auto a = makeDevice("a");
  EXPECT_TRUE(a->events.empty()) << "loading posts nothing by itself";
  dispatch.drain();
  ASSERT_EQ(a->ended(MirrorEvent::Type::Setup).size(), 1u);
}

TEST_F(MirrorSync, AResetStoreImportsEverythingTheFolderHoldsIncludingItsOwnEarlierWrites) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("From a", 1);
  b->addNote("From b", 1);
  sync(2);
  const UUID before = b->device();

  b->resetStore();
  EXPECT_THAT(b->titles(), IsEmpty());
  sync(2);

  EXPECT_NE(b->device(), before) << "the new store writes a journal of its own";
  EXPECT_THAT(b->titles(), ElementsAre("From a", "From b"));
  EXPECT_THAT(b->pages(), ElementsAre("From a page 1@From a", "From b page 1@From b"));
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Import).back().succeeded);

  // The refilled store goes on syncing under its new name.
  b->rename("From b", "From b again");
  sync(2);
  EXPECT_THAT(a->titles(), ElementsAre("From a", "From b again"));
}

TEST_F(MirrorSync, ClosingTheStoreExportsWhatWaitsAtOnceAndStopsTheMirror) {
  auto a = makeDevice("a");
  sync();
  const std::filesystem::path journal = journalOf(*a);
  a->addNote("Saved just before quitting");
  a->container().closePersistentStores();
  EXPECT_EQ(lineCount(journal), 1u) << "not after the export delay: there is none";
  EXPECT_EQ(a->container().persistentStoreCoordinator()->persistentStore(), nullptr);

  auto b = makeDevice("b");
  sync(2);
  EXPECT_THAT(b->titles(), ElementsAre("Saved just before quitting"));
  EXPECT_EQ(lineCount(journal), 1u);
}

TEST_F(MirrorSync, ADeviceStoppedWithItsContainerWritesNoMore) {
  auto a = makeDevice("a");
  sync();
  const std::filesystem::path journal = journalOf(*a);
  a->addNote("Unsent");
  a.reset();
  sync(2);
  EXPECT_EQ(lineCount(journal), 0u);
}

}  // namespace
}  // namespace platform
