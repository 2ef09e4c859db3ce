// The mirror folder on a disk that runs full while a device writes its journal.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/mirror/tests/MirrorTestSupport.h"
#include "platform/pstore/testing/FullDisk.h"

namespace platform {
namespace {

using namespace testing;

using MirrorFullDisk = MirrorTest;

// Fills the file system holding `file` but for about `room` bytes.
void fillAllBut(const std::filesystem::path& file, std::size_t room) {
  {
    std::ofstream filler(file, std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  const std::uintmax_t size = std::filesystem::file_size(file);
  std::filesystem::resize_file(file, size > room ? size - room : 0);
}

TEST_F(MirrorFullDisk, AnExportCutShortByAFullDiskIsReportedAndGoesOutWholeOnceThereIsRoom) {
  const int outcome = runOnSmallFileSystem(root(), 512 * 1024, [&] {
    auto a = makeDevice("a");
    auto b = makeDevice("b");
    sync();
    // Room for the note and about one of its pages.
    fillAllBut(root() / "filler", 6 * 1024);
    const Date savedAt = dispatch.clock().now();
    {
      auto context = a->writer();
      ManagedObject note = context->insertNewObject("Note");
      note.setValue("title", std::string("Long"));
      for (int number = 1; number <= 3; ++number) {
        ManagedObject page = context->insertNewObject("Page");
        page.setValue("content", std::string(5000, static_cast<char>('a' + number)));
        page.setValue("number", std::int64_t{number});
        page.setRelatedObject("note", note);
      }
      if (!context->save()) return 1;
    }
    sync(2);
    std::vector<MirrorEvent> exports = a->ended(MirrorEvent::Type::Export);
    if (exports.size() != 1 || exports[0].succeeded) return 2;
    const std::string torn = fileContents(journalOf(*a));
    if (torn.empty() || torn.back() == '\n' || lineCount(journalOf(*a)) < 2) return 8;

    std::filesystem::remove(root() / "filler");
    sync(3);
    if (!a->ended(MirrorEvent::Type::Export).back().succeeded) return 3;
    if (b->titles() != std::vector<std::string>{"Long"}) return 4;
    if (b->pages().size() != 3) return 5;
    if (!b->ended(MirrorEvent::Type::Import).back().succeeded) return 6;
    const std::string journal = fileContents(journalOf(*a));
    if (journal.empty() || journal.back() != '\n') return 7;
    // The stamps the export that was cut short drew are those its entries go out with.
    std::istringstream lines(journal);
    for (std::string line; std::getline(lines, line);) {
      Result<JournalEntry> entry = decodeJournalLine(line, *makeNotebookModel());
      if (!entry) return 9;
      if (entry->entity == "Note" && entry->stamp.clock != HybridLogicalClock::physicalStamp(savedAt))
        return 10;
    }
    return 0;
  });
  if (outcome == kNoFullDisk) GTEST_SKIP() << "no small file system can be made here";
  EXPECT_EQ(outcome, 0);
}

// The store's disk runs full after a save: the export's entries reach the journal but its
// bookkeeping cannot be saved. The entries are written once, not again at every poll, and their
// bookkeeping is saved once there is room.
TEST_F(MirrorFullDisk, AnExportWhoseBookkeepingCannotBeSavedIsWrittenToTheJournalOnce) {
  const std::filesystem::path storeFolder = folder.path() / "a";
  std::filesystem::create_directories(storeFolder);
  const int outcome = runOnSmallFileSystem(storeFolder, 1024 * 1024, [&] {
    auto a = makeDevice("a");
    auto b = makeDevice("b");
    sync();
    a->addNote("Saved before the disk ran full", 2);
    fillAllBut(storeFolder / "filler", 0);
    sync(6);
    std::vector<MirrorEvent> exports = a->ended(MirrorEvent::Type::Export);
    if (exports.size() != 1 || exports[0].succeeded) return 1;
    const std::filesystem::path journal = journalOf(*a);
    if (lineCount(journal) != 3) return 10 + static_cast<int>(lineCount(journal));
    if (b->titles() != std::vector<std::string>{"Saved before the disk ran full"}) return 2;

    std::filesystem::remove(storeFolder / "filler");
    sync(2);
    if (!a->ended(MirrorEvent::Type::Export).back().succeeded) return 3;
    if (lineCount(journal) != 3) return 4;
    a->rename("Saved before the disk ran full", "Renamed with room again");
    sync(2);
    if (lineCount(journal) != 4) return 5;  // the note alone: its pages did not change
    if (b->titles() != std::vector<std::string>{"Renamed with room again"} || b->pages().size() != 2)
      return 6;

    // The journal is emptied while the disk is full: the store's state is written there again, once.
    fillAllBut(storeFolder / "filler", 0);
    std::filesystem::resize_file(journal, 0);
    sync(4);
    if (lineCount(journal) != 3) return 20 + static_cast<int>(lineCount(journal));
    std::filesystem::remove(storeFolder / "filler");
    sync(2);
    if (lineCount(journal) != 3 || !a->ended(MirrorEvent::Type::Export).back().succeeded) return 7;
    return 0;
  });
  if (outcome == kNoFullDisk) GTEST_SKIP() << "no small file system can be made here";
  EXPECT_EQ(outcome, 0);
}

}  // namespace
}  // namespace platform
