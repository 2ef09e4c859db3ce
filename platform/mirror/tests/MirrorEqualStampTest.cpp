// Lines of one record under one stamp: copies of one disk writing under one name from one clock, or
// a damaged journal, can write them. Every machine keeps the same one, whichever it reads first, and
// the copies stop issuing one stamp for different changes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/tests/MirrorCloneSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// Journal names that sort before and after any other device's.
const std::string kSortsFirst = "00000000-0000-4000-8000-000000000000";
const std::string kSortsLast = "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF";

std::filesystem::path journalFolder(const std::filesystem::path& root) {
  return root / kContainerIdentifier / "journal";
}

void writeJournal(const std::filesystem::path& root, const std::string& name,
                  const std::vector<JournalEntry>& entries) {
  std::vector<std::string> lines;
  for (const JournalEntry& entry : entries) lines.push_back(encodeJournalLine(entry));
  std::filesystem::create_directories(journalFolder(root));
  ASSERT_TRUE(appendJournalLines(journalFolder(root) / (name + ".jsonl"), lines).ok());
}

// Every entry the journals under `root` hold, in name order, then line order.
std::vector<JournalEntry> entriesUnder(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files;
  for (const auto& file : std::filesystem::directory_iterator(journalFolder(root)))
    files.push_back(file.path());
  std::sort(files.begin(), files.end());
  const std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();
  std::vector<JournalEntry> entries;
  for (const std::filesystem::path& file : files) {
    for (const std::string& line : valueOrFail(readJournalLines(file, JournalPosition{})).lines)
      entries.push_back(valueOrFail(decodeJournalLine(line, *model)));
  }
  return entries;
}

// The stamp of the save that gave a note `title`, among the journals under `root`.
std::optional<RecordStamp> stampOfTitle(const std::filesystem::path& root, const std::string& title) {
  for (const JournalEntry& entry : entriesUnder(root)) {
    auto written = entry.fields.attributes.find("title");
    if (written != entry.fields.attributes.end() && written->second == AttributeValue(title))
      return entry.stamp;
  }
  return std::nullopt;
}

std::size_t journalCount(const std::filesystem::path& root) {
  const auto files = std::filesystem::directory_iterator(journalFolder(root));
  return static_cast<std::size_t>(std::distance(begin(files), end(files)));
}

TEST(JournalEntryDigest, IsTheWritersForTheLineReadBackAndChangesWithEveryPartOfTheEntry) {
  const std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();
  JournalEntry page;
  page.stamp = RecordStamp{123456789, UUID::random()};
  page.entity = "Page";
  page.record = UUID::random();
  page.fields.attributes = {{"id", AttributeValue(page.record)},
                            {"content", AttributeValue(std::string("Line\nbreak \"quoted\" äöü"))},
                            {"number", AttributeValue(std::int64_t{-7})}};
  page.fields.references = {{"note", UUID::random()}};
  const std::uint64_t written = journalEntryDigest(page);
  EXPECT_EQ(journalEntryDigest(valueOrFail(decodeJournalLine(encodeJournalLine(page), *model))), written);

  const std::vector<std::function<void(JournalEntry&)>> changes{
      [](JournalEntry& entry) { ++entry.stamp.clock; },
      [](JournalEntry& entry) { entry.stamp.device = UUID::random(); },
      [](JournalEntry& entry) { entry.operation = JournalEntry::Operation::Delete; },
      [](JournalEntry& entry) {
        entry.operation = JournalEntry::Operation::Delete;
        entry.alone = true;
      },
      [](JournalEntry& entry) { entry.record = UUID::random(); },
      [](JournalEntry& entry) { entry.fields.attributes["content"] = AttributeValue(std::string("Line")); },
      [](JournalEntry& entry) { entry.fields.attributes["content"] = std::nullopt; },
      [](JournalEntry& entry) { entry.fields.attributes["number"] = AttributeValue(std::int64_t{7}); },
      [](JournalEntry& entry) { entry.fields.attributes.erase("number"); },
      [](JournalEntry& entry) { entry.fields.references["note"] = std::nullopt; },
      [](JournalEntry& entry) { entry.fields.references.clear(); },
  };
  for (std::size_t change = 0; change < changes.size(); ++change) {
    JournalEntry changed = page;
    changes[change](changed);
    EXPECT_NE(journalEntryDigest(changed), written) << "change " << change;
  }
}

class MirrorEqualStamps : public MirrorTest {
 protected:
  // What a fresh machine shows once it has read `first`, then `second`, from journals in a mirror
  // folder of its own.
  std::vector<std::string> titlesReading(const JournalEntry& first, const JournalEntry& second) {
    const std::string name = "reader " + std::to_string(++readers_);
    const std::filesystem::path mirror = folder.path() / ("mirror of " + name);
    writeJournal(mirror, kSortsFirst, {first});
    writeJournal(mirror, kSortsLast, {second});
    Device reader(folder.path() / name, testSettings(mirror), dispatch.clock());
    sync(2);
    return reader.titles();
  }

  // Stamps lines as a copy of another machine's disk would: the journal names are not its name.
  WrittenDevice clone{journals()};
  const UUID note = UUID::random();

 private:
  int readers_ = 0;
};

TEST_F(MirrorEqualStamps, TwoSavesUnderOneStampShowOneTitleWhicheverIsReadFirst) {
  const JournalEntry onA = clone.note(1000, note, "Retitled on a");
  const JournalEntry onB = clone.note(1000, note, "Retitled on b");

  const std::vector<std::string> aFirst = titlesReading(onA, onB);
  ASSERT_THAT(aFirst, SizeIs(1));
  EXPECT_EQ(titlesReading(onB, onA), aFirst);
  EXPECT_THAT(titlesReading(onA, onA), ElementsAre("Retitled on a")) << "the same line twice changes nothing";
}

// Stamped far beyond the readers' clocks, both lines are held until the clocks come within reach:
// each reader holds both, whichever it read first, and then keeps the same one.
TEST_F(MirrorEqualStamps, TwoSavesHeldUnderOneStampShowOneTitleWhicheverIsReadFirst) {
  const std::int64_t ahead =
      HybridLogicalClock::physicalStamp(Date{dispatch.clock().now().secondsSinceReferenceDate + 60 * kDay});
  const JournalEntry onA = clone.note(ahead, note, "Retitled on a");
  const JournalEntry onB = clone.note(ahead, note, "Retitled on b");
  std::vector<std::unique_ptr<Device>> readers;
  for (const auto& [first, second] : {std::pair{onA, onB}, std::pair{onB, onA}}) {
    const std::filesystem::path mirror = folder.path() / ("mirror " + std::to_string(readers.size()));
    writeJournal(mirror, kSortsFirst, {first});
    writeJournal(mirror, kSortsLast, {second});
    readers.push_back(std::make_unique<Device>(folder.path() / ("reader " + std::to_string(readers.size())),
                                               testSettings(mirror), dispatch.clock()));
  }
  sync(2);
  ASSERT_THAT(readers[0]->titles(), IsEmpty()) << "held";

  dispatch.clock().advanceWall(std::chrono::hours(24 * 31));
  sync(2);
  ASSERT_THAT(readers[0]->titles(), SizeIs(1));
  EXPECT_EQ(readers[1]->titles(), readers[0]->titles());
}

TEST_F(MirrorEqualStamps, ASaveUnderTheStampOfADeletionNeverBringsTheRecordBack) {
  const JournalEntry save = clone.note(1000, note, "Saved under the deletion's stamp");
  const JournalEntry deletion = clone.deletion(1000, "Note", note);

  EXPECT_THAT(titlesReading(save, deletion), IsEmpty());
  EXPECT_THAT(titlesReading(deletion, save), IsEmpty());
}

TEST_F(MirrorEqualStamps, StatesKeptWithoutADigestGiveWayOnlyToLinesOfTheirStampAndKind) {
  const UUID deleted = UUID::random();
  auto b = makeDevice("b");  // not started yet: its states are as the version before digests kept them
  {
    // The clock, the device, 0 for a save or 1 for a deletion, the entity.
    const auto olderState = [&](std::uint8_t kind) {
      Bytes bytes(8, 0);
      bytes[6] = 1000 >> 8;
      bytes[7] = 1000 & 0xFF;
      bytes.insert(bytes.end(), clone.id.bytes().begin(), clone.id.bytes().end());
      bytes.push_back(kind);
      bytes.insert(bytes.end(), {'N', 'o', 't', 'e'});
      return bytes;
    };
    auto context = b->container().newBackgroundContext();
    context->setRecordMetadata(note, olderState(0));
    context->setRecordMetadata(deleted, olderState(1));
    saveOrFail(*context);
  }
  clone.write({clone.note(900, note, "Older"), clone.note(1000, note, "Under the kept stamp"),
               clone.note(1000, deleted, "Under the kept deletion's stamp")});
  sync(2);

  EXPECT_THAT(b->titles(), ElementsAre("Under the kept stamp"));
  std::optional<RecordState> state =
      valueOrFail(MirrorBookkeeping(*b->container().newBackgroundContext()).recordState(note));
  ASSERT_TRUE(state);
  EXPECT_EQ(state->lineDigest, journalEntryDigest(clone.note(1000, note, "Under the kept stamp")));
}

// Two lines under one stamp far ahead, each in a journal of its own, and one journal is gone before
// the reader's clock comes within reach: the reader writes the line it lost again even though the
// other line names the same record and stamp, so that a machine joining later keeps the same one.
class MirrorHeldUnderOneStamp : public MirrorTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(MirrorHeldUnderOneStamp, AHeldLineWhoseJournalIsGoneIsWrittenAgainThoughAnotherSharesItsStamp) {
  const WrittenDevice clone{journals()};
  const UUID note = UUID::random();
  const std::int64_t ahead =
      HybridLogicalClock::physicalStamp(Date{dispatch.clock().now().secondsSinceReferenceDate + 60 * kDay});
  writeJournal(root(), kSortsFirst, {clone.note(ahead, note, "Retitled on a")});
  writeJournal(root(), kSortsLast, {clone.note(ahead, note, "Retitled on b")});
  auto a = makeDevice("a");
  sync(2);
  ASSERT_THAT(a->titles(), IsEmpty()) << "held";

  std::filesystem::remove(journalFolder(root()) / (GetParam() + ".jsonl"));
  sync(3);
  dispatch.clock().advanceWall(std::chrono::hours(24 * 31));
  sync(2);
  auto d = makeDevice("d");
  sync(2);
  ASSERT_THAT(a->titles(), SizeIs(1));
  EXPECT_EQ(d->titles(), a->titles());
}

INSTANTIATE_TEST_SUITE_P(EitherJournalGone, MirrorHeldUnderOneStamp,
                         ::testing::Values(kSortsFirst, kSortsLast),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == kSortsFirst ? "FirstGone" : "LastGone";
                         });

// The journal of the machine that deleted the note sorts after the line saved under the deletion's
// stamp, or before it.
class MirrorSaveUnderADeletionsStamp : public MirrorTest,
                                       public ::testing::WithParamInterface<std::string> {};

TEST_P(MirrorSaveUnderADeletionsStamp, KeepsTheNoteDeletedOnEveryMachineAndAFreshOne) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  b->addNote("PB2");
  sync(2);
  b->remove("PB2");
  sync(2);
  const JournalEntry deletion = entriesUnder(root()).back();
  ASSERT_EQ(deletion.operation, JournalEntry::Operation::Delete);
  JournalEntry save = deletion;
  save.operation = JournalEntry::Operation::Save;
  save.fields.attributes = {{"title", AttributeValue(std::string("PB2 again"))}};
  writeJournal(root(), GetParam(), {save});
  sync(2);

  EXPECT_THAT(a->titles(), IsEmpty());
  EXPECT_THAT(b->titles(), IsEmpty());
  auto fresh = makeDevice("fresh");
  sync(2);
  EXPECT_THAT(fresh->titles(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EitherJournalFirst, MirrorSaveUnderADeletionsStamp,
                         ::testing::Values(kSortsFirst, kSortsLast),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == kSortsFirst ? "SaveReadFirst" : "DeletionReadFirst";
                         });

// Two clones of one disk whose clocks took a stamp from a machine an hour ahead: their next stamps
// are the last one plus one on both.
class MirrorClonesUnderOneStamp : public ClonedDiskTest, public ::testing::WithParamInterface<Copier> {
 protected:
  std::uintmax_t bytesOfBoth() const {
    std::uintmax_t bytes = 0;
    for (const std::filesystem::path& root : {this->root(), rootOfB()}) {
      for (const auto& entry : std::filesystem::directory_iterator(journalFolder(root)))
        bytes += entry.file_size();
    }
    return bytes;
  }
};

TEST_P(MirrorClonesUnderOneStamp, EndWithOneTitleEverywhereAndStampTheirNextChangesApart) {
  LeadingClock fastClock(dispatch.clock());
  fastClock.setLead(1.0 / 24);
  auto fast = makeDevice("fast", fastClock);
  a = makeDevice("a");
  a->addNote("S0");
  fast->addNote("From the fast machine");
  sync(2);
  auto c = makeDevice("c");
  sync(2);
  cloneAOntoB();
  JournalCopier copier(journals(), journalFolder(rootOfB()), GetParam());

  a->rename("S0", "S0 retitled on a");
  b->rename("S0", "S0 retitled on b");
  sync();
  ASSERT_EQ(stampOfTitle(root(), "S0 retitled on a"), stampOfTitle(rootOfB(), "S0 retitled on b"));
  syncBoth(copier, 6);

  const std::vector<std::string> titles = a->titles();
  EXPECT_THAT(titles, AnyOf(Contains("S0 retitled on a"), Contains("S0 retitled on b")));
  EXPECT_EQ(b->titles(), titles);
  EXPECT_EQ(c->titles(), titles);
  Device freshOnB(folder.path() / "fresh on b", testSettings(rootOfB()), dispatch.clock());
  auto freshOnA = makeDevice("fresh on a");
  syncBoth(copier, 2);
  EXPECT_EQ(freshOnA->titles(), titles);
  EXPECT_EQ(freshOnB.titles(), titles);

  const std::string retitled = titles.back();  // "From the fast machine" sorts first
  a->rename(retitled, "Again on a");
  b->rename(retitled, "Again on b");
  sync();
  const std::optional<RecordStamp> again = stampOfTitle(root(), "Again on a");
  ASSERT_TRUE(again);
  EXPECT_NE(again, stampOfTitle(rootOfB(), "Again on b"));
  syncBoth(copier, 6);
  EXPECT_EQ(b->titles(), a->titles());
  EXPECT_EQ(c->titles(), a->titles());
  EXPECT_EQ(freshOnB.titles(), a->titles());

  const std::uintmax_t settled = bytesOfBoth();
  syncBoth(copier, 3);
  EXPECT_EQ(bytesOfBoth(), settled) << "nothing is written again once the clones have names of their own";
}

INSTANTIATE_TEST_SUITE_P(EitherCopier, MirrorClonesUnderOneStamp,
                         ::testing::Values(Copier::newerWins, Copier::conflictCopies),
                         [](const ::testing::TestParamInfo<Copier>& info) {
                           return info.param == Copier::newerWins ? "NewerFileWins" : "ConflictCopiesKept";
                         });

// Lines a store wrote itself, read again under its own name, are no clone's: also where the store
// wrote a record again under its stamp with other fields than its first line (an import let go of
// the page's note since), and reads both lines.
TEST_F(MirrorEqualStamps, AStoreReadingItsOwnLinesAgainKeepsItsName) {
  auto a = makeDevice("a");
  a->addNote("Owner", 1);
  a->addNote("Kept");
  sync(2);
  const JournalEntry owner = entriesUnder(root()).front();
  ASSERT_EQ(owner.entity, "Note");
  clone.write({clone.deletion(owner.stamp.clock + 1, "Note", owner.record)});
  sync(2);
  ASSERT_THAT(a->pages(), ElementsAre("Owner page 1@-"));
  const std::filesystem::path own = journalOf(*a);
  std::filesystem::copy_file(own, journals() / (a->device().uuidString() + " (1).jsonl"));
  std::filesystem::resize_file(own, 0);
  sync(3);

  EXPECT_THAT(a->titles(), ElementsAre("Kept"));
  EXPECT_THAT(a->pages(), ElementsAre("Owner page 1@-"));
  EXPECT_EQ(journalCount(root()), 3u) << "its own journal, written again, its copy and the deleting one";
  EXPECT_GT(std::filesystem::file_size(own), 0u);
}

}  // namespace
}  // namespace platform
