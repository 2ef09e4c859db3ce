#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <thread>

#include "platform/paths/testing/FolderLockCases.h"
#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/SoundStamp.h"
#include "platform/pstore/testing/FullDisk.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;

class PstoreStoreLoad : public ::testing::Test {
 protected:
  std::filesystem::path storePath() const { return folder.path() / "Notebook.sqlite"; }
  bool exists(const std::string& suffix = "") const {
    return std::filesystem::exists(storePath().string() + suffix);
  }

  // Writes one note through a container that is gone again when this returns.
  UUID writeOneNote(const std::string& title) {
    Notebook notebook(fileStore(storePath()));
    ManagedObject note = notebook.view().insertNewObject("Note");
    note.setValue("title", title);
    saveOrFail(notebook.view());
    return notebook.container.persistentStoreCoordinator()->persistentStore()->identifier();
  }

  // A store of 200 notes, closed cleanly so that everything is in the file.
  void writeNotes() {
    std::filesystem::remove(storePath());
    {
      Notebook notebook(fileStore(storePath()));
      for (int i = 0; i < 200; ++i) {
        ManagedObject note = notebook.view().insertNewObject("Note");
        note.setValue("title", std::string(200, static_cast<char>('a' + i % 26)));
      }
      saveOrFail(notebook.view());
    }
    ASSERT_FALSE(exists("-wal")) << "closed cleanly: everything is in the file";
  }

  void expectDamageFoundAtLoad() {
    ManualClock clock;
    NotificationCenter center;
    PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
    std::optional<Error> error = load(container, fileStore(storePath()));
    ASSERT_TRUE(error) << "the damage shows at load, not at every later listing";
    EXPECT_EQ(error->domain, kSQLiteErrorDomain);
    EXPECT_EQ(error->code, 11) << error->debugDescription();
  }

  TemporaryDirectory folder;
};

TEST_F(PstoreStoreLoad, CompletionRunsOnTheCallingThreadBeforeLoadReturns) {
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  container.setPersistentStoreDescriptions({fileStore(storePath())});
  std::vector<std::thread::id> threads;
  container.loadPersistentStores([&](const StoreDescription& description, const std::optional<Error>& error) {
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(description.path, storePath());
    threads.push_back(std::this_thread::get_id());
  });
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_EQ(threads[0], std::this_thread::get_id());
}

TEST_F(PstoreStoreLoad, NewStoreIsWrittenAheadWithCompanionsWhileOpen) {
  Notebook notebook(fileStore(storePath()));
  EXPECT_TRUE(exists());
  EXPECT_TRUE(exists("-wal"));
  EXPECT_TRUE(exists("-shm"));
}

TEST_F(PstoreStoreLoad, ReopenedStoreKeepsItsObjectsAndIdentity) {
  const UUID identifier = writeOneNote("kept");
  Notebook reopened(fileStore(storePath()));
  EXPECT_EQ(reopened.container.persistentStoreCoordinator()->persistentStore()->identifier(), identifier);
  std::vector<ManagedObject> notes = fetchAll(reopened.view(), "Note");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(text(notes[0], "title"), "kept");
}

TEST_F(PstoreStoreLoad, NewDefaultsDoNotMakeTheStoreIncompatible) {
  writeOneNote("a");
  Notebook relaunched(fileStore(storePath()), makeNotebookModel({UUID::random(), Date{123.0}}));
  EXPECT_EQ(fetchAll(relaunched.view(), "Note").size(), 1u);
}

TEST_F(PstoreStoreLoad, IndexingAnAttributeKeepsTheStoreCompatibleAndAddsTheIndex) {
  writeOneNote("kept");
  const std::string indexQuery =
      "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = 'ZNOTE_ZID'";
  EXPECT_EQ(RawDatabase(storePath()).count(indexQuery), 0);

  std::vector<EntityDescription> entities = makeNotebookModel()->entities();
  entities[0].attributes[0].indexed = true;
  Notebook reopened(fileStore(storePath()), std::make_shared<const ManagedObjectModel>(entities));
  EXPECT_EQ(fetchAll(reopened.view(), "Note").size(), 1u);
  EXPECT_EQ(RawDatabase(storePath()).count(indexQuery), 1);
}

TEST_F(PstoreStoreLoad, AStoreMadeBeforeRecordMetadataGainsItsTableAndKeepsItsObjects) {
  writeOneNote("kept");
  RawDatabase(storePath()).execute("DROP TABLE Z_RECORDMETADATA");

  const UUID record = UUID::random();
  {
    Notebook notebook(fileStore(storePath()));
    EXPECT_EQ(fetchAll(notebook.view(), "Note").size(), 1u);
    EXPECT_TRUE(valueOrFail(notebook.view().recordMetadata({record})).empty());
    notebook.view().setRecordMetadata(record, Bytes{4, 2});
    saveOrFail(notebook.view());
  }
  Notebook reopened(fileStore(storePath()));
  EXPECT_EQ(valueOrFail(reopened.view().allRecordMetadata()), (std::map<UUID, Bytes>{{record, {4, 2}}}));
}

TEST_F(PstoreStoreLoad, StoreOfAnotherModelIsIncompatibleOrUnmigratable) {
  writeOneNote("a");
  NotebookModelOptions changed;
  changed.titleOptional = true;
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer withoutMigration("Notebook", makeNotebookModel(changed), clock, center);
  std::optional<Error> error = load(withoutMigration, fileStore(storePath(), {.migrate = false}));
  ASSERT_TRUE(error);
  EXPECT_TRUE(isPersistentStoreError(*error, PersistentStoreErrorCode::IncompatibleModel))
      << error->debugDescription();

  PersistentContainer withMigration("Notebook", makeNotebookModel(changed), clock, center);
  error = load(withMigration, fileStore(storePath()));
  ASSERT_TRUE(error);
  EXPECT_TRUE(isPersistentStoreError(*error, PersistentStoreErrorCode::MigrationFailed))
      << error->debugDescription();
  EXPECT_EQ(withMigration.persistentStoreCoordinator()->persistentStore(), nullptr);
}

TEST_F(PstoreStoreLoad, DatabaseThatDoesNotNameItsModelIsMissingTheSourceModel) {
  {
    RawDatabase other(storePath());
    other.execute("CREATE TABLE notes (title TEXT)");
  }
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  std::optional<Error> error = load(container, fileStore(storePath()));
  ASSERT_TRUE(error);
  EXPECT_TRUE(isPersistentStoreError(*error, PersistentStoreErrorCode::MissingSourceModel));
}

TEST_F(PstoreStoreLoad, FailedLoadLeavesNothingOpenSoTheStoreCanBeDestroyedAndRecreated) {
  const UUID oldIdentifier = writeOneNote("lost");
  NotebookModelOptions changed;
  changed.titleOptional = true;
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(changed), clock, center);
  ASSERT_TRUE(load(container, fileStore(storePath())));

  ASSERT_TRUE(container.persistentStoreCoordinator()->destroyPersistentStore(storePath()).ok());
  EXPECT_FALSE(exists());
  EXPECT_FALSE(exists("-wal"));
  EXPECT_FALSE(exists("-shm"));

  container.loadPersistentStores([](const StoreDescription&, const std::optional<Error>& error) {
    EXPECT_FALSE(error) << error->debugDescription();
  });
  auto store = container.persistentStoreCoordinator()->persistentStore();
  ASSERT_NE(store, nullptr);
  EXPECT_NE(store->identifier(), oldIdentifier);
  EXPECT_TRUE(fetchAll(*container.viewContext(), "Note").empty());
}

TEST_F(PstoreStoreLoad, DestroyingRemovesTheIndexBeforeTheLogAndStopsAtTheFirstFailure) {
  std::ofstream(storePath()) << "store";
  std::ofstream(storePath().string() + "-wal") << "log";
  // A folder that is not empty cannot be removed as a file.
  std::filesystem::create_directories(storePath().string() + "-shm/inside");
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);

  Result<void> destroyed = container.persistentStoreCoordinator()->destroyPersistentStore(storePath());
  ASSERT_FALSE(destroyed.ok());
  EXPECT_FALSE(exists());
  EXPECT_TRUE(exists("-wal")) << "the log outlives a failure to remove its index";
}

TEST_F(PstoreStoreLoad, FileThatIsNoDatabaseFailsAndIsLeftIntact) {
  const std::string contents = "these are my notes, not a database\n" + std::string(4096, 'x');
  std::ofstream(storePath(), std::ios::binary) << contents;
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  std::optional<Error> error = load(container, fileStore(storePath()));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kSQLiteErrorDomain);
  EXPECT_EQ(error->code, 26);
  EXPECT_EQ(fileContents(storePath()), contents);
  EXPECT_FALSE(exists("-wal"));
}

// Pages in the middle of the file are overwritten, as a failing disk or a half-finished copy
// might leave them.
void damagePages(const std::filesystem::path& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(4096 * 3);
  file << std::string(4096 * 5, '\x5A');
}

TEST_F(PstoreStoreLoad, ADamagedFileIsFoundWhenItLoadsAndIsLeftIntact) {
  writeNotes();
  damagePages(storePath());
  const std::string damaged = fileContents(storePath());
  expectDamageFoundAtLoad();
  EXPECT_EQ(fileContents(storePath()), damaged);
}

TEST_F(PstoreStoreLoad, DamageIsFoundAfterAnEarlierLoadFoundTheStoreSound) {
  writeNotes();
  { Notebook sound(fileStore(storePath())); }
  ASSERT_TRUE(exists("-checked")) << "the sound files are noted";
  damagePages(storePath());
  expectDamageFoundAtLoad();

  // A damaged copy put in the store's place, with the original's size and times, is checked too.
  std::filesystem::remove(storePath().string() + "-checked");
  writeNotes();
  { Notebook sound(fileStore(storePath())); }
  const std::filesystem::path copy = storePath().string() + ".copy";
  std::filesystem::copy_file(storePath(), copy);
  damagePages(copy);
  std::filesystem::last_write_time(copy, std::filesystem::last_write_time(storePath()));
  std::filesystem::rename(copy, storePath());
  expectDamageFoundAtLoad();
}

TEST_F(PstoreStoreLoad, EmptyFileBecomesANewStore) {
  std::ofstream(storePath(), std::ios::binary).flush();
  Notebook notebook(fileStore(storePath()));
  EXPECT_NE(notebook.container.persistentStoreCoordinator()->persistentStore(), nullptr);
}

TEST_F(PstoreStoreLoad, MissingFolderFailsWithTheEnginesReason) {
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  std::optional<Error> error = load(container, fileStore(folder.path() / "absent" / "Notebook.sqlite"));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, kSQLiteErrorDomain);
  EXPECT_EQ(error->code, 14);
}

// What the folder holds, by name.
std::set<std::string> namesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

constexpr int kLoadFailed = 1;
constexpr int kLoaded = 2;

// Loads the store at `path` in a child on a disk with `room` bytes left.
int loadOnFullDisk(const std::filesystem::path& path, std::uintmax_t room) {
  return runWithFullDisk(room, [&path] {
    ManualClock clock;
    NotificationCenter center;
    PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
    return load(container, fileStore(path)) ? kLoadFailed : kLoaded;
  });
}

// A new store that cannot be made leaves the folder as it was, whether or not its folder gives a lock:
// one on a network home, or one the user may write but not list, gives none.
class PstoreFailedLoad : public testing::FolderLockCases<PstoreStoreLoad> {};
INSTANTIATE_TEST_SUITE_P(Folders, PstoreFailedLoad, ::testing::Bool(), testing::folderLockCaseName);

TEST_P(PstoreFailedLoad, ANewStoreThatCannotBeMadeOnAFullDiskLeavesNoFileBehind) {
  // No room at all, room for the store's first page but not for its index, room for a little more.
  for (std::uintmax_t room : {0, 4096, 40000}) {
    ASSERT_EQ(loadOnFullDisk(storePath(), room), kLoadFailed) << room;
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{}) << room;
  }
  // The folder is as it was: a later start with room makes the store as if nothing had happened.
  Notebook notebook(fileStore(storePath()));
  EXPECT_TRUE(fetchAll(notebook.view(), "Note").empty());
}

TEST_P(PstoreFailedLoad, AFailedLoadRemovesOnlyWhatItMadeAndNeverAnExistingStore) {
  // A file that was there before a new store's load stays: a stamp left by an earlier store, and
  // whatever else the folder holds.
  std::ofstream(storePath().string() + "-checked") << "earlier";
  std::ofstream(folder.path() / "notes.txt") << "mine";
  ASSERT_EQ(loadOnFullDisk(storePath(), 0), kLoadFailed);
  EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"Notebook.sqlite-checked", "notes.txt"}));
  EXPECT_EQ(fileContents(storePath().string() + "-checked"), "earlier");
  std::filesystem::remove(storePath().string() + "-checked");

  // An existing store, even an empty file, is never removed, whatever its load leaves.
  std::ofstream(storePath(), std::ios::binary).flush();
  ASSERT_EQ(loadOnFullDisk(storePath(), 0), kLoadFailed);
  EXPECT_TRUE(exists());
  std::filesystem::remove(storePath());
  writeOneNote("kept");
  const std::string before = fileContents(storePath());
  ASSERT_EQ(loadOnFullDisk(storePath(), 0), kLoadFailed);
  EXPECT_EQ(fileContents(storePath()), before);
  Notebook reopened(fileStore(storePath()));
  EXPECT_EQ(fetchAll(reopened.view(), "Note").size(), 1u);
}

TEST_F(PstoreStoreLoad, SecondStoreOnOneCoordinatorIsRefused) {
  Notebook notebook(fileStore(storePath()));
  std::optional<Error> error = load(notebook.container, memoryStore());
  ASSERT_TRUE(error);
  EXPECT_TRUE(isPersistentStoreError(*error, PersistentStoreErrorCode::StoreOpenFailed));
}

TEST_F(PstoreStoreLoad, DestroyingALoadedStoreClosesItForItsContexts) {
  Notebook notebook(fileStore(storePath()));
  ASSERT_TRUE(notebook.container.persistentStoreCoordinator()->destroyPersistentStore(storePath()).ok());
  EXPECT_FALSE(exists());
  Result<std::vector<ManagedObject>> fetched = notebook.view().fetch(FetchRequest{.entityName = "Note"});
  ASSERT_FALSE(fetched);
  EXPECT_TRUE(isPersistentStoreError(fetched.error(), PersistentStoreErrorCode::StoreOperationFailed));
}

// A process closes its store before it exits: everything is in the file, which stays as found
// sound unless the session wrote to it.
TEST_F(PstoreStoreLoad, ClosingFoldsTheLogIntoTheFileAndKeepsTheStampOfAStoreLeftAsFound) {
  writeNotes();
  const auto stampMatches = [this] {
    const std::optional<std::string> stamp = detail::currentStamp(storePath());
    return stamp && detail::isRecordedStamp(storePath(), *stamp);
  };
  {
    Notebook reader(fileStore(storePath()));
    EXPECT_EQ(fetchAll(reader.view(), "Note").size(), 200u);
    reader.container.closePersistentStores();
    EXPECT_FALSE(exists("-wal"));
    EXPECT_TRUE(stampMatches()) << "the next load skips the full check";
    Result<std::vector<ManagedObject>> fetched = reader.view().fetch(FetchRequest{.entityName = "Note"});
    ASSERT_FALSE(fetched);
    EXPECT_TRUE(isPersistentStoreError(fetched.error(), PersistentStoreErrorCode::StoreOperationFailed));
    reader.container.closePersistentStores();
  }
  Notebook writer(fileStore(storePath()));
  writer.view().insertNewObject("Note").setValue("title", std::string("last"));
  saveOrFail(writer.view());
  writer.container.closePersistentStores();
  EXPECT_FALSE(exists("-wal"));
  EXPECT_FALSE(stampMatches()) << "a session that wrote is checked again";
  Notebook reopened(fileStore(storePath()));
  EXPECT_EQ(fetchAll(reopened.view(), "Note").size(), 201u);
}

TEST_F(PstoreStoreLoad, DestroyingAMissingStoreSucceeds) {
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  EXPECT_TRUE(container.persistentStoreCoordinator()->destroyPersistentStore(storePath()).ok());
}

TEST_F(PstoreStoreLoad, DestroyRefusedByTheSystemReportsNoPermission) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  writeOneNote("a");
  std::filesystem::permissions(folder.path(),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  Result<void> destroyed = container.persistentStoreCoordinator()->destroyPersistentStore(storePath());
  std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all);
  ASSERT_FALSE(destroyed);
  EXPECT_TRUE(isPersistentStoreError(destroyed.error(), PersistentStoreErrorCode::WriteNoPermission));
  EXPECT_TRUE(exists());
}

TEST_F(PstoreStoreLoad, InMemoryStoresAreSeparateAndStartEmpty) {
  Notebook first(memoryStore());
  Notebook second(memoryStore());
  first.view().insertNewObject("Note");
  saveOrFail(first.view());
  EXPECT_EQ(fetchAll(first.view(), "Note").size(), 1u);
  EXPECT_TRUE(fetchAll(second.view(), "Note").empty());
}

TEST_F(PstoreStoreLoad, ContextsWithoutAStoreFail) {
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container("Notebook", makeNotebookModel(), clock, center);
  EXPECT_FALSE(container.viewContext()->setQueryGenerationFromCurrent());
  EXPECT_FALSE(container.viewContext()->fetch(FetchRequest{.entityName = "Note"}));
}

}  // namespace
}  // namespace platform
