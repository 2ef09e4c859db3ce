// Journals that lose lines other machines had read: cut or torn at the end, put back to an older
// copy, emptied, or gone. Whoever holds what a journal lost, and finds it in no journal any more,
// writes it again (held lines included), so that every machine, also one that never read those
// lines, ends with every edit, and what was lost is written again once rather than by every reader.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::Le;

class MirrorLostLines : public MirrorTest {
 protected:
  // a makes the first three notes, and every device there takes them.
  void addFirstNotes(Device& a) {
    a.addNote("P1");
    a.addNote("P2");
    a.addNote("P3");
    sync(2);
  }

  // Each of the devices holds every note, P4 with its pages.
  void expectEachHoldsAll(std::initializer_list<Device*> devices) {
    for (Device* device : devices) {
      EXPECT_EQ(device->titles(), all);
      EXPECT_EQ(device->pages(), pagesOfP4);
    }
  }

  const std::vector<std::string> all{"P1 edited", "P2", "P3", "P4"};
  const std::vector<std::string> pagesOfP4{"P4 page 1@P4", "P4 page 2@P4"};
};

enum class Damage { lastLineTorn, lastTwoLinesCut, folderPutBack, folderEmptied };

class MirrorLostEnd : public MirrorLostLines, public ::testing::WithParamInterface<Damage> {};

// a's data folder is put back from a backup, and its journal lost the lines b had read since: b
// writes them again, and a, b and a machine that joins later agree.
TEST_P(MirrorLostEnd, AStoreRestoredFromABackupGetsBackWhatItsCutJournalLost) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  addFirstNotes(*a);
  backUp(a, "a");
  std::filesystem::copy(root(), folder.path() / "mirror backup", std::filesystem::copy_options::recursive);

  a->addNote("P4", 2);
  a->rename("P1", "P1 edited");
  sync(2);
  ASSERT_EQ(b->titles(), all);

  switch (GetParam()) {
    case Damage::lastLineTorn: {
      const std::uintmax_t size = std::filesystem::file_size(journalOf(*a));
      std::filesystem::resize_file(journalOf(*a), size - 5);
      break;
    }
    case Damage::lastTwoLinesCut:
      cutLines(journalOf(*a), 2);
      break;
    case Damage::folderPutBack:
      std::filesystem::remove_all(root());
      std::filesystem::rename(folder.path() / "mirror backup", root());
      break;
    case Damage::folderEmptied:
      for (const auto& entry : std::filesystem::directory_iterator(journals()))
        std::filesystem::remove(entry.path());
      break;
  }
  restoreBackup(a, "a");
  a = makeDevice("a");
  sync(3);
  auto d = makeDevice("d");
  sync(2);

  expectEachHoldsAll({a.get(), b.get(), d.get()});
}

INSTANTIATE_TEST_SUITE_P(EveryDamage, MirrorLostEnd,
                         ::testing::Values(Damage::lastLineTorn, Damage::lastTwoLinesCut,
                                           Damage::folderPutBack, Damage::folderEmptied),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           switch (info.param) {
                             case Damage::lastLineTorn:
                               return "LastLineTorn";
                             case Damage::lastTwoLinesCut:
                               return "LastTwoLinesCut";
                             case Damage::folderPutBack:
                               return "FolderPutBack";
                             case Damage::folderEmptied:
                               break;
                           }
                           return "FolderEmptied";
                         });

// a's journal was emptied and a wrote its state again, then made P4, which b took; then a's data
// folder is put back from a copy older than the emptying. a reads its journal, which started over,
// from its start.
TEST_F(MirrorLostLines, AStoreRestoredFromBeforeItsJournalStartedOverReadsItFromItsStart) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  addFirstNotes(*a);
  a->rename("P1", "P1 edited");
  sync(2);
  backUp(a, "a");

  // Written again, the journal holds a line for each record where it held one for each write.
  std::filesystem::resize_file(journalOf(*a), 0);
  sync(2);
  a->addNote("P4", 2);
  sync(2);
  ASSERT_EQ(b->titles(), all);

  restoreBackup(a, "a");
  a = makeDevice("a");
  sync(3);
  auto d = makeDevice("d");
  sync(2);
  expectEachHoldsAll({a.get(), b.get(), d.get()});
}

// A machine that is gone, and whose journal was removed from the folder: those who read it write
// what they took from it again, for a machine that joins later.
TEST_F(MirrorLostLines, TheChangesOfAMachineWhoseJournalWasRemovedReachAMachineThatJoinsLater) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto c = makeDevice("c");
  c->addNote("P1");
  c->addNote("P4", 2);
  c->addNote("Deleted by c");
  sync(2);
  c->rename("P1", "P1 edited");
  c->remove("Deleted by c");
  a->addNote("P2");
  a->addNote("P3");
  sync(2);
  const std::filesystem::path journalOfC = journalOf(*c);
  c.reset();
  std::filesystem::remove(journalOfC);
  sync(2);

  auto d = makeDevice("d");
  sync(2);
  expectEachHoldsAll({a.get(), b.get(), d.get()});
  b.reset();
  a.reset();
  auto e = makeDevice("e");
  sync(2);
  EXPECT_EQ(e->titles(), all) << "the deletion went out again too, or a copy it deleted would come back";
}

// Whether the journals the held lines were written again to are emptied too, while the lines are
// still held.
enum class HeldLinesLost { withTheirJournal, thenWhereWrittenAgain };

class MirrorHeldLinesLost : public MirrorLostLines, public ::testing::WithParamInterface<HeldLinesLost> {};

// x, whose clock ran 45 days ahead, made PX1 and edited PA, then made PX2 once its clock was put
// right (its stamps kept their lead); a and b hold those lines, and x's journal is gone before they
// come within reach. The held lines are written again as they are, so a machine that joins once
// they are within reach gets them too.
TEST_P(MirrorHeldLinesLost, LinesHeldFromAJournalThatIsThenGoneReachAMachineThatJoinsLater) {
  LeadingClock xClock{dispatch.clock()};
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto x = makeDevice("x", xClock);
  a->addNote("PA");
  sync(2);
  xClock.setLead(45);
  x->addNote("PX1");
  x->rename("PA", "PA edited on x");
  sync(2);
  xClock.setLead(0);
  x->addNote("PX2");
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("PA")) << "held until within reach";

  const std::filesystem::path journalOfX = journalOf(*x);
  x.reset();
  std::filesystem::remove(journalOfX);
  sync(2);
  if (GetParam() == HeldLinesLost::thenWhereWrittenAgain) {
    for (const auto& entry : std::filesystem::directory_iterator(journals()))
      std::filesystem::resize_file(entry.path(), 0);
    sync(2);
  }
  ASSERT_THAT(a->titles(), ElementsAre("PA")) << "still held";
  dispatch.clock().advanceWall(std::chrono::hours(24 * 16));
  sync(2);
  auto d = makeDevice("d");
  sync(2);

  for (Device* device : {a.get(), b.get(), d.get()})
    EXPECT_THAT(device->titles(), ElementsAre("PA edited on x", "PX1", "PX2"));
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, MirrorHeldLinesLost,
                         ::testing::Values(HeldLinesLost::withTheirJournal,
                                           HeldLinesLost::thenWhereWrittenAgain),
                         [](const ::testing::TestParamInfo<HeldLinesLost>& info) {
                           return info.param == HeldLinesLost::withTheirJournal ? "WithTheirJournal"
                                                                                : "ThenWhereWrittenAgain";
                         });

// x is gone with its journal; a writes PX again, and b, joining later, takes it from a's journal.
// Then a's journal is emptied: a writes again what it had written there for x too.
TEST_F(MirrorLostLines, RecordsWrittenAgainForAGoneJournalSurviveTheLossOfTheJournalTheyWereWrittenTo) {
  auto a = makeDevice("a");
  auto x = makeDevice("x");
  x->addNote("PX");
  x->addNote("Deleted by x");
  sync(2);
  x->remove("Deleted by x");
  a->addNote("PA");
  sync(2);
  const std::filesystem::path journalOfX = journalOf(*x);
  x.reset();
  std::filesystem::remove(journalOfX);
  sync(2);
  auto b = makeDevice("b");
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("PA", "PX"));

  std::filesystem::resize_file(journalOf(*a), 0);
  sync(3);
  auto d = makeDevice("d");
  sync(2);
  for (Device* device : {a.get(), b.get(), d.get()}) EXPECT_THAT(device->titles(), ElementsAre("PA", "PX"));
}

// A line that names the very write a reader holds, but cannot be read, holds nothing for the
// machines that read it: the reader writes the record again all the same.
TEST_F(MirrorLostLines, AnUnreadableLineNamingAWriteDoesNotCountAsHoldingIt) {
  WrittenDevice x{journals()};
  const UUID record = UUID::random();
  const JournalEntry written =
      x.note(HybridLogicalClock::physicalStamp(dispatch.clock().now()), record, "PX");
  x.write({written});
  auto a = makeDevice("a");
  sync(2);
  ASSERT_THAT(a->titles(), ElementsAre("PX"));

  // The same clock, device and record, but a title that is no text.
  std::string line = encodeJournalLine(written);
  line.replace(line.find("\"PX\""), 4, "7");
  std::filesystem::remove(x.file());
  x.writeLines({line});
  sync(3);
  auto d = makeDevice("d");
  sync(2);
  EXPECT_THAT(d->titles(), ElementsAre("PX"));
}

// Who finds first that a's journal lost lines: a itself, or its readers.
enum class FirstToFind { owner, readers };

class MirrorLostLinesWrittenOnce : public MirrorLostLines, public ::testing::WithParamInterface<FirstToFind> {
 protected:
  // The bytes the device has written into its journal.
  std::uintmax_t writtenBy(const Device& device) const {
    const std::filesystem::path journal = journalOf(device);
    return std::filesystem::exists(journal) ? std::filesystem::file_size(journal) : 0;
  }
};

// a makes 40 notes and edits each twice; b, c and d read them; a's journal is put back to its first
// half. When a writes its state again before its readers find the loss, the journals hold every
// current state again and the readers write almost nothing; when the readers find it first, the
// first of them writes what was lost, and the others find it there.
TEST_P(MirrorLostLinesWrittenOnce, WhatAJournalLostIsWrittenAgainOnceNotByEveryReader) {
  constexpr int kNotes = 40;
  const auto title = [](int note, int version) {
    return "P" + std::to_string(note) + (version > 1 ? " v" + std::to_string(version) : "");
  };
  auto a = makeDevice("a");
  std::vector<std::unique_ptr<Device>> readers;
  for (const char* name : {"b", "c", "d"}) readers.push_back(makeDevice(name));
  for (int note = 1; note <= kNotes; ++note) a->addNote(title(note, 1));
  sync(2);
  for (int version = 2; version <= 3; ++version) {
    for (int note = 1; note <= kNotes; ++note) a->rename(title(note, version - 1), title(note, version));
    sync(2);
  }
  std::vector<std::string> current;
  for (int note = 1; note <= kNotes; ++note) current.push_back(title(note, 3));
  std::sort(current.begin(), current.end());
  const std::uintmax_t journalSize = std::filesystem::file_size(journalOf(*a));

  cutLines(journalOf(*a), lineCount(journalOf(*a)) / 2);
  if (GetParam() == FirstToFind::readers) {
    for (const auto& reader : readers) reader->container().importNow({});
  }
  a->container().exportNow({});
  dispatch.drain();
  sync(3);

  std::uintmax_t readersWrote = 0;
  for (const auto& reader : readers) {
    if (GetParam() == FirstToFind::owner) {
      EXPECT_THAT(writtenBy(*reader), Le(journalSize / 10)) << "a's journal holds every current state again";
    }
    readersWrote += writtenBy(*reader);
    EXPECT_EQ(reader->titles(), current);
  }
  EXPECT_THAT(readersWrote, Le(journalSize / 2)) << "the current states, once";
  auto e = makeDevice("e");
  sync(2);
  EXPECT_EQ(e->titles(), current);
  const std::uintmax_t written = journalBytes();
  sync(10);
  EXPECT_EQ(journalBytes(), written) << "idle polls write nothing more";
}

INSTANTIATE_TEST_SUITE_P(EitherFirst, MirrorLostLinesWrittenOnce,
                         ::testing::Values(FirstToFind::owner, FirstToFind::readers),
                         [](const ::testing::TestParamInfo<FirstToFind>& info) {
                           return info.param == FirstToFind::owner ? "OwnerFirst" : "ReadersFirst";
                         });

// a's journal is emptied when every record a holds is in b's: a has nothing to write again, and
// finds that once rather than at every poll; what it writes afterwards reaches the others.
TEST_F(MirrorLostLines, AnEmptiedJournalWithNothingToWriteAgainIsLookedAtOnce) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("P1");
  sync(2);
  b->rename("P1", "P1 edited");
  sync(2);
  std::filesystem::resize_file(journalOf(*a), 0);
  sync(3);
  const std::size_t exports = a->ended(MirrorEvent::Type::Export).size();
  sync(5);
  EXPECT_EQ(a->ended(MirrorEvent::Type::Export).size(), exports);
  EXPECT_EQ(std::filesystem::file_size(journalOf(*a)), 0u);

  a->addNote("P2");
  sync(2);
  auto d = makeDevice("d");
  sync(2);
  EXPECT_THAT(d->titles(), ElementsAre("P1 edited", "P2"));
}

// A sync tool that rewrites a journal in place lets a reader see it cut short for a moment. Once it
// holds again what the reader had read, nothing was lost, and nothing is written again.
TEST_F(MirrorLostLines, AJournalCutOnlyForAMomentIsNotWrittenAgain) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  a->addNote("P1");
  a->addNote("P2");
  sync(2);
  const std::string whole = fileContents(journalOf(*a));
  std::filesystem::resize_file(journalOf(*a), whole.size() / 2);
  b->container().importNow({});
  dispatch.drain();
  std::ofstream(journalOf(*a), std::ios::trunc | std::ios::binary) << whole;
  sync(2);
  const std::filesystem::path journalOfB = journalOf(*b);

  EXPECT_FALSE(std::filesystem::exists(journalOfB) && lineCount(journalOfB) > 0)
      << "b wrote nothing of its own, and a's journal lost nothing";
  EXPECT_THAT(b->titles(), ElementsAre("P1", "P2"));
}

}  // namespace
}  // namespace platform
