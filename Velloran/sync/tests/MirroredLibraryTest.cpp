// Two libraries as the application builds them (stack, prompt store, sync monitor), each in its own
// Application Support folder, sharing one mirror folder, in one process on the deterministic backend.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "Velloran/sync/tests/MirroredLibrarySupport.h"

namespace velloran::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(MirroredLibraryTest, APromptCreatedEditedAndDeletedOnOneMachineFollowsOnTheOther) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  sync();

  const Prompt prompt = makePrompt({.id = 1, .title = "Review", .tags = {"work"}, .content = "First text"});
  ASSERT_TRUE(a.calls().save(prompt).ok());
  sync();

  std::vector<Prompt> onB = b.calls().fetchAll();
  ASSERT_EQ(onB.size(), 1u);
  EXPECT_EQ(onB[0].id, prompt.id);
  EXPECT_EQ(onB[0].title, "Review");
  EXPECT_THAT(onB[0].tags, ElementsAre("work"));
  EXPECT_THAT(contentsOf(onB[0]), ElementsAre("First text"));
  EXPECT_THAT(b.taken, ElementsAre(Taken{SyncEvent::Type::Import, true}));
  EXPECT_THAT(a.taken, ElementsAre(Taken{SyncEvent::Type::Export, true}));

  PromptVersion second{testUUID(50), prompt.id, "Second text", "", 2, platform::Date{2000}};
  ASSERT_TRUE(a.calls().addVersion(second, prompt.id).ok());
  sync();
  onB = b.calls().fetchAll();
  ASSERT_EQ(onB.size(), 1u);
  EXPECT_THAT(contentsOf(onB[0]), ElementsAre("First text", "Second text"));
  EXPECT_THAT(a.taken,
              ElementsAre(Taken{SyncEvent::Type::Export, true}, Taken{SyncEvent::Type::Export, true}));

  // An edit on the receiving side goes back the other way.
  Prompt renamed = onB[0];
  renamed.title = "Reviewed";
  ASSERT_TRUE(b.calls().save(renamed).ok());
  sync();
  EXPECT_THAT(titlesOf(a.calls().fetchAll()), ElementsAre("Reviewed"));
  EXPECT_EQ(a.taken.back(), (Taken{SyncEvent::Type::Import, true}));

  ASSERT_TRUE(a.calls().remove({prompt.id}).ok());
  sync();
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
  EXPECT_THAT(failures(a.events()), IsEmpty());
  EXPECT_THAT(failures(b.events()), IsEmpty());
}

TEST_F(MirroredLibraryTest, ALibraryResetForAnIncompatibleStoreIsFilledAgainFromTheMirror) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(makePrompt({.id = 1, .title = "From a"})).ok());
  ASSERT_TRUE(b.calls().save(makePrompt({.id = 2, .title = "From b", .updatedAt = 900})).ok());
  sync();
  ASSERT_EQ(b.calls().fetchAll().size(), 2u);
  const platform::UUID oldStore = b.storeIdentifier();
  const std::filesystem::path tokenFile = b.support().folder() / std::string(kHistoryTokenFileName);
  ASSERT_NE(fileContents(tokenFile).find(oldStore.uuidString()), std::string::npos);

  // A newer program's model wrote the store: this one cannot open it and starts afresh.
  platform::testing::RawDatabase(b.support().storePath())
      .execute("UPDATE Z_METADATA SET Z_VALUE = 'other' WHERE Z_KEY = 'pstore.modelHash'");
  b.open();
  ASSERT_NE(b.storeIdentifier(), oldStore);
  // Read from the file, before the mirror's first import can run (a listing may come after it).
  EXPECT_EQ(promptRows(b), 0);
  sync();

  EXPECT_THAT(titlesOf(b.calls().fetchAll()), ElementsAre("From a", "From b"));
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
  // The old store's token expired; the token of the new store replaced it.
  EXPECT_EQ(b.monitor().historyToken()->storeIdentifier, b.storeIdentifier());
  EXPECT_NE(fileContents(tokenFile).find(b.storeIdentifier().uuidString()), std::string::npos);
}

TEST_F(MirroredLibraryTest, ADamagedLibraryIsSetAsideAndRebuiltFromTheMirrorItsOwnJournalIncluded) {
  Library a(root(), dispatch);
  Prompt kept = makePrompt({.id = 1, .title = "Kept", .content = "first"});
  kept.versions.push_back(PromptVersion{testUUID(60), kept.id, "second", "", 2, platform::Date{950}});
  ASSERT_TRUE(a.calls().save(kept).ok());
  ASSERT_TRUE(a.calls().save(makePrompt({.id = 2, .title = "Also kept", .updatedAt = 900})).ok());
  sync();

  a.close();
  {
    // Everything after the first page is overwritten, as a failing disk might leave it.
    const std::filesystem::path file = a.support().storePath();
    const std::uintmax_t size = std::filesystem::file_size(file);
    std::fstream damage(file, std::ios::in | std::ios::out | std::ios::binary);
    damage.seekp(4096);
    damage << std::string(size - 4096, '\x5A');
  }
  const std::string damaged = fileContents(a.support().storePath());
  a.open();

  ASSERT_TRUE(a.stack().damagedStore());
  EXPECT_EQ(fileContents(*a.stack().damagedStore()), damaged) << "set aside, not destroyed";
  EXPECT_EQ(promptRows(a), 0);
  sync();
  EXPECT_THAT(titlesOf(a.calls().fetchAll()), ElementsAre("Kept", "Also kept"));
  EXPECT_EQ(a.calls().fetchAll()[0], kept);
  EXPECT_THAT(failures(a.events()), IsEmpty());
}

TEST_F(MirroredLibraryTest, OfflineFailuresReachTheMonitorAndQueuedChangesArriveAfterwards) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  sync();
  std::ofstream(root() / "OFFLINE").put('\n');
  ASSERT_TRUE(a.calls().save(makePrompt({.id = 1, .title = "Offline draft"})).ok());
  sync(3);

  std::vector<SyncEvent> failedOnA = failures(a.events());
  ASSERT_FALSE(failedOnA.empty());
  for (const SyncEvent& event : failedOnA) {
    EXPECT_EQ(syncProblem(*event.error), SyncProblem::temporarilyUnavailable);
    EXPECT_TRUE(platform::isCloudMirrorError(*event.error->underlying,
                                             platform::CloudMirrorErrorCode::NetworkUnavailable));
  }
  EXPECT_TRUE(std::any_of(failedOnA.begin(), failedOnA.end(),
                          [](const SyncEvent& event) { return event.type == SyncEvent::Type::Export; }));
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());

  ASSERT_TRUE(a.calls().save(makePrompt({.id = 2, .title = "Second offline draft", .updatedAt = 1100})).ok());
  std::filesystem::remove(root() / "OFFLINE");
  sync();
  EXPECT_THAT(titlesOf(b.calls().fetchAll()), ElementsAre("Second offline draft", "Offline draft"));
  EXPECT_EQ(b.taken.back(), (Taken{SyncEvent::Type::Import, true}));
}

TEST_F(MirroredLibraryTest, WithoutTheMirrorFolderSetupFailsAsNoAccount) {
  std::filesystem::remove_all(root());
  Library a(root(), dispatch);
  sync();
  std::vector<SyncEvent> failed = failures(a.events());
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].type, SyncEvent::Type::Setup);
  EXPECT_EQ(syncProblem(*failed[0].error), SyncProblem::noAccount);
  EXPECT_THAT(a.taken, IsEmpty()) << "a failed event takes no flag";
}

TEST_F(MirroredLibraryTest, AManualPullAndPushRunTheMirrorAtOnceWithoutWaitingForThePoll) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  sync();

  ASSERT_TRUE(a.calls().save(makePrompt({.id = 1, .title = "Sent by hand"})).ok());
  ASSERT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { a.monitor().pushChanges(done); }).ok());
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty()) << "no poll has run on b yet";

  ASSERT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { b.monitor().pullChanges(done); }).ok());
  EXPECT_THAT(titlesOf(b.calls().fetchAll()), ElementsAre("Sent by hand"));
  EXPECT_THAT(failures(a.events()), IsEmpty());
  EXPECT_THAT(failures(b.events()), IsEmpty());
}

TEST_F(MirroredLibraryTest, WhileTheMirrorFolderIsMissingEveryManualSyncFailsAsNoAccount) {
  Library a(root(), dispatch);
  sync();
  std::filesystem::remove_all(root());
  sync(3);
  const std::size_t reported = failures(a.events()).size();

  for (int attempt = 0; attempt < 3; ++attempt) {
    platform::Result<void> pulled =
        runToCompletion<void>(dispatch, [&](auto done) { a.monitor().pullChanges(done); });
    ASSERT_FALSE(pulled.ok()) << "attempt " << attempt;
    EXPECT_EQ(syncProblem(pulled.error()), SyncProblem::noAccount);
    platform::Result<void> pushed =
        runToCompletion<void>(dispatch, [&](auto done) { a.monitor().pushChanges(done); });
    ASSERT_FALSE(pushed.ok()) << "attempt " << attempt;
    EXPECT_EQ(syncProblem(pushed.error()), SyncProblem::noAccount);
  }
  EXPECT_EQ(failures(a.events()).size(), reported) << "the caller hears it; no event repeats it";

  std::filesystem::create_directories(root());
  EXPECT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { a.monitor().pullChanges(done); }).ok());
}

// How the editor writes a new text: the version alone, or the prompt saved with every version it
// holds.
enum class VersionWrite { addVersion, wholePrompt };

class VersionJournalLines : public MirroredLibraryTest, public ::testing::WithParamInterface<VersionWrite> {
 protected:
  // The lines of every journal in the mirror folder.
  std::size_t journalLines() const {
    std::size_t lines = 0;
    for (const auto& file : std::filesystem::recursive_directory_iterator(root())) {
      if (file.path().extension() != ".jsonl") continue;
      const std::string contents = fileContents(file.path());
      lines += static_cast<std::size_t>(std::count(contents.begin(), contents.end(), '\n'));
    }
    return lines;
  }
};

// Journals only ever grow and every new machine reads them whole: a version added to a long
// prompt must not write its earlier versions again.
TEST_P(VersionJournalLines, EachVersionAddedToALongPromptWritesAFewLinesNotThePromptsWholeHistory) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Prompt prompt = makePrompt({.id = 1, .title = "Long history", .content = "text 1"});
  ASSERT_TRUE(a.calls().save(prompt).ok());
  sync();
  const std::size_t before = journalLines();

  constexpr std::size_t kAdded = 200;
  for (std::int64_t number = 2; number <= static_cast<std::int64_t>(kAdded) + 1; ++number) {
    const platform::Date now = dispatch.clock().now();
    const PromptVersion version{
        platform::UUID::random(), prompt.id, "text " + std::to_string(number), "", number, now};
    if (GetParam() == VersionWrite::addVersion) {
      ASSERT_TRUE(a.calls().addVersion(version, prompt.id).ok());
    } else {
      std::vector<Prompt> stored = a.calls().fetchAll();
      ASSERT_EQ(stored.size(), 1u);
      prompt = stored[0];
      prompt.versions.push_back(version);
      prompt.updatedAt = now;
      ASSERT_TRUE(a.calls().save(prompt).ok());
    }
    // Each goes out before the next is written, as when a user writes them one by one.
    sync(1);
  }

  EXPECT_LE(journalLines() - before, 3 * kAdded);
  const std::vector<Prompt> onA = a.calls().fetchAll();
  ASSERT_EQ(onA.size(), 1u);
  EXPECT_EQ(onA[0].versions.size(), kAdded + 1);
  EXPECT_EQ(b.calls().fetchAll(), onA);
}

INSTANTIATE_TEST_SUITE_P(EitherWay, VersionJournalLines,
                         ::testing::Values(VersionWrite::addVersion, VersionWrite::wholePrompt),
                         [](const ::testing::TestParamInfo<VersionWrite>& info) {
                           return info.param == VersionWrite::addVersion ? "AddVersion" : "WholePrompt";
                         });

}  // namespace
}  // namespace velloran::testing
