// An import of several chunks that is cut short, by the process ending or by a chunk failing, goes
// on where the store was left, losing and repeating nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/mirror/ImportBatches.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;

// Three chunks: two full ones and a part.
constexpr int kNotes = 2 * static_cast<int>(kJournalChunkLines) + kJournalChunkLines / 2;
constexpr int kChildExit = 42;

class MirrorInterruptedImport : public MirrorTest {
 protected:
  MirrorInterruptedImport() {
    std::vector<JournalEntry> entries;
    for (int i = 0; i < kNotes; ++i) entries.push_back(x.note(i + 1, UUID::random(), title(i)));
    x.write(entries);
  }

  static std::string title(int i) {
    std::string number = std::to_string(i);
    return "note " + std::string(5 - number.size(), '0') + number;
  }

  std::vector<std::string> allTitles() const {
    std::vector<std::string> all;
    for (int i = 0; i < kNotes; ++i) all.push_back(title(i));
    return all;
  }

  // A receiver whose import runs `atChunk` before the saving of each chunk (1 for the first).
  std::unique_ptr<Device> receiver(std::function<Result<void>(int chunk)> atChunk) {
    MirrorSettings settings = testSettings(root());
    settings.adjustImport = [atChunk, chunk = 0](ManagedObjectContext&,
                                                 const std::vector<ManagedObject>&) mutable {
      return atChunk(++chunk);
    };
    return std::make_unique<Device>(folder.path() / "b", settings, dispatch.clock());
  }

  // Every note once, and each inserted by exactly one imported transaction.
  void expectEveryNoteOnce(Device& device) {
    EXPECT_EQ(device.titles(), allTitles());
    std::map<UUID, int> inserts;
    for (const HistoryTransaction& transaction : device.history()) {
      if (transaction.author != kMirrorImportAuthor) continue;
      for (const HistoryChange& change : transaction.changes) {
        if (change.type == HistoryChangeType::Insert) ++inserts[change.recordName];
      }
    }
    EXPECT_EQ(inserts.size(), static_cast<std::size_t>(kNotes));
    for (const auto& [record, count] : inserts) EXPECT_EQ(count, 1) << record.uuidString();
  }

  WrittenDevice x{journals()};
};

TEST_F(MirrorInterruptedImport, AProcessEndingInTheMiddleOfABatchLeavesTheStoreToResumeFrom) {
  static_assert(kImportBatchChunks > 2, "the process must end while the batch holds chunks");
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    // Ends the process as a crash would: no commit, no destructor, no flush.
    auto doomed = receiver([](int chunk) -> Result<void> {
      if (chunk == 3) std::_Exit(kChildExit);
      return {};
    });
    sync();
    std::_Exit(EXIT_FAILURE);  // the third chunk was never reached
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), kChildExit);

  int chunks = 0;
  auto b = receiver([&](int) -> Result<void> {
    ++chunks;
    return {};
  });
  EXPECT_THAT(b->titles(), ::testing::IsEmpty()) << "the batch the process held never committed";
  sync();
  EXPECT_EQ(chunks, 3) << "the import began again at the start";
  expectEveryNoteOnce(*b);
  sync(2);
  EXPECT_EQ(chunks, 3) << "and nothing is left to import";
  for (const MirrorEvent& event : b->ended(MirrorEvent::Type::Import)) EXPECT_TRUE(event.succeeded);
}

TEST_F(MirrorInterruptedImport, AFailingChunkKeepsTheChunksBeforeAndTheNextImportGoesOnFromThere) {
  int calls = 0;
  bool failing = true;
  auto b = receiver([&](int chunk) -> Result<void> {
    ++calls;
    if (failing && chunk >= 3)
      return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure, "chunk three fails");
    return {};
  });
  sync();
  const std::vector<MirrorEvent> first = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(isFailure(first.back(), CloudMirrorErrorCode::NetworkFailure));
  EXPECT_EQ(b->titles().size(), 2 * kJournalChunkLines) << "the two chunks before the failure are kept";

  failing = false;
  calls = 0;
  sync();
  EXPECT_EQ(calls, 1) << "only the chunk that failed is read again";
  ASSERT_EQ(b->ended(MirrorEvent::Type::Import).size(), 2u);
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Import).back().succeeded);
  expectEveryNoteOnce(*b);
}

}  // namespace
}  // namespace platform
