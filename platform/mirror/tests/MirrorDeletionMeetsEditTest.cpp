// A note deleted with its pages on one machine while another edits it: the later change wins, and
// a later edit keeps the note whole, its pages included, on every machine, however and in whichever
// order the changes arrive.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorImport.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::string> kWholeNote{"Plan page 1@Plan kept", "Plan page 2@Plan kept"};

// Which of the two changes a third machine, running all along, sees first.
enum class ThirdSees { deletionFirst, editFirst };

class MirrorDeletionMeetsEdit : public MirrorTest, public ::testing::WithParamInterface<ThirdSees> {};

TEST_P(MirrorDeletionMeetsEdit, AnEditMadeAfterTheDeletionKeepsTheNoteWholeOnEveryMachine) {
  std::unique_ptr<Device> editor = makeDevice("editor");
  std::unique_ptr<Device> deleter = makeDevice("deleter");
  std::unique_ptr<Device> third = makeDevice("third");
  editor->addNote("Plan", 2);
  sync(2);

  const std::filesystem::path offline = root() / std::string(kMirrorOfflineMarker);
  std::ofstream(offline).put('\n');
  deleter->remove("Plan");
  dispatch.advance(std::chrono::seconds(3));
  editor->rename("Plan", "Plan kept");
  // The machine whose change the third sees second is switched off before it could write it.
  const bool deletionFirst = GetParam() == ThirdSees::deletionFirst;
  std::unique_ptr<Device>& second = deletionFirst ? editor : deleter;
  const std::string secondName = deletionFirst ? "editor" : "deleter";
  second.reset();
  std::filesystem::remove(offline);
  sync(2);
  ASSERT_EQ(third->titles(),
            deletionFirst ? std::vector<std::string>{} : std::vector<std::string>{"Plan kept"});

  second = makeDevice(secondName);
  sync(3);
  std::unique_ptr<Device> fresh = makeDevice("fresh");
  sync(2);
  for (Device* device : {editor.get(), deleter.get(), third.get(), fresh.get()}) {
    EXPECT_THAT(device->titles(), ElementsAre("Plan kept"));
    EXPECT_EQ(device->pages(), kWholeNote);
  }
}

INSTANTIATE_TEST_SUITE_P(EitherOrder, MirrorDeletionMeetsEdit,
                         ::testing::Values(ThirdSees::deletionFirst, ThirdSees::editFirst),
                         [](const ::testing::TestParamInfo<ThirdSees>& info) {
                           return info.param == ThirdSees::deletionFirst ? "DeletionFirst" : "EditFirst";
                         });

// How the deleting machine's lines reach the editing one.
enum class DeletionLines { noteFirst, pagesFirst, inTwoImports };
enum class DeletionMade { beforeTheEdit, afterTheEdit };
struct Delivery {
  DeletionLines lines;
  DeletionMade made;
};

// The editing machine is real; the deleting one exists only as the lines it wrote.
class MirrorDeletionOfAnEditedNote : public MirrorTest, public ::testing::WithParamInterface<Delivery> {
 protected:
  // Makes the note with its pages on `editor`, then renames it there a second later.
  void createAndEdit(Device& editor) {
    editor.addNote("Plan", 2);
    sync(2);
    auto context = editor.writer();
    std::optional<ManagedObject> found = editor.note("Plan", *context);
    ASSERT_TRUE(found);
    note = found->recordName();
    for (const ManagedObject& page : valueOrFail(found->relatedObjects("pages")))
      pages.push_back(page.recordName());
    beforeTheEdit = HybridLogicalClock::physicalStamp(dispatch.clock().now());
    dispatch.advance(std::chrono::seconds(1));
    editor.rename("Plan", "Plan kept");
    sync(2);
    afterTheEdit = HybridLogicalClock::physicalStamp(dispatch.clock().now());
  }

  // The deletion the deleter's cascade journals, stamped from `clock` on, in the order `lines` says.
  std::vector<JournalEntry> deletion(std::int64_t clock, DeletionLines lines) const {
    std::vector<JournalEntry> entries;
    if (lines != DeletionLines::pagesFirst) entries.push_back(deleter.deletion(clock++, "Note", note));
    for (const UUID& page : pages) entries.push_back(deleter.deletion(clock++, "Page", page));
    if (lines == DeletionLines::pagesFirst) entries.push_back(deleter.deletion(clock++, "Note", note));
    return entries;
  }

  std::vector<JournalEntry> linesOf(const Device& device) const {
    std::vector<JournalEntry> entries;
    const std::filesystem::path journal = journalOf(device);
    for (const std::string& line : valueOrFail(readJournalLines(journal, JournalPosition{})).lines)
      entries.push_back(valueOrFail(decodeJournalLine(line, *model)));
    return entries;
  }

  // Notes the pages as owed, as an import of an older version did with members it kept against a
  // deletion.
  static void oweAsOlderVersionsDid(Device& device, const std::vector<UUID>& records) {
    auto context = device.container().newBackgroundContext();
    for (const UUID& record : records)
      context->setMetadataValue("mirror.owed." + record.uuidString(), "Page");
    saveOrFail(*context);
  }

  static std::set<UUID> owed(Device& device) {
    std::set<UUID> records;
    for (const auto& [record, entity] :
         valueOrFail(MirrorBookkeeping(*device.container().newBackgroundContext()).owedRecords()))
      records.insert(record);
    return records;
  }

  const std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();
  WrittenDevice deleter{journals()};
  UUID note;
  std::vector<UUID> pages;
  std::int64_t beforeTheEdit = 0;
  std::int64_t afterTheEdit = 0;
};

TEST_P(MirrorDeletionOfAnEditedNote, KeepsTheNoteWholeExactlyWhenTheEditCameAfterTheDeletion) {
  std::unique_ptr<Device> editor = makeDevice("editor");
  createAndEdit(*editor);
  const std::size_t written = linesOf(*editor).size();
  const Delivery delivery = GetParam();
  const bool madeAfterTheEdit = delivery.made == DeletionMade::afterTheEdit;
  const std::int64_t deleted = madeAfterTheEdit ? afterTheEdit : beforeTheEdit;
  std::vector<JournalEntry> deletions = deletion(deleted, delivery.lines);
  if (delivery.lines == DeletionLines::inTwoImports) {
    deleter.write({deletions.begin(), deletions.begin() + 2});
    sync();
    deletions.erase(deletions.begin(), deletions.begin() + 2);
  }
  deleter.write(deletions);
  sync(3);

  if (madeAfterTheEdit) {
    EXPECT_THAT(editor->titles(), IsEmpty());
    EXPECT_THAT(editor->pages(), IsEmpty());
  } else {
    EXPECT_THAT(editor->titles(), ElementsAre("Plan kept"));
    EXPECT_EQ(editor->pages(), kWholeNote);
  }
  // Every machine decides alike from the lines themselves: the pages' saves are in the journals.
  EXPECT_EQ(linesOf(*editor).size(), written) << "nothing to write again";
  EXPECT_THAT(owed(*editor), IsEmpty());

  auto fresh = makeDevice("fresh");
  sync(2);
  EXPECT_EQ(fresh->titles(), editor->titles());
  EXPECT_EQ(fresh->pages(), editor->pages());
}

// Pages an older version kept against a deletion, and owes the others, are deleted again with the
// note after the edit, before the export ran: an owed page deleted since, and one whose note is (its
// own deletion has yet to come), stay as that deletion left them and are not written.
TEST_F(MirrorDeletionOfAnEditedNote, OwedPagesDeletedAgainBeforeTheExportAreDroppedFromTheDebt) {
  std::unique_ptr<Device> editor = makeDevice("editor");
  createAndEdit(*editor);
  const std::size_t written = linesOf(*editor).size();

  // Imported by hand, so that no export runs between the two deletions.
  const auto import = [&](std::vector<JournalEntry> entries) {
    auto context = editor->container().newBackgroundContext();
    HybridLogicalClock clock = valueOrFail(MirrorBookkeeping(*context).clock());
    IncomingChanges incoming;
    incoming.entries = std::move(entries);
    return valueOrFail(applyIncoming(incoming, *context, clock));
  };
  ASSERT_EQ(import(deletion(beforeTheEdit, DeletionLines::noteFirst)), ImportOutcome::Applied);
  ASSERT_EQ(editor->pages(), kWholeNote);
  oweAsOlderVersionsDid(*editor, pages);
  ASSERT_EQ(owed(*editor), std::set<UUID>(pages.begin(), pages.end()));
  std::vector<JournalEntry> again = deletion(afterTheEdit, DeletionLines::noteFirst);
  const JournalEntry lastPage = again.back();
  again.pop_back();
  ASSERT_EQ(import(again), ImportOutcome::Applied);
  sync(2);

  EXPECT_THAT(editor->titles(), IsEmpty());
  EXPECT_THAT(editor->pages(), ElementsAre("Plan page 2@-"));
  EXPECT_EQ(linesOf(*editor).size(), written);
  EXPECT_THAT(owed(*editor), IsEmpty());

  deleter.write({lastPage});
  sync(2);
  EXPECT_THAT(editor->pages(), IsEmpty());
  EXPECT_EQ(linesOf(*editor).size(), written);
}

TEST_F(MirrorDeletionOfAnEditedNote, PagesAnOlderVersionOwesAreWrittenAgainByTheNextExport) {
  std::unique_ptr<Device> editor = makeDevice("editor");
  createAndEdit(*editor);
  const std::vector<JournalEntry> before = linesOf(*editor);

  oweAsOlderVersionsDid(*editor, pages);
  sync(2);
  const std::vector<JournalEntry> lines = linesOf(*editor);
  ASSERT_EQ(lines.size(), before.size() + pages.size());
  std::set<UUID> again;
  for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(before.size()); line != lines.end(); ++line) {
    EXPECT_EQ(line->operation, JournalEntry::Operation::Save);
    EXPECT_GT(line->stamp, before.back().stamp);
    again.insert(line->record);
  }
  EXPECT_EQ(again, std::set<UUID>(pages.begin(), pages.end()));
  EXPECT_THAT(owed(*editor), IsEmpty());
}

std::string deliveryName(const ::testing::TestParamInfo<Delivery>& info) {
  const std::string when =
      info.param.made == DeletionMade::afterTheEdit ? "MadeAfterTheEdit" : "MadeBeforeTheEdit";
  switch (info.param.lines) {
    case DeletionLines::noteFirst:
      return when + "NoteFirst";
    case DeletionLines::pagesFirst:
      return when + "PagesFirst";
    case DeletionLines::inTwoImports:
      break;
  }
  return when + "InTwoImports";
}

INSTANTIATE_TEST_SUITE_P(EveryDelivery, MirrorDeletionOfAnEditedNote,
                         ::testing::Values(Delivery{DeletionLines::noteFirst, DeletionMade::beforeTheEdit},
                                           Delivery{DeletionLines::pagesFirst, DeletionMade::beforeTheEdit},
                                           Delivery{DeletionLines::inTwoImports, DeletionMade::beforeTheEdit},
                                           Delivery{DeletionLines::noteFirst, DeletionMade::afterTheEdit},
                                           Delivery{DeletionLines::pagesFirst, DeletionMade::afterTheEdit},
                                           Delivery{DeletionLines::inTwoImports, DeletionMade::afterTheEdit}),
                         deliveryName);

}  // namespace
}  // namespace platform
