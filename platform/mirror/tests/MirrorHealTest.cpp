// A mirror folder that is damaged behind the mirrors' backs: a journal emptied, rolled back, deleted
// with its folder or carried off as a sync tool's conflict copy, and a data folder copied to another
// place. Nothing that reached only the damaged journal may be lost for the other machines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MirrorHeal : public MirrorTest {
 protected:
  static std::vector<MirrorEvent> failures(const Device& device) {
    std::vector<MirrorEvent> failed;
    for (const MirrorEvent& event : device.events) {
      if (event.endDate && !event.succeeded) failed.push_back(event);
    }
    return failed;
  }
};

TEST_F(MirrorHeal, AnEmptiedJournalIsWrittenAgainForMachinesThatNeverReadIt) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Only on a", 2);
  b->addNote("On b");
  sync(2);
  a->rename("Only on a", "Renamed on a");
  sync(2);

  std::filesystem::resize_file(journalOf(*a), 0);
  // A pull asked for before the next export reads the emptied journal first.
  a->container().importNow({});
  dispatch.drain();
  sync(2);
  auto c = makeDevice("c");
  sync(2);

  EXPECT_THAT(c->titles(), ElementsAre("On b", "Renamed on a"));
  EXPECT_THAT(c->pages(), ElementsAre("Only on a page 1@Renamed on a", "Only on a page 2@Renamed on a"));
  EXPECT_THAT(b->titles(), ElementsAre("On b", "Renamed on a")) << "reading it again changes nothing";
  for (Device* device : {a.get(), b.get(), c.get()}) EXPECT_THAT(failures(*device), IsEmpty());
}

TEST_F(MirrorHeal, ARolledBackJournalGetsBackWhatItLost) {
  auto a = makeDevice("a");
  a->addNote("First");
  sync(2);
  const std::string older = fileContents(journalOf(*a));
  a->addNote("Second");
  a->addNote("Third");
  sync(2);

  // A sync tool puts back an older copy, which then grows by a line of the same length.
  std::ofstream(journalOf(*a), std::ios::trunc | std::ios::binary) << older;
  a->addNote("Fourth");
  sync(2);
  auto c = makeDevice("c");
  sync(2);
  EXPECT_THAT(c->titles(), ElementsAre("First", "Fourth", "Second", "Third"));
}

TEST_F(MirrorHeal, AJournalDeletedWithItsFolderIsWrittenAgainAndReadersStartOver) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Kept");
  sync(2);
  std::filesystem::remove_all(journals());
  a->addNote("Added since");
  sync(2);

  auto c = makeDevice("c");
  sync(2);
  EXPECT_THAT(c->titles(), ElementsAre("Added since", "Kept"));
  EXPECT_THAT(b->titles(), ElementsAre("Added since", "Kept"));
  EXPECT_THAT(failures(*b), IsEmpty());
}

TEST_F(MirrorHeal, ADeletionThatOnlyTheLostJournalHeldIsWrittenAgain) {
  auto a = makeDevice("a");
  a->addNote("Gone");
  auto c = makeDevice("c");
  sync(2);
  ASSERT_THAT(c->titles(), ElementsAre("Gone"));
  c.reset();  // c is switched off and misses the deletion

  a->remove("Gone");
  sync(2);
  std::filesystem::resize_file(journalOf(*a), 0);
  sync(2);
  c = makeDevice("c");
  sync(2);
  EXPECT_THAT(c->titles(), IsEmpty());
}

TEST_F(MirrorHeal, ConflictCopiesAreReadAsJournalsOfTheirDevice) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("Before the conflict");
  sync(2);

  // The sync tool kept a's journal as a conflict copy and left a's own name empty.
  const std::filesystem::path copy = journals() / (a->device().uuidString() + " (1).jsonl");
  std::filesystem::rename(journalOf(*a), copy);
  // It also kept another machine's version of its journal under a second name.
  const UUID x = UUID::random();
  JournalEntry entry;
  entry.stamp = RecordStamp{HybridLogicalClock::physicalStamp(dispatch.clock().now()), x};
  entry.entity = "Note";
  entry.record = UUID::random();
  entry.fields.attributes = {{"title", AttributeValue(std::string("Only in a copy"))}};
  ASSERT_TRUE(
      appendJournalLines(journals() / (x.uuidString() + " 2.jsonl"), {encodeJournalLine(entry)}).ok());
  sync(2);

  auto c = makeDevice("c");
  sync(2);
  for (Device* device : {a.get(), b.get(), c.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Before the conflict", "Only in a copy"));
    EXPECT_THAT(failures(*device), IsEmpty());
  }
  EXPECT_TRUE(std::filesystem::exists(journalOf(*a))) << "a wrote its journal again";
}

TEST_F(MirrorHeal, ACopiedDataFolderTakesANewIdentityAndBothCopiesSeeEachOther) {
  auto a = makeDevice("a");
  a->addNote("Shared past", 1);
  sync(2);
  a.reset();
  std::filesystem::copy(folder.path() / "a", folder.path() / "a copy",
                        std::filesystem::copy_options::recursive);

  a = makeDevice("a");
  auto copy = makeDevice("a copy");
  auto b = makeDevice("b");
  a->addNote("From the original");
  copy->addNote("From the copy");
  sync(3);

  const std::vector<std::string> all{"From the copy", "From the original", "Shared past"};
  for (Device* device : {a.get(), copy.get(), b.get()}) {
    EXPECT_EQ(device->titles(), all);
    EXPECT_THAT(device->pages(), ElementsAre("Shared past page 1@Shared past"));
    EXPECT_THAT(failures(*device), IsEmpty());
  }
  std::size_t journalFiles = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(journals())) ++journalFiles;
  EXPECT_EQ(journalFiles, 2u) << "the original's and the copy's own (b wrote nothing)";
}

// The data folder is put back from a backup on the machine it was taken on: the changes made since
// the backup went out to the journal, and come back from there.
TEST_F(MirrorHeal, AStoreRestoredFromABackupGetsBackWhatItWroteSince) {
  auto a = makeDevice("a");
  a->addNote("Before the backup");
  sync(2);
  backUp(a, "a");

  a->rename("Before the backup", "Renamed after the backup");
  a->addNote("Added after the backup");
  sync(2);
  restoreBackup(a, "a");

  a = makeDevice("a");
  sync(2);
  EXPECT_THAT(a->titles(), ElementsAre("Added after the backup", "Renamed after the backup"));
}

// The order in which a store put back from a backup, and edited since, meets its own journal's
// lines that it lacks.
enum class RestoredFirstCycle {
  // Its first cycle exports the edit before it imports.
  exportsFirst,
  // The mirror folder is away while the edit is made, then back.
  folderAwayAtFirst,
  // An import asked for at once meets the edit not yet exported.
  importMeetsLocalChanges,
  // Its export is written and saved, then the process ends before it imports.
  endsAfterExporting,
};

class MirrorRestoredBackup : public MirrorHeal, public ::testing::WithParamInterface<RestoredFirstCycle> {
 protected:
  // Exports the device's changes as its mirror would, then stops it before anything is imported.
  void exportByHand(Device& device) {
    auto context = device.container().newBackgroundContext();
    HybridLogicalClock clock = valueOrFail(MirrorBookkeeping(*context).clock());
    PendingExport pending = valueOrFail(collectExport(*context, device.device(), clock));
    ASSERT_FALSE(pending.entries.empty());
    ASSERT_TRUE(commitExport(pending, *context, journalOf(device), clock).ok());
  }
};

TEST_P(MirrorRestoredBackup, KeepsBothTheEditsMadeSinceAndWhatItsJournalHeld) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("P1");
  a->addNote("P2");
  a->addNote("P3");
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("P1", "P2", "P3"));
  backUp(a, "a");

  a->rename("P1", "P1 edited after the backup");
  a->remove("P2");
  a->addNote("P4");
  sync(2);
  restoreBackup(a, "a");

  const std::filesystem::path offline = root() / std::string(kMirrorOfflineMarker);
  switch (GetParam()) {
    case RestoredFirstCycle::exportsFirst:
      a = makeDevice("a");
      a->rename("P3", "P3 edited on the backup");
      break;
    case RestoredFirstCycle::folderAwayAtFirst:
      std::ofstream(offline).put('\n');
      a = makeDevice("a");
      sync();
      a->rename("P3", "P3 edited on the backup");
      sync();
      std::filesystem::remove(offline);
      break;
    case RestoredFirstCycle::importMeetsLocalChanges:
      a = makeDevice("a");
      a->rename("P3", "P3 edited on the backup");
      a->container().importNow({});
      dispatch.drain();
      break;
    case RestoredFirstCycle::endsAfterExporting:
      a = makeDevice("a");
      a->rename("P3", "P3 edited on the backup");
      exportByHand(*a);
      a = makeDevice("a");
      break;
  }
  b->events.clear();  // b was offline too while the folder was away
  sync(3);

  const std::vector<std::string> all{"P1 edited after the backup", "P3 edited on the backup", "P4"};
  EXPECT_EQ(a->titles(), all);
  EXPECT_EQ(b->titles(), all);
  EXPECT_THAT(failures(*b), IsEmpty());
}

std::string orderName(const ::testing::TestParamInfo<RestoredFirstCycle>& info) {
  switch (info.param) {
    case RestoredFirstCycle::exportsFirst:
      return "ExportsFirst";
    case RestoredFirstCycle::folderAwayAtFirst:
      return "FolderAwayAtFirst";
    case RestoredFirstCycle::importMeetsLocalChanges:
      return "ImportMeetsLocalChanges";
    case RestoredFirstCycle::endsAfterExporting:
      break;
  }
  return "EndsAfterExporting";
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, MirrorRestoredBackup,
                         ::testing::Values(RestoredFirstCycle::exportsFirst,
                                           RestoredFirstCycle::folderAwayAtFirst,
                                           RestoredFirstCycle::importMeetsLocalChanges,
                                           RestoredFirstCycle::endsAfterExporting),
                         orderName);

// A store put back from a backup after it had edited a record with a stamp above its wall clock
// (taken from a machine whose clock runs an hour fast): its next change of that record comes after
// the edit its journal holds, whether the mirror folder was away when it was made or the change goes
// out before the first import after the restore.
struct RestoredChange {
  bool deletes;
  bool folderAway;
};

class MirrorRestoredStamps : public MirrorHeal, public ::testing::WithParamInterface<RestoredChange> {};

TEST_P(MirrorRestoredStamps, AChangeAfterTheRestoreComesAfterTheEditsItsJournalHolds) {
  LeadingClock fast{dispatch.clock()};
  fast.setLead(1.0 / 24);
  auto a = makeDevice("a");
  auto b = makeDevice("b", fast);
  a->addNote("P1");
  b->addNote("On b");
  sync(2);
  backUp(a, "a");
  a->rename("P1", "P1 edited before the restore");
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("On b", "P1 edited before the restore"));
  restoreBackup(a, "a");

  const std::filesystem::path offline = root() / std::string(kMirrorOfflineMarker);
  if (GetParam().folderAway) std::ofstream(offline).put('\n');
  a = makeDevice("a");
  if (GetParam().folderAway) sync();
  ASSERT_THAT(a->titles(), Contains("P1"));
  if (GetParam().deletes) {
    a->remove("P1");
  } else {
    a->rename("P1", "P1 retitled after the restore");
  }
  if (GetParam().folderAway) {
    sync();
    std::filesystem::remove(offline);
  }
  sync(3);

  const std::vector<std::string> expected =
      GetParam().deletes ? std::vector<std::string>{"On b"}
                         : std::vector<std::string>{"On b", "P1 retitled after the restore"};
  EXPECT_EQ(a->titles(), expected);
  EXPECT_EQ(b->titles(), expected);
}

INSTANTIATE_TEST_SUITE_P(DeleteOrRetitle, MirrorRestoredStamps,
                         ::testing::Values(RestoredChange{true, true}, RestoredChange{true, false},
                                           RestoredChange{false, true}, RestoredChange{false, false}),
                         [](const ::testing::TestParamInfo<RestoredChange>& info) {
                           return std::string(info.param.deletes ? "Delete" : "Retitle") +
                                  (info.param.folderAway ? "WhileTheFolderIsAway" : "BeforeItsFirstImport");
                         });

}  // namespace
}  // namespace platform
