// A change is stamped once, when it is made, and every later writing of it carries that stamp: a
// store put back from a backup, a copy of a data folder started later, and a clone of a disk writing
// under the same journal name never put a change they made before above what other machines changed
// since. Every machine, and fresh ones reading the journals in either order, end with the library
// the acknowledged changes made.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// What another machine does to a note the store changed before it was put back.
enum class LaterChange { retitle, deletion };

class MirrorStampKept : public MirrorTest {
 protected:
  // The records the journals hold two different lines of: each change is written under the stamp it
  // was made with, so writing it again repeats its line.
  static std::set<std::string> recordsWrittenTwoWays(const std::vector<std::filesystem::path>& journals) {
    const std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();
    std::map<UUID, std::set<std::string>> lines;
    for (const std::filesystem::path& journal : journals) {
      std::istringstream contents(fileContents(journal));
      for (std::string line; std::getline(contents, line);)
        lines[valueOrFail(decodeJournalLine(line, *model)).record].insert(line);
    }
    std::set<std::string> twice;
    for (const auto& [record, written] : lines)
      if (written.size() > 1) twice.insert(record.uuidString());
    return twice;
  }

  // a and b start; a makes P, with a page, while the mirror folder is away.
  void makePWhileTheFolderIsAway(std::unique_ptr<Device>& a, std::unique_ptr<Device>& b) {
    a = makeDevice("a");
    b = makeDevice("b");
    sync(2);
    goOffline();
    sync();
    a->addNote("P", 1);
  }

  // Every machine shows `titles` and `pages`, and so do fresh machines reading the journals forward
  // and backward.
  void expectEverywhere(const std::vector<Device*>& machines, const std::vector<std::string>& titles,
                        const std::vector<std::string>& pages) {
    for (Device* machine : machines) {
      EXPECT_THAT(machine->titles(), ElementsAreArray(titles)) << machine->storePath();
      EXPECT_THAT(machine->pages(), ElementsAreArray(pages)) << machine->storePath();
    }
    auto joining = makeDevice("joining");
    sync(3);
    EXPECT_THAT(joining->titles(), ElementsAreArray(titles)) << "a machine that joins";
    EXPECT_THAT(joining->pages(), ElementsAreArray(pages)) << "a machine that joins";
    joining.reset();
    std::vector<std::filesystem::path> journals = journalFiles();
    std::sort(journals.begin(), journals.end());
    expectBothReadingOrdersShow(journals, titles, pages);
  }
};

// How the store put back from the backup first meets the mirror folder.
enum class FirstContact {
  // Its first cycle exports, then imports.
  cycle,
  // An import asked for at once reads a chunk, then meets the change not yet exported.
  importAskedFor,
  // The folder is away at first, and the user makes another change meanwhile.
  afterAChangeMadeWhileAway,
};

struct RestoredChange {
  LaterChange later;
  FirstContact contact;
};

class MirrorRestoredChange : public MirrorStampKept, public ::testing::WithParamInterface<RestoredChange> {};

// a makes P while its folder is away, and its data folder is backed up then, while it runs. P leaves, b
// changes it, a reads that and makes Q; then a's data folder is put back from the backup, with P not yet
// exported.
TEST_P(MirrorRestoredChange, NeverComesAboveWhatOthersChangedSince) {
  const bool retitles = GetParam().later == LaterChange::retitle;
  std::unique_ptr<Device> a;
  std::unique_ptr<Device> b;
  makePWhileTheFolderIsAway(a, b);
  // Backed up while it runs, having tried to send P a few times.
  sync(3);
  copyDataFolder("a", "a backup");
  goOnline();
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("P"));

  if (retitles) {
    b->rename("P", "P retitled on b");
  } else {
    b->remove("P");
  }
  sync(2);
  a->addNote("Q");
  sync(2);
  restoreBackup(a, "a");

  std::vector<std::string> titles{"Q"};
  if (retitles) titles.insert(titles.begin(), "P retitled on b");
  switch (GetParam().contact) {
    case FirstContact::cycle:
      a = makeDevice("a");
      break;
    case FirstContact::importAskedFor:
      a = makeDevice("a");
      a->container().importNow({});
      dispatch.drain();
      break;
    case FirstContact::afterAChangeMadeWhileAway:
      goOffline();
      a = makeDevice("a");
      sync(2);
      a->addNote("R after the restore");
      sync(2);
      goOnline();
      titles.push_back("R after the restore");
      break;
  }
  sync(3);

  const std::vector<std::string> pages =
      retitles ? std::vector<std::string>{"P page 1@P retitled on b"} : std::vector<std::string>{};
  expectEverywhere({a.get(), b.get()}, titles, pages);
  EXPECT_THAT(recordsWrittenTwoWays({journalOf(*a)}), IsEmpty()) << "P went out again as it had gone out";
  for (int run = 0; run < 2; ++run) {
    a.reset();
    a = makeDevice("a");
    sync(2);
  }
  EXPECT_EQ(a->journalName(), a->device().uuidString()) << "put back once, the store keeps its name";
}

std::string restoredChangeName(const ::testing::TestParamInfo<RestoredChange>& info) {
  std::string name = info.param.later == LaterChange::retitle ? "Retitled" : "Deleted";
  switch (info.param.contact) {
    case FirstContact::cycle:
      return name + "FirstCycle";
    case FirstContact::importAskedFor:
      return name + "ImportAskedFor";
    case FirstContact::afterAChangeMadeWhileAway:
      break;
  }
  return name + "AfterAChangeMadeWhileAway";
}

std::vector<RestoredChange> everyRestoredChange() {
  std::vector<RestoredChange> all;
  for (LaterChange later : {LaterChange::retitle, LaterChange::deletion}) {
    for (FirstContact contact :
         {FirstContact::cycle, FirstContact::importAskedFor, FirstContact::afterAChangeMadeWhileAway})
      all.push_back(RestoredChange{later, contact});
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, MirrorRestoredChange, ::testing::ValuesIn(everyRestoredChange()),
                         restoredChangeName);

// a's clock has taken a stamp of b, whose clock runs an hour fast, so a stamps its changes by counting
// up from it. Away from the folder, a retitles "Second", then "First", and is backed up; then it
// retitles "First" again, then "Second", and that goes out. Put back, it sends the two earlier
// retitles it holds counting up from the same stamp as its earlier self did: each must stay below the
// later retitle of its note, whichever order the earlier self sent them in.
TEST_F(MirrorStampKept, ARestoredStoreWhoseClockCountsUpSendsItsOlderChangesBelowItsEarlierSelfsLaterOnes) {
  LeadingClock fast{dispatch.clock()};
  fast.setLead(1.0 / 24);
  auto a = makeDevice("a");
  auto b = makeDevice("b", fast);
  b->addNote("First");
  b->addNote("Second");
  sync(2);
  ASSERT_THAT(a->titles(), ElementsAre("First", "Second"));

  goOffline();
  sync();
  a->rename("Second", "Second retitled");
  a->rename("First", "First retitled");
  sync(2);
  copyDataFolder("a", "a backup");
  a->rename("First retitled", "First retitled again");
  a->rename("Second retitled", "Second retitled again");
  goOnline();
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("First retitled again", "Second retitled again"));
  restoreBackup(a, "a");
  a = makeDevice("a");
  sync(3);

  expectEverywhere({a.get(), b.get()}, {"First retitled again", "Second retitled again"}, {});
}

// a, whose clock runs 45 days ahead, retitles b's note N just after it found b's journal gone and
// before it wrote again what that journal held. Written again, N goes out under b's stamp as b made
// it, not with a's retitle: the retitle travels under its own stamp alone, which c holds until its
// clock comes within reach. So c never shows it before then, and its deletion of the note it shows
// comes before the retitle, as the stamps say.
TEST_F(MirrorStampKept, ARecordWrittenAgainNeverCarriesAChangeNotYetSentUnderItsOlderStamp) {
  LeadingClock ahead{dispatch.clock()};
  ahead.setLead(45);
  auto a = makeDevice("a", ahead);
  auto b = makeDevice("b");
  auto c = makeDevice("c");
  b->addNote("N");
  sync(2);
  ASSERT_THAT(a->titles(), ElementsAre("N"));
  const std::filesystem::path journalOfB = journalOf(*b);
  b.reset();
  std::filesystem::remove(journalOfB);
  a->container().importNow({});
  dispatch.drain();
  a->rename("N", "N retitled on a");
  sync(2);

  EXPECT_THAT(c->titles(), ElementsAre("N")) << "the retitle is stamped beyond c's reach";
  c->remove("N");
  sync(2);
  ahead.setLead(0);
  dispatch.clock().advanceWall(std::chrono::hours(24 * 100));
  sync(3);
  expectEverywhere({a.get(), c.get()}, {"N retitled on a"}, {});
}

// A data folder copied elsewhere writes what it holds again under a journal name of its own: each
// record with the very line that made its state, the stamp's device included, so that it orders
// against other lines under the same clock as it did.
TEST_F(MirrorStampKept, AStoreWritingUnderANewNameWritesEveryRecordWithTheStampItWasMadeWith) {
  auto a = makeDevice("a");
  a->addNote("Kept", 1);
  a->addNote("Gone", 1);
  a->remove("Gone");
  sync(2);
  a.reset();
  copyDataFolder("a", "a elsewhere");
  auto copy = makeDevice("a elsewhere");
  sync(2);

  ASSERT_EQ(journalFiles().size(), 2u);
  EXPECT_GE(lineCount(journals() / (copy->journalName() + ".jsonl")), 3u)
      << "the note, its page and the deletion";
  EXPECT_THAT(recordsWrittenTwoWays(journalFiles()), IsEmpty());
}

// A home copied to a second machine while a change had not left the first: where the copy lies (in
// another place, so it writes under a new name; or in the same place on a machine of the same name,
// so it writes under the original's), and which of the two machines starts first.
struct CopiedHome {
  bool samePlace;
  bool copyStartsFirst;
};

class MirrorCopiedHome : public MirrorStampKept, public ::testing::WithParamInterface<CopiedHome> {
 protected:
  std::unique_ptr<Device> startCopy() {
    auto copy = makeDevice("a2");
    if (GetParam().samePlace) copy->claimHome();
    return copy;
  }
};

TEST_P(MirrorCopiedHome, ItsUnexportedChangeNeverComesAboveLaterOnes) {
  std::unique_ptr<Device> a;
  std::unique_ptr<Device> b;
  makePWhileTheFolderIsAway(a, b);
  a.reset();
  copyDataFolder("a", "a2");

  std::unique_ptr<Device> a2;
  if (GetParam().copyStartsFirst) {
    // The copy sends P and deletes it; then the original sends P again.
    goOnline();
    a2 = startCopy();
    sync(2);
    a2->remove("P");
    sync(2);
    a = makeDevice("a");
    sync(3);
    expectEverywhere({a.get(), a2.get(), b.get()}, {}, {});
    return;
  }
  // The original sends P, b retitles it, the original makes Q; then the copy starts.
  a = makeDevice("a");
  goOnline();
  sync(2);
  b->rename("P", "P retitled on b");
  sync(2);
  a->addNote("Q");
  sync(2);
  a2 = startCopy();
  sync(3);
  expectEverywhere({a.get(), a2.get(), b.get()}, {"P retitled on b", "Q"}, {"P page 1@P retitled on b"});
}

INSTANTIATE_TEST_SUITE_P(EitherPlaceEitherOrder, MirrorCopiedHome,
                         ::testing::Values(CopiedHome{false, false}, CopiedHome{false, true},
                                           CopiedHome{true, false}, CopiedHome{true, true}),
                         [](const ::testing::TestParamInfo<CopiedHome>& info) {
                           return std::string(info.param.samePlace ? "SamePlace" : "ElsewhereNewName") +
                                  (info.param.copyStartsFirst ? "CopyFirst" : "OriginalFirst");
                         });

// Where c's data folder is when its backup is put back.
enum class RestoredWhere {
  inPlace,
  // It had moved to another place, and taken a new journal name, and the backup is put back there.
  whereItMoved,
  // It had moved, and the backup is put back where it was before.
  whereItWas,
};

// c edits P and deletes Z while its folder is away, and its data folder is backed up then, while it
// runs. a and b each add a page to Z; c comes back (Z stays, with every page: the pages came after
// the deletion); b deletes P; c reads that and adds a page to Z. Then c's data folder is put back from
// the backup, which still holds the edit and the deletion as not exported.
class MirrorRestoredOldChanges : public MirrorStampKept,
                                 public ::testing::WithParamInterface<RestoredWhere> {};

TEST_P(MirrorRestoredOldChanges, NeverComeAboveThreeMachinesEdits) {
  giveOwnDoor("c");
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto c = makeDevice("c");
  a->addNote("P");
  a->addNote("Z", 1);
  sync(2);
  ASSERT_THAT(c->titles(), ElementsAre("P", "Z"));

  setAway("c", true);
  sync();
  c->rename("P", "P edited on c");
  c->remove("Z");
  sync(2);
  copyDataFolder("c", "c backup");
  a->addPage("Z", "on a", now());
  sync(2);
  b->addPage("Z", "on b", now());
  sync(2);
  setAway("c", false);
  sync(2);
  ASSERT_THAT(c->titles(), ElementsAre("P edited on c", "Z"));
  ASSERT_THAT(b->titles(), ElementsAre("P edited on c", "Z"));

  std::string place = "c";
  if (GetParam() != RestoredWhere::inPlace) {
    c.reset();
    place = "c moved";
    std::filesystem::rename(folder.path() / "c", folder.path() / place);
    giveOwnDoor(place);
    c = makeDevice(place);
    sync(2);
  }
  b->remove("P edited on c");
  sync(2);
  c->addPage("Z", "on c", now());
  sync(2);
  c.reset();
  std::filesystem::remove_all(folder.path() / place);
  if (GetParam() == RestoredWhere::whereItWas) place = "c";
  std::filesystem::rename(folder.path() / "c backup", folder.path() / place);
  c = makeDevice(place);
  sync(3);

  expectEverywhere({a.get(), b.get(), c.get()}, {"Z"}, {"Z page 1@Z", "on a@Z", "on b@Z", "on c@Z"});
}

INSTANTIATE_TEST_SUITE_P(AnyPlace, MirrorRestoredOldChanges,
                         ::testing::Values(RestoredWhere::inPlace, RestoredWhere::whereItMoved,
                                           RestoredWhere::whereItWas),
                         [](const ::testing::TestParamInfo<RestoredWhere>& info) {
                           switch (info.param) {
                             case RestoredWhere::inPlace:
                               return std::string("InPlace");
                             case RestoredWhere::whereItMoved:
                               return std::string("WhereItMoved");
                             case RestoredWhere::whereItWas:
                               break;
                           }
                           return std::string("WhereItWasBeforeItMoved");
                         });

// c's disk is cloned onto c2, in the same place on a machine of the same name: both write under one
// journal name into the one mirror folder. c2 makes X and c reads it; with its folder away, c2
// edits X and deletes Y; then a adds a page to Y and c deletes X. With `restarts`, c2 is started again
// before its folder comes back.
class MirrorClonedInPlace : public MirrorStampKept, public ::testing::WithParamInterface<bool> {
 protected:
  void cloneCOntoC2(std::unique_ptr<Device>& c, std::unique_ptr<Device>& c2) {
    c.reset();
    copyDataFolder("c", "c2");
    c = makeDevice("c");
    c2 = makeDevice("c2");
    c2->claimHome();
    ASSERT_EQ(c->device(), c2->device());
  }
};

TEST_P(MirrorClonedInPlace, ItsOfflineChangesNeverComeAboveTheOriginals) {
  giveOwnDoor("c2");
  auto a = makeDevice("a");
  auto c = makeDevice("c");
  a->addNote("Y", 1);
  sync(2);
  std::unique_ptr<Device> c2;
  cloneCOntoC2(c, c2);
  sync(2);
  c2->addNote("X");
  sync(2);
  ASSERT_THAT(c->titles(), ElementsAre("X", "Y"));

  setAway("c2", true);
  sync();
  c2->rename("X", "X edited on c2");
  c2->remove("Y");
  dispatch.advance(std::chrono::seconds(1));
  a->addPage("Y", "on a", now());
  c->remove("X");
  sync(2);
  if (GetParam()) {
    c2.reset();
    c2 = makeDevice("c2");
    sync();
  }
  setAway("c2", false);
  sync(3);

  expectEverywhere({a.get(), c.get(), c2.get()}, {"Y"}, {"Y page 1@Y", "on a@Y"});
  EXPECT_NE(c->journalName(), c2->journalName()) << "the clones write under names of their own";
}

INSTANTIATE_TEST_SUITE_P(RunningOrRestarted, MirrorClonedInPlace, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Restarted" : "Running");
                         });

// The clone and the original run in turn, never at once, each writing under the one journal name
// between the other's runs, one of them once with its folder away, so that the original meets lines it
// did not write in every other run only: they notice it all the same and take names of their own, and
// lose nothing.
TEST_F(MirrorStampKept, ClonesRunningInTurnTakeNamesOfTheirOwn) {
  giveOwnDoor("c2");
  auto a = makeDevice("a");
  auto c = makeDevice("c");
  a->addNote("Shared");
  sync(2);
  c.reset();
  copyDataFolder("c", "c2");
  // Runs the machine once, adding a note; answers the journal name it wrote under.
  const auto runOnce = [&](const std::string& name, const std::string& title, bool away) {
    setAway(name, away);
    auto machine = makeDevice(name);
    if (name == "c2" && title == "From c2 1") machine->claimHome();
    machine->addNote(title);
    sync(2);
    const std::string journal = machine->journalName();
    machine.reset();
    setAway(name, false);
    return journal;
  };
  runOnce("c2", "From c2 1", false);
  runOnce("c", "From c 1", false);
  runOnce("c2", "From c2 2", true);
  runOnce("c", "From c 2", false);
  const std::string clone = runOnce("c2", "From c2 3", false);
  const std::string original = runOnce("c", "From c 3", false);
  EXPECT_NE(original, clone) << "the clones write under names of their own";

  c = makeDevice("c");
  auto c2 = makeDevice("c2");
  sync(3);
  expectEverywhere({a.get(), c.get(), c2.get()},
                   {"From c 1", "From c 2", "From c 3", "From c2 1", "From c2 2", "From c2 3", "Shared"}, {});
  EXPECT_NE(c->journalName(), c2->journalName());
}

// The clone and the original both work at once, through the one journal name: every change either
// makes is kept or overridden by the later one, everywhere.
TEST_F(MirrorStampKept, ClonesWorkingAtOnceKeepEachOthersLaterChanges) {
  auto a = makeDevice("a");
  auto c = makeDevice("c");
  a->addNote("X", 1);
  a->addNote("Y");
  sync(2);
  c.reset();
  copyDataFolder("c", "c2");
  c = makeDevice("c");
  auto c2 = makeDevice("c2");
  c2->claimHome();
  sync(2);

  c2->rename("X", "X on c2");
  sync(2);
  c->rename("X on c2", "X on c");
  c->addNote("From c");
  sync(2);
  c2->addNote("From c2");
  c2->remove("Y");
  sync(2);
  c->addPage("X on c", "page on c", now());
  sync(3);

  expectEverywhere({a.get(), c.get(), c2.get()}, {"From c", "From c2", "X on c"},
                   {"X page 1@X on c", "page on c@X on c"});
  EXPECT_NE(c->journalName(), c2->journalName()) << "the clones write under names of their own";
}

}  // namespace
}  // namespace platform
