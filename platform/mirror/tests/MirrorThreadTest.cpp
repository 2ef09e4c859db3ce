// Real threads: two mirrored stores in one process on the threaded backend, with the machine's
// clock, polling quickly; saves on both sides while the mirrors run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace platform
