#include "measurement/storage/BMSSqliteStore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "measurement/engine/BMSError.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class BMSSqliteStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<BMSSqliteStore> openStore() {
    auto opened = BMSSqliteStore::open(folder.path() / "store.sql");
    if (!opened) throw std::runtime_error(opened.error().debugDescription());
    auto store = std::move(opened).value();
    EXPECT_TRUE(store->execute("CREATE TABLE IF NOT EXISTS t (v)"));
    return store;
  }
  std::int64_t rows(BMSSqliteStore& store) { return store.integer("SELECT count(*) FROM t").value(); }

  platform::testing::TemporaryDirectory folder;
};

TEST_F(BMSSqliteStoreTest, NestedTransactionRollsBackAloneAndTheOuterOneStillCommits) {
  auto store = openStore();
  const bool committed = store->performTransaction([&] {
    EXPECT_TRUE(store->run("INSERT INTO t VALUES (1)", {}));
    EXPECT_FALSE(store->performTransaction([&] {
      EXPECT_TRUE(store->run("INSERT INTO t VALUES (2)", {}));
      return false;
    }));
    EXPECT_TRUE(store->performTransaction(
        [&] { return static_cast<bool>(store->run("INSERT INTO t VALUES (3)", {})); }));
    return true;
  });
  EXPECT_TRUE(committed);
  EXPECT_EQ(store->integer("SELECT sum(v) FROM t").value(), 4);
}

TEST_F(BMSSqliteStoreTest, GroupedReadsSeeTheOpenTransactionAndNeverCommitIt) {
  auto store = openStore();
  std::int64_t seen = -1;
  store->performReads([&] { seen = rows(*store); });
  EXPECT_EQ(seen, 0);
  EXPECT_FALSE(store->performTransaction([&] {
    EXPECT_TRUE(store->run("INSERT INTO t VALUES (1)", {}));
    store->performReads([&] { seen = rows(*store); });
    return false;
  }));
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(rows(*store), 0);
  // A failing read inside reports its own error and leaves no transaction open.
  store->performReads([&] { EXPECT_FALSE(store->run("SELECT * FROM missing", {})); });
  EXPECT_FALSE(store->inTransaction());
  EXPECT_TRUE(store->performTransaction(
      [&] { return static_cast<bool>(store->run("INSERT INTO t VALUES (2)", {})); }));
  EXPECT_EQ(rows(*store), 1);
}

TEST_F(BMSSqliteStoreTest, CommitHooksRunOnlyAfterTheOutermostCommit) {
  auto store = openStore();
  std::vector<std::string> ran;
  store->onCommit([&] { ran.push_back("outside"); });
  EXPECT_EQ(ran, std::vector<std::string>{"outside"});

  store->performTransaction([&] {
    store->performTransaction([&] {
      store->onCommit([&] { ran.push_back("inner"); });
      return true;
    });
    store->performTransaction([&] {
      store->onCommit([&] { ran.push_back("rolled back"); });
      return false;
    });
    EXPECT_EQ(ran.size(), 1u);
    return true;
  });
  EXPECT_EQ(ran, (std::vector<std::string>{"outside", "inner"}));

  store->performTransaction([&] {
    store->performTransaction([&] {
      store->onCommit([&] { ran.push_back("lost with the outer rollback"); });
      return true;
    });
    return false;
  });
  EXPECT_EQ(ran.size(), 2u);
  EXPECT_FALSE(store->inTransaction());
}

// What another connection finds in the file: only what has been committed.
std::int64_t committedRows(const std::filesystem::path& path) {
  auto reader = platform::SqliteConnection::open(path.string()).value();
  return std::get<std::int64_t>(reader->scalar("SELECT count(*) FROM t").value());
}

bool insertGrouped(BMSSqliteStore& store, std::int64_t value,
                   BMSGroupedWork answer = BMSGroupedWork::CommitStoredEvent) {
  return store.performGroupedTransaction([&] {
    EXPECT_TRUE(store.run("INSERT INTO t VALUES (?)", {value}));
    return answer;
  });
}

TEST_F(BMSSqliteStoreTest, GroupedTransactionsBecomeDurableTogetherOnlyWhenTheGroupCommits) {
  const auto path = folder.path() / "store.sql";
  auto store = openStore();
  std::vector<std::string> ran;
  EXPECT_TRUE(insertGrouped(*store, 1));
  store->onCommit([&] { ran.push_back("grouped"); });
  EXPECT_FALSE(insertGrouped(*store, 2, BMSGroupedWork::RollBack));
  EXPECT_TRUE(insertGrouped(*store, 3));
  EXPECT_TRUE(store->groupOpen());
  EXPECT_EQ(rows(*store), 2);
  EXPECT_EQ(committedRows(path), 0);
  EXPECT_TRUE(ran.empty());

  store->commitGroup();
  EXPECT_FALSE(store->groupOpen());
  EXPECT_FALSE(store->inTransaction());
  EXPECT_EQ(committedRows(path), 2);
  EXPECT_EQ(store->integer("SELECT sum(v) FROM t").value(), 4);
  EXPECT_EQ(ran, std::vector<std::string>{"grouped"});
  store->commitGroup();
  EXPECT_EQ(committedRows(path), 2);
}

TEST_F(BMSSqliteStoreTest, AGroupCommitsBeforeOtherWorkAndAtItsLimitCloseAndEnd) {
  const auto path = folder.path() / "store.sql";
  auto store = openStore();
  EXPECT_TRUE(insertGrouped(*store, 1));
  // Work that is not grouped commits on its own, the group before it; inside a grouped
  // transaction it is a savepoint of the group like the rest.
  EXPECT_TRUE(store->performTransaction([&] {
    EXPECT_FALSE(store->groupOpen());
    return static_cast<bool>(store->run("INSERT INTO t VALUES (2)", {}));
  }));
  EXPECT_EQ(committedRows(path), 2);
  EXPECT_TRUE(store->performGroupedTransaction([&] {
    return BMSStoredEventOrRollBack(store->performTransaction(
        [&] { return static_cast<bool>(store->run("INSERT INTO t VALUES (3)", {})); }));
  }));
  EXPECT_TRUE(store->groupOpen());
  EXPECT_EQ(committedRows(path), 2);
  store->commitGroup();

  for (int i = 1; i < BMSSqliteStore::kGroupedTransactionsLimit; ++i) EXPECT_TRUE(insertGrouped(*store, i));
  EXPECT_EQ(committedRows(path), 3);
  EXPECT_TRUE(insertGrouped(*store, 0));
  EXPECT_FALSE(store->groupOpen());
  EXPECT_EQ(committedRows(path), 3 + BMSSqliteStore::kGroupedTransactionsLimit);

  EXPECT_TRUE(insertGrouped(*store, 0));
  store->close();
  EXPECT_EQ(committedRows(path), 4 + BMSSqliteStore::kGroupedTransactionsLimit);

  store = openStore();
  EXPECT_TRUE(insertGrouped(*store, 0));
  store.reset();
  EXPECT_EQ(committedRows(path), 5 + BMSSqliteStore::kGroupedTransactionsLimit);
}

// The group's line that says how many events went with it.
std::string groupLossLine(const testing::CapturingLogSink& log) {
  std::string found;
  for (const auto& line : log.lines)
    if (line.message.find("Events lost") != std::string::npos) found += line.message + "\n";
  return found;
}

TEST_F(BMSSqliteStoreTest, AGroupThatSQLiteRollsBackLogsHowManyConfirmedEventsItLost) {
  testing::ScopedEngineServices engine;
  auto store = openStore();
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(insertGrouped(*store, i));
  EXPECT_FALSE(insertGrouped(*store, 4, BMSGroupedWork::RollBack));           // rolled back on its own
  EXPECT_TRUE(insertGrouped(*store, 4, BMSGroupedWork::CommitWithoutEvent));  // kept, but stored no event
  // As a full disk or an I/O error does: SQLite ends the whole transaction, and the group with it.
  EXPECT_FALSE(store->performGroupedTransaction([&] {
    EXPECT_TRUE(store->run("INSERT INTO t VALUES (5)", {}));
    EXPECT_TRUE(store->execute("ROLLBACK"));
    return BMSGroupedWork::RollBack;
  }));
  EXPECT_FALSE(store->groupOpen());
  EXPECT_EQ(rows(*store), 0);
  EXPECT_NE(groupLossLine(*engine.log).find("Grouped transactions rolled back. Events lost: 3"),
            std::string::npos)
      << groupLossLine(*engine.log);
  EXPECT_EQ(engine.log->lines.size(), 1u);

  // One that had done its work when SQLite ended the group went with it too.
  engine.log->lines.clear();
  EXPECT_TRUE(insertGrouped(*store, 6));
  EXPECT_FALSE(store->performGroupedTransaction([&] {
    EXPECT_TRUE(store->run("INSERT INTO t VALUES (7)", {}));
    EXPECT_TRUE(store->execute("ROLLBACK"));
    return BMSGroupedWork::CommitStoredEvent;
  }));
  EXPECT_NE(groupLossLine(*engine.log).find("Grouped transactions rolled back. Events lost: 2"),
            std::string::npos)
      << groupLossLine(*engine.log);
  EXPECT_TRUE(insertGrouped(*store, 8));
  store->commitGroup();
  EXPECT_EQ(rows(*store), 1);
}

TEST_F(BMSSqliteStoreTest, AGroupThatFailsToCommitLogsHowManyConfirmedEventsItLost) {
  testing::ScopedEngineServices engine;
  auto store = openStore();
  // A check that only the group's commit makes fails it, as a full disk at that moment would.
  ASSERT_TRUE(
      store->execute("PRAGMA foreign_keys = ON; CREATE TABLE parent (id INTEGER PRIMARY KEY);"
                     " CREATE TABLE child (parent REFERENCES parent (id) DEFERRABLE INITIALLY DEFERRED)"));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(insertGrouped(*store, i));
  EXPECT_TRUE(insertGrouped(*store, 2, BMSGroupedWork::CommitWithoutEvent));
  EXPECT_TRUE(store->performGroupedTransaction(
      [&] { return BMSStoredEventOrRollBack(store->run("INSERT INTO child VALUES (1)", {}).ok()); }));
  store->commitGroup();
  EXPECT_FALSE(store->groupOpen());
  EXPECT_FALSE(store->inTransaction());
  EXPECT_EQ(rows(*store), 0);
  EXPECT_NE(groupLossLine(*engine.log).find("Failed to commit grouped transactions. Events lost: 3"),
            std::string::npos)
      << groupLossLine(*engine.log);
}

TEST_F(BMSSqliteStoreTest, ABlockThatThrowsRollsBackAndLeavesNoTransactionOpen) {
  auto store = openStore();
  EXPECT_THROW(store->performTransaction([&]() -> bool {
    EXPECT_TRUE(store->run("INSERT INTO t VALUES (1)", {}));
    throw std::runtime_error("boom");
  }),
               std::runtime_error);
  EXPECT_FALSE(store->inTransaction());
  EXPECT_EQ(rows(*store), 0);
  EXPECT_TRUE(store->performTransaction([] { return true; }));
}

TEST_F(BMSSqliteStoreTest, RealsOutsideTheIntegersReadAsTheNearestIntegerAndNotANumberAsZero) {
  auto store = openStore();
  EXPECT_EQ(store->integer("SELECT 1e300").value(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(store->integer("SELECT -1e300").value(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(store->integer("SELECT ?", {std::numeric_limits<double>::quiet_NaN()}).value(), 0);
  EXPECT_EQ(store->integer("SELECT -2.9").value(), -2);
}

TEST_F(BMSSqliteStoreTest, AFileThatIsNoDatabaseIsSetAsideAndANewOneOpened) {
  testing::ScopedEngineServices engine;
  const auto path = folder.path() / "store.sql";
  const std::string garbage(8192, 'x');
  std::ofstream(path) << garbage;

  auto store = BMSSqliteStore::open(path);
  ASSERT_TRUE(store) << store.error().debugDescription();
  EXPECT_TRUE((*store)->execute("CREATE TABLE t (v)"));
  EXPECT_EQ(
      engine.log->codes(),
      std::vector<std::int64_t>{static_cast<std::int64_t>(BMSSqliteStoreErrorCode::DamagedFileSetAside)});
  const std::vector<platform::Value>& context = engine.log->lines.front().contexts;
  ASSERT_EQ(context.size(), 2u);
  const std::filesystem::path aside = *context[1].asString();
  EXPECT_EQ(aside.parent_path(), folder.path());
  EXPECT_TRUE(aside.filename().string().starts_with("store.sql.damaged-")) << aside;
  std::ifstream kept(aside, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), garbage);
}

TEST_F(BMSSqliteStoreTest, ClosingFoldsTheLogIntoTheFileAndLaterStatementsNeverReachIt) {
  const std::string path = (folder.path() / "store.sql").string();
  auto store = openStore();
  bool madeTables = false;
  store->setFreshFileHandler([&] { madeTables = static_cast<bool>(store->execute("CREATE TABLE t (v)")); });
  ASSERT_TRUE(store->run("INSERT INTO t VALUES (1)", {}));
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));
  const std::uint64_t epochBefore = store->undoEpoch();

  store->close();

  EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(path + "-shm"));
  EXPECT_TRUE(madeTables);
  EXPECT_GT(store->undoEpoch(), epochBefore);
  EXPECT_TRUE(store->run("INSERT INTO t VALUES (2)", {}));
  EXPECT_EQ(store->integer("SELECT sum(v) FROM t").value(), 2);
  store->close();
  EXPECT_EQ(rows(*store), 0);

  auto reader = platform::SqliteConnection::open(path).value();
  EXPECT_EQ(reader->scalar("SELECT sum(v) FROM t").value(), platform::SqlValue(std::int64_t{1}));
}

// A deleted row's bytes are zeroed in the pages its deletion writes anyway, but the pages only the
// freelist takes are not written again: deleting a large row costs a few pages, not its size.
TEST_F(BMSSqliteStoreTest, ADeletionScrubsTheRowsPageWithoutWritingTheFreedOnes) {
  const std::filesystem::path path = folder.path() / "store.sql";
  const std::string marker = "deleted-row-marker-0123456789";
  auto store = openStore();
  ASSERT_TRUE(store->run("INSERT INTO t VALUES ('kept'), (?), (?)",
                         {marker, platform::Bytes(512 * 1024, std::uint8_t{0x5A})}));
  ASSERT_TRUE(store->execute("PRAGMA wal_checkpoint(TRUNCATE)"));
  ASSERT_TRUE(store->run("DELETE FROM t WHERE v != 'kept'", {}));
  std::int64_t loggedPages = -1;
  ASSERT_TRUE(store->run("PRAGMA wal_checkpoint(PASSIVE)", {},
                         [&](const platform::SqliteRow& row) { loggedPages = row.integer(1); }));
  EXPECT_GE(loggedPages, 1);
  EXPECT_LT(loggedPages, 10);  // the 512 KB row spans more than a hundred pages

  store->close();
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(bytes.find("kept"), std::string::npos);
  EXPECT_EQ(bytes.find(marker), std::string::npos);
}

TEST_F(BMSSqliteStoreTest, AFolderThatCannotHoldTheFileFailsWithoutDeletingAnything) {
  auto opened = BMSSqliteStore::open(folder.path() / "missing" / "store.sql");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().code, static_cast<std::int64_t>(BMSSqliteStoreErrorCode::OpenFailed));
}

}  // namespace
}  // namespace beacon
