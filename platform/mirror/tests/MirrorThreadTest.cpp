// Real threads: two mirrored stores in one process on the threaded backend, with the machine's
// clock, polling quickly; saves on both sides while the mirrors run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/dispatch/MainQueue.h"
#include "platform/mirror/tests/MirrorTestSupport.h"
#include "platform/time/SystemClock.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;

MirrorSettings quickSettings(const std::filesystem::path& root) {
  std::filesystem::create_directories(root);
  MirrorSettings settings = MirrorSettings::configured(root);
  settings.pollInterval = std::chrono::milliseconds(10);
  settings.exportDelay = std::chrono::milliseconds(1);
  return settings;
}

TEST(MirrorThreads, TwoStoresWritingAtOnceEndUpWithEachOthersNotes) {
  TemporaryDirectory folder;
  const MirrorSettings settings = quickSettings(folder.path() / "mirror");
  Device a(folder.path() / "a", settings, SystemClock::shared());
  Device b(folder.path() / "b", settings, SystemClock::shared());

  constexpr int kNotes = 10;
  std::thread writer([&] {
    for (int i = 0; i < kNotes; ++i) a.addNote("a" + std::to_string(i), 1);
  });
  for (int i = 0; i < kNotes; ++i) b.addNote("b" + std::to_string(i), 1);
  writer.join();

  const auto complete = [&](Device& device) { return device.titles().size() == 2 * kNotes; };
  ASSERT_TRUE(runUntil([&] { return complete(a) && complete(b); }, std::chrono::seconds(30)))
      << a.titles().size() << " and " << b.titles().size() << " notes";
  EXPECT_EQ(a.titles(), b.titles());
  EXPECT_EQ(a.pages(), b.pages());
  EXPECT_EQ(a.pages().size(), 2u * kNotes);
}

// The store closes while its mirror exports on its own thread: the close waits for that export and
// sends what came after, so another store finds every note.
TEST(MirrorThreads, ClosingWhileTheMirrorExportsLeavesEveryNoteInTheJournal) {
  TemporaryDirectory folder;
  const MirrorSettings settings = quickSettings(folder.path() / "mirror");
  Device a(folder.path() / "a", settings, SystemClock::shared());
  const std::filesystem::path journal =
      folder.path() / "mirror" / kContainerIdentifier / "journal" / (a.device().uuidString() + ".jsonl");
  a.addNote("first");
  ASSERT_TRUE(runUntil([&] { return !fileContents(journal).empty(); }, std::chrono::seconds(30)));

  constexpr int kNotes = 20;
  for (int i = 0; i < kNotes; ++i) a.addNote("note " + std::to_string(i), 1);
  a.container().closePersistentStores();

  Device b(folder.path() / "b", settings, SystemClock::shared());
  EXPECT_TRUE(runUntil([&] { return b.titles().size() == kNotes + 1; }, std::chrono::seconds(30)))
      << b.titles().size() << " notes";
}

using MirrorWhileImporting = MirrorTest;

// The application lists the library while the mirror works through another machine's backlog, its
// chunks held in one uncommitted batch: the listing reads what was committed before the import,
// without waiting for it.
TEST_F(MirrorWhileImporting, AListingCompletesWhileTheImportHoldsItsBatchOpen) {
  constexpr std::chrono::seconds kStuck{30};
  WrittenDevice x{journals()};
  std::vector<JournalEntry> backlog;
  for (std::size_t i = 0; i < 2 * kJournalChunkLines; ++i)
    backlog.push_back(x.note(static_cast<std::int64_t>(i + 1), UUID::random(), "note " + std::to_string(i)));
  x.write(backlog);

  std::shared_ptr<ManagedObjectContext> listing;
  std::future<std::size_t> reading;
  std::future_status listed = std::future_status::deferred;
  MirrorSettings settings = testSettings(root());
  settings.adjustImport = [&, chunk = 0](ManagedObjectContext&, const std::vector<ManagedObject>&) mutable {
    if (++chunk == 2) {
      reading = std::async(std::launch::async, [&] { return fetchAll(*listing, "Note").size(); });
      listed = reading.wait_for(kStuck);
    }
    return Result<void>();
  };
  Device b(folder.path() / "b", settings, dispatch.clock());
  listing = b.container().newBackgroundContext();
  sync();
  ASSERT_EQ(listed, std::future_status::ready) << "the listing waited for the import";
  EXPECT_EQ(reading.get(), 0u) << "the first chunk was not committed yet";
  EXPECT_EQ(b.titles().size(), 2 * kJournalChunkLines);
}

}  // namespace
}  // namespace platform
