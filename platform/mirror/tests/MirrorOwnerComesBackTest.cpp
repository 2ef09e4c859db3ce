// A note deleted with its pages on one machine and saved later on another comes back with every page
// it had: on the deleting machine, on the others, and on a fresh machine reading the journals in any
// order, without help from the machine that saved it, which is never run again. A page deleted on its
// own stays deleted.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MirrorOwnerComesBack : public MirrorTest {
 protected:
  static void removePage(Device& device, const std::string& content) {
    auto context = device.writer();
    for (const ManagedObject& page : fetchAll(*context, "Page")) {
      if (text(page, "content") == content) context->deleteObject(page);
    }
    saveOrFail(*context);
  }

  // b adds a page to "Plan" while a is off; e reads it and stops; a, back, deletes "Plan" before it
  // has read the page, which then reaches a with its note gone.
  void deleteTheNoteWithoutItsNewPage(std::unique_ptr<Device>& a, Device& b, std::unique_ptr<Device>& e) {
    a.reset();
    b.addPage("Plan", "added on b", now());
    sync(2);
    e.reset();
    goOffline();
    a = makeDevice("a");
    sync();
    a->remove("Plan");
    goOnline();
    sync(2);
  }

  // e, which had not seen the deletion, retitles "Plan" to "Plan kept".
  void keepTheNote(std::unique_ptr<Device>& e) {
    goOffline();
    e = makeDevice("e");
    sync();
    e->rename("Plan", "Plan kept");
    goOnline();
  }
};

enum class LaterSave { retitle, addPage };

class MirrorNoteSavedAfterItsDeletion : public MirrorOwnerComesBack,
                                        public ::testing::WithParamInterface<LaterSave> {};

TEST_P(MirrorNoteSavedAfterItsDeletion, ComesBackWithEveryPageOnTheDeletingMachineAndInEveryReadingOrder) {
  auto editor = makeDevice("editor");
  auto deleter = makeDevice("deleter");
  editor->addNote("Plan", 2);
  sync(2);
  const std::filesystem::path editorJournal = journalOf(*editor);
  const std::filesystem::path deleterJournal = journalOf(*deleter);

  goOffline();
  deleter->remove("Plan");
  deleter.reset();
  dispatch.advance(std::chrono::seconds(3));
  std::string title = "Plan";
  if (GetParam() == LaterSave::retitle) {
    title = "Plan kept";
    editor->rename("Plan", title);
  } else {
    editor->addPage("Plan", "Plan page 3", now());
  }
  goOnline();
  sync(2);
  editor.reset();

  deleter = makeDevice("deleter");
  sync(3);
  std::vector<std::string> pages{"Plan page 1@" + title, "Plan page 2@" + title};
  if (GetParam() == LaterSave::addPage) pages.push_back("Plan page 3@" + title);
  EXPECT_THAT(deleter->titles(), ElementsAre(title));
  EXPECT_EQ(deleter->pages(), pages);
  expectEveryReadingOrderShows({editorJournal, deleterJournal}, {title}, pages);
}

INSTANTIATE_TEST_SUITE_P(EitherSave, MirrorNoteSavedAfterItsDeletion,
                         ::testing::Values(LaterSave::retitle, LaterSave::addPage),
                         [](const ::testing::TestParamInfo<LaterSave>& info) {
                           return info.param == LaterSave::retitle ? "Retitle" : "AddPage";
                         });

// The deleting machine never read the page added last; it reads the retitle only after the page.
TEST_F(MirrorOwnerComesBack, APageTheDeletingMachineNeverSawComesBackWithTheOthers) {
  auto editor = makeDevice("editor");
  auto deleter = makeDevice("deleter");
  editor->addNote("Plan", 3);
  sync(2);
  const std::filesystem::path editorJournal = journalOf(*editor);
  const std::filesystem::path deleterJournal = journalOf(*deleter);
  deleter.reset();
  editor->addPage("Plan", "Plan page 4", now());
  sync(2);

  goOffline();
  deleter = makeDevice("deleter");
  sync();
  deleter->remove("Plan");
  dispatch.advance(std::chrono::seconds(1));
  editor->rename("Plan", "Plan kept");
  editor.reset();
  goOnline();
  sync(2);
  EXPECT_THAT(deleter->titles(), IsEmpty());
  editor = makeDevice("editor");
  sync(2);
  editor.reset();
  sync(2);

  const std::vector<std::string> pages{"Plan page 1@Plan kept", "Plan page 2@Plan kept",
                                       "Plan page 3@Plan kept", "Plan page 4@Plan kept"};
  EXPECT_THAT(deleter->titles(), ElementsAre("Plan kept"));
  EXPECT_EQ(deleter->pages(), pages);
  expectEveryReadingOrderShows({editorJournal, deleterJournal}, {"Plan kept"}, pages);
}

// The page reaches a after a deleted its note without having seen it, and b, which added it, is then
// gone with its journal: a writes the page again as b's line had it, linked to the note. The note
// comes back from e, which had not seen the deletion: the page is in it on every machine.
TEST_F(MirrorOwnerComesBack, APageWrittenAgainWhileItsNoteWasDeletedComesBackInTheNote) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto e = makeDevice("e");
  a->addNote("Plan");
  sync(2);
  const std::filesystem::path journalOfE = journalOf(*e);
  deleteTheNoteWithoutItsNewPage(a, *b, e);
  const std::filesystem::path journalOfB = journalOf(*b);
  b.reset();
  std::filesystem::remove(journalOfB);
  sync(3);
  keepTheNote(e);
  sync(2);
  e.reset();
  sync(2);

  EXPECT_THAT(a->titles(), ElementsAre("Plan kept"));
  EXPECT_THAT(a->pages(), ElementsAre("added on b@Plan kept"));
  expectEveryReadingOrderShows({journalOf(*a), journalOfE}, {"Plan kept"}, {"added on b@Plan kept"});
}

// While the page waits on a for its deleted note, a moves it into another note: when the note comes
// back, the page stays where a put it, on a as on every other machine.
TEST_F(MirrorOwnerComesBack, APageMovedWhileItWaitedForItsDeletedNoteStaysWhereItWasMoved) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto e = makeDevice("e");
  a->addNote("Plan");
  a->addNote("Other");
  sync(2);
  deleteTheNoteWithoutItsNewPage(a, *b, e);
  {
    auto context = a->writer();
    std::vector<ManagedObject> pages = fetchAll(*context, "Page");
    ASSERT_EQ(pages.size(), 1u);
    pages[0].setRelatedObject("note", *a->note("Other", *context));
    saveOrFail(*context);
  }
  sync(2);
  keepTheNote(e);
  sync(3);

  for (Device* device : {a.get(), b.get(), e.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Other", "Plan kept"));
    EXPECT_THAT(device->pages(), ElementsAre("added on b@Other"));
  }
}

TEST_F(MirrorOwnerComesBack, PagesAddedBeforeAndAfterADeletionThatMissedThemAllStayOnEveryMachine) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  auto c = makeDevice("c");
  a->addNote("Plan", 1);
  sync(2);

  goOffline();
  a->addPage("Plan", "two", now());
  dispatch.advance(std::chrono::seconds(1));
  b->remove("Plan");
  dispatch.advance(std::chrono::seconds(1));
  c->addPage("Plan", "three", now());
  goOnline();
  sync(4);

  const std::vector<std::string> pages{"Plan page 1@Plan", "three@Plan", "two@Plan"};
  for (Device* device : {a.get(), b.get(), c.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Plan"));
    EXPECT_EQ(device->pages(), pages);
  }
  expectEveryReadingOrderShows({journalOf(*a), journalOf(*b), journalOf(*c)}, {"Plan"}, pages);
}

// After a clock jump every machine stamps within one millisecond: the note's deletion and its pages'
// fall on either side of another machine's save of the note.
TEST_F(MirrorOwnerComesBack, ASaveStampedAmongTheDeletionsOfTheNoteAndItsPagesKeepsEveryPage) {
  const WrittenDevice creator(journals());
  const WrittenDevice deleter(journals());
  const WrittenDevice editor(journals());
  const std::int64_t start = HybridLogicalClock::physicalStamp(now());
  const UUID note = UUID::random();
  const UUID first = UUID::random();
  const UUID second = UUID::random();
  creator.write({creator.note(start, note, "Plan"), creator.page(start + 1, first, "one", note),
                 creator.page(start + 2, second, "two", note)});
  const std::int64_t deleted = start + 10;
  deleter.write({deleter.deletion(deleted, "Note", note), deleter.deletion(deleted + 1, "Page", first),
                 deleter.deletion(deleted + 2, "Page", second)});
  editor.write({editor.note(deleted + 1, note, "Plan kept")});

  expectEveryReadingOrderShows({creator.file(), deleter.file(), editor.file()}, {"Plan kept"},
                               {"one@Plan kept", "two@Plan kept"});
}

// Whether the deleting machine's journal is read before or after the restored machine's own.
enum class DeletionRead { first, last };

class MirrorRestoredBeforeTheNote : public MirrorOwnerComesBack,
                                    public ::testing::WithParamInterface<DeletionRead> {};

// The restored machine had not read the deletion: what it knew of the note is only in its journal.
TEST_P(MirrorRestoredBeforeTheNote, GetsTheNoteItEditedAfterTheDeletionBackWhole) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  sync(2);
  backUp(a, "a");
  a->addNote("Plan", 1);
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("Plan"));

  goOffline();
  b->remove("Plan");
  b.reset();
  dispatch.advance(std::chrono::seconds(1));
  a->rename("Plan", "Plan kept");
  goOnline();
  sync(2);
  const std::filesystem::path restoredJournal = journalOf(*a);
  restoreBackup(a, "a");
  b = makeDevice("b");
  sync(2);
  const std::filesystem::path deleterJournal = journalOf(*b);
  b.reset();
  // The deleting machine is not run again: its journal can take a name read before or after the
  // restored machine's own.
  const std::string renamed = GetParam() == DeletionRead::first ? "00000000-0000-4000-8000-000000000000"
                                                                : "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF";
  const std::filesystem::path deletionJournal = journals() / (renamed + ".jsonl");
  std::filesystem::rename(deleterJournal, deletionJournal);

  a = makeDevice("a");
  sync(3);
  EXPECT_THAT(a->titles(), ElementsAre("Plan kept"));
  EXPECT_THAT(a->pages(), ElementsAre("Plan page 1@Plan kept"));
  expectEveryReadingOrderShows({restoredJournal, deletionJournal}, {"Plan kept"}, {"Plan page 1@Plan kept"});
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, MirrorRestoredBeforeTheNote,
                         ::testing::Values(DeletionRead::first, DeletionRead::last),
                         [](const ::testing::TestParamInfo<DeletionRead>& info) {
                           return info.param == DeletionRead::first ? "DeletionFirst" : "DeletionLast";
                         });

TEST_F(MirrorOwnerComesBack, APageDeletedOnItsOwnStaysDeletedWhenItsNoteIsEditedLater) {
  auto editor = makeDevice("editor");
  auto deleter = makeDevice("deleter");
  editor->addNote("Plan", 2);
  sync(2);

  goOffline();
  removePage(*deleter, "Plan page 2");
  dispatch.advance(std::chrono::seconds(3));
  editor->rename("Plan", "Plan kept");
  goOnline();
  sync(3);

  for (Device* device : {editor.get(), deleter.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Plan kept"));
    EXPECT_THAT(device->pages(), ElementsAre("Plan page 1@Plan kept"));
  }
  expectEveryReadingOrderShows({journalOf(*editor), journalOf(*deleter)}, {"Plan kept"},
                               {"Plan page 1@Plan kept"});

  // The deleting machine's journal is emptied: what it writes again of its state says so too.
  std::ofstream(journalOf(*deleter), std::ios::trunc).flush();
  sync(2);
  ASSERT_GT(lineCount(journalOf(*deleter)), 0u);
  expectEveryReadingOrderShows({journalOf(*editor), journalOf(*deleter)}, {"Plan kept"},
                               {"Plan page 1@Plan kept"});
}

// Where the note's save made after the deletion of the note and its page is: in the page's journal,
// after the page's older save, so that a reader meets both in one chunk; or in a journal of its own,
// so that the page's save meets neither its note nor its note's deletion in its chunk (as also when
// the note's save is held until the clock reaches it).
enum class NoteSaved { withThePage, apart };

class MirrorPageDeletedBeforeItsNoteCame : public MirrorOwnerComesBack,
                                           public ::testing::WithParamInterface<NoteSaved> {};

// A fresh machine may meet a page's deletion that went with its note's (written again into another
// journal) before anything else of the note, then the page's older save, and the note's save made
// after the deletion however many chunks later: the page comes back with the note in every reading
// order.
TEST_P(MirrorPageDeletedBeforeItsNoteCame, ComesBackWithTheNoteInEveryReadingOrder) {
  const std::int64_t now = HybridLogicalClock::physicalStamp(dispatch.clock().now());
  const std::int64_t second = std::int64_t{1000} << 16;
  const UUID note = UUID::random();
  const UUID page = UUID::random();
  WrittenDevice deleter{journals()};
  WrittenDevice copier{journals()};
  WrittenDevice writer{journals()};
  WrittenDevice keeper{journals()};
  deleter.write({deleter.deletion(now + 2 * second, "Note", note)});
  copier.write({deleter.deletion(now + 2 * second + 1, "Page", page)});
  const JournalEntry pageSaved = writer.page(now + second, page, "on the note", note);
  std::vector<std::filesystem::path> journals{deleter.file(), copier.file(), writer.file()};
  if (GetParam() == NoteSaved::withThePage) {
    writer.write({pageSaved, writer.note(now + 3 * second, note, "Kept")});
  } else {
    writer.write({pageSaved});
    keeper.write({keeper.note(now + 3 * second, note, "Kept")});
    journals.push_back(keeper.file());
  }

  expectEveryReadingOrderShows(journals, {"Kept"}, {"on the note@Kept"});
}

INSTANTIATE_TEST_SUITE_P(EitherPlace, MirrorPageDeletedBeforeItsNoteCame,
                         ::testing::Values(NoteSaved::withThePage, NoteSaved::apart),
                         [](const ::testing::TestParamInfo<NoteSaved>& info) {
                           return std::string(info.param == NoteSaved::withThePage ? "WithThePage" : "Apart");
                         });

}  // namespace
}  // namespace platform
