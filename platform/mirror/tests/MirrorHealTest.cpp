// A mirror folder that is damaged behind the mirrors' backs: a journal emptied, rolled back, deleted
// with its folder or carried off as a sync tool's conflict copy, and a data folder copied to another
// place. Nothing that reached only the damaged journal may be lost for the other machines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MirrorHeal : public MirrorTest {
 protected:
  std::filesystem::path journalOf(Device& device) const {
    return journals() / (device.device().uuidString() + ".jsonl");
  }

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
  a.reset();
  std::filesystem::copy(folder.path() / "a", folder.path() / "backup",
                        std::filesystem::copy_options::recursive);

  a = makeDevice("a");
  a->rename("Before the backup", "Renamed after the backup");
  a->addNote("Added after the backup");
  sync(2);
  a.reset();
  std::filesystem::remove_all(folder.path() / "a");
  std::filesystem::rename(folder.path() / "backup", folder.path() / "a");

  a = makeDevice("a");
  sync(2);
  EXPECT_THAT(a->titles(), ElementsAre("Added after the backup", "Renamed after the backup"));
}

}  // namespace
}  // namespace platform
