#include "platform/sqlite/SqliteConnection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

std::unique_ptr<SqliteConnection> openOrFail(const std::string& filename) {
  Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::open(filename);
  if (!opened) throw std::runtime_error(opened.error().debugDescription());
  return std::move(opened).value();
}

std::int64_t count(SqliteConnection& connection, const std::string& table) {
  return std::get<std::int64_t>(connection.scalar("SELECT count(*) FROM " + table).value());
}

TEST(SqliteConnection, BoundParametersKeepTheirStorageClassAndAreNeverSpliced) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v)"));
  const std::vector<SqlValue> values = {
      std::monostate{}, std::int64_t{1}, 1.0, std::string("'); DROP TABLE t; --"), Bytes{}, Bytes{0, 1, 2}};
  for (const SqlValue& value : values) ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (?)", {value}));

  std::vector<SqlValue> read;
  ASSERT_TRUE(connection->run("SELECT v FROM t ORDER BY rowid", {},
                              [&](const SqliteRow& row) { read.push_back(row.column(0)); }));
  ASSERT_EQ(read.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(identicalSqlValues(read[i], values[i])) << i;
  // The empty blob stays a blob, not null.
  EXPECT_EQ(std::get<std::int64_t>(connection->scalar("SELECT count(*) FROM t WHERE v IS NULL").value()), 1);
}

TEST(SqliteConnection, CachedStatementRunsAgainWithNewParameters) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v INTEGER)"));
  for (std::int64_t i = 0; i < 5; ++i) ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (?)", {i}));
  EXPECT_EQ(connection->changes(), 1);
  EXPECT_EQ(std::get<std::int64_t>(
                connection->scalar("SELECT sum(v) FROM t WHERE v > ?", {std::int64_t{2}}).value()),
            7);
  EXPECT_EQ(std::get<std::int64_t>(
                connection->scalar("SELECT sum(v) FROM t WHERE v > ?", {std::int64_t{3}}).value()),
            4);
  EXPECT_TRUE(isNull(connection->scalar("SELECT v FROM t WHERE v > 100").value()));
}

TEST(SqliteConnection, FailuresAreEngineErrorsNamingTheStatement) {
  auto connection = openOrFail(":memory:");
  Result<void> failed = connection->run("SELECT * FROM missing", {});
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().domain, kSQLiteErrorDomain);
  EXPECT_EQ(failed.error().code, SQLITE_ERROR);
  EXPECT_NE(failed.error().debugDescription().find("missing"), std::string::npos);
}

// The system's reason travels with a failure of the file system, so that a caller can tell a full
// disk from another fault; other failures carry no stale number.
TEST(SqliteConnection, AFileSystemFailureCarriesTheSystemsReason) {
  testing::TemporaryDirectory folder;
  const std::string unreachable = (folder.path() / "no-such-folder" / "x.sqlite").string();
  Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::open(unreachable);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().code, SQLITE_CANTOPEN);
  EXPECT_EQ(opened.error().systemErrorNumber(), ENOENT);

  auto connection = openOrFail(":memory:");
  Result<void> attached = connection->execute("ATTACH DATABASE '" + unreachable + "' AS other");
  ASSERT_FALSE(attached);
  EXPECT_EQ(attached.error().code, SQLITE_CANTOPEN);
  EXPECT_EQ(attached.error().systemErrorNumber(), ENOENT);
  // The engine still holds that number; a failure of another kind does not take it over.
  Result<void> later = connection->run("SELECT * FROM missing", {});
  ASSERT_FALSE(later);
  EXPECT_FALSE(later.error().systemErrorNumber().has_value());
}

TEST(SqliteConnection, AFileThatIsNoDatabaseFailsWithCode26) {
  testing::TemporaryDirectory folder;
  const auto path = folder.path() / "garbage.sqlite";
  std::ofstream(path) << std::string(4096, 'x');
  auto connection = openOrFail(path.string());
  Result<void> read = connection->execute("SELECT * FROM sqlite_master");
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().domain, kSQLiteErrorDomain);
  EXPECT_EQ(read.error().code, SQLITE_NOTADB);
}

TEST(SqliteConnection, TheIntegrityCheckFindsDamageNoOrdinaryReadMeets) {
  testing::TemporaryDirectory folder;
  const auto path = folder.path() / "damaged.sqlite";
  std::int64_t pages = 0;
  {
    auto connection = openOrFail(path.string());
    ASSERT_TRUE(
        connection->execute("CREATE TABLE small (v); INSERT INTO small VALUES (1); CREATE TABLE large (v)"));
    for (int i = 0; i < 200; ++i)
      ASSERT_TRUE(connection->run("INSERT INTO large VALUES (?)", {std::string(200, 'v')}));
    EXPECT_TRUE(connection->checkIntegrity());
    pages = std::get<std::int64_t>(connection->scalar("PRAGMA page_count").value());
  }
  // The last page holds the newest rows of the large table.
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
      .seekp(std::streamoff(pages - 1) * 4096)
      .write(std::string(4096, '\xA5').data(), 4096);

  auto connection = openOrFail(path.string());
  EXPECT_EQ(count(*connection, "small"), 1);
  Result<void> checked = connection->checkIntegrity();
  ASSERT_FALSE(checked);
  EXPECT_EQ(checked.error().domain, kSQLiteErrorDomain);
  EXPECT_EQ(checked.error().code, SQLITE_CORRUPT);
  EXPECT_NE(checked.error().description.find("damaged.sqlite is damaged"), std::string::npos);

  std::ofstream(path, std::ios::trunc) << std::string(4096, 'x');
  EXPECT_EQ(openOrFail(path.string())->checkIntegrity().error().code, SQLITE_NOTADB);
}

TEST(SqliteTransaction, RollsBackWhenTheScopeEndsWithoutCommit) {
  testing::TemporaryDirectory folder;
  const std::string path = (folder.path() / "t.sqlite").string();
  auto connection = openOrFail(path);
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v)"));
  {
    auto transaction = SqliteTransaction::begin(*connection);
    ASSERT_TRUE(transaction);
    ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (1)", {}));
  }
  EXPECT_EQ(count(*connection, "t"), 0);
  {
    auto transaction = SqliteTransaction::begin(*connection);
    ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (1)", {}));
    ASSERT_TRUE(transaction->commit());
  }
  // A second connection sees the committed row.
  auto other = openOrFail(path);
  EXPECT_EQ(count(*other, "t"), 1);
}

// The cached statement's table changes underneath it: every run reads the table as it is now.
TEST(SqliteConnection, CachedStatementFollowsATableDroppedAndMadeAnew) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(a, b)"));
  ASSERT_TRUE(connection->run("INSERT INTO t VALUES (1, 2)", {}));
  const std::string select = "SELECT * FROM t";
  auto columns = [&] {
    std::vector<SqlValue> read;
    EXPECT_TRUE(connection->run(select, {}, [&](const SqliteRow& row) {
      read.push_back(row.column(0));
      read.push_back(row.column(1));
    }));
    return read;
  };
  EXPECT_EQ(columns(), (std::vector<SqlValue>{std::int64_t{1}, std::int64_t{2}}));
  ASSERT_TRUE(connection->execute("DROP TABLE t"));
  ASSERT_FALSE(connection->run(select, {}));
  ASSERT_TRUE(connection->execute("CREATE TABLE t(b, a)"));
  ASSERT_TRUE(connection->run("INSERT INTO t VALUES ('x', 'y')", {}));
  EXPECT_EQ(columns(), (std::vector<SqlValue>{std::string("x"), std::string("y")}));
}

// A walk that stops early: the rows after the last one taken are never handed over, and the
// statement lets go of the file at once (a writer elsewhere would otherwise wait for its read lock).
TEST(SqliteConnection, AStatementEndedEarlyStopsReadingAndStartsAfreshWhenRunAgain) {
  testing::TemporaryDirectory folder;
  const std::string path = (folder.path() / "t.sqlite").string();
  auto connection = openOrFail(path);
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v INTEGER)"));
  for (std::int64_t i = 0; i < 5; ++i) ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (?)", {i}));
  const std::string select = "SELECT v FROM t WHERE v >= ? ORDER BY v";
  const auto firstTwo = [&](std::int64_t from) {
    std::vector<std::int64_t> seen;
    EXPECT_TRUE(connection->runWhile(select, {from}, [&](const SqliteRow& row) {
      seen.push_back(row.integer(0));
      return seen.size() < 2;
    }));
    return seen;
  };
  EXPECT_EQ(firstTwo(1), (std::vector<std::int64_t>{1, 2}));

  auto writer = openOrFail(path);
  EXPECT_TRUE(writer->run("INSERT INTO t(v) VALUES (0)", {})) << "the read lock was let go";
  EXPECT_EQ(firstTwo(0), (std::vector<std::int64_t>{0, 0}));
  std::size_t all = 0;
  EXPECT_TRUE(connection->runWhile(select, {std::int64_t{0}}, [&](const SqliteRow&) { return ++all > 0; }));
  EXPECT_EQ(all, 6u) << "a walk that never stops reads every row";
}

TEST(SqliteTransaction, NestedTransactionIsASavepointThatRollsBackAlone) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v)"));
  auto outer = SqliteTransaction::begin(*connection, SqliteTransaction::Mode::Exclusive);
  ASSERT_TRUE(outer);
  EXPECT_FALSE(outer->isNested());
  ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES ('outer')", {}));
  {
    auto inner = SqliteTransaction::begin(*connection);
    ASSERT_TRUE(inner);
    EXPECT_TRUE(inner->isNested());
    ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES ('dropped')", {}));
  }
  {
    auto inner = SqliteTransaction::begin(*connection);
    ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES ('kept')", {}));
    ASSERT_TRUE(inner->commit());
  }
  ASSERT_TRUE(outer->commit());
  EXPECT_FALSE(connection->inTransaction());
  EXPECT_EQ(count(*connection, "t"), 2);
  EXPECT_EQ(std::get<std::int64_t>(connection->scalar("SELECT count(*) FROM t WHERE v = 'dropped'").value()),
            0);
}

TEST(SqliteTransaction, CommittedSavepointIsLostWhenTheOuterTransactionRollsBack) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v)"));
  {
    auto outer = SqliteTransaction::begin(*connection);
    auto inner = SqliteTransaction::begin(*connection);
    ASSERT_TRUE(connection->run("INSERT INTO t(v) VALUES (1)", {}));
    ASSERT_TRUE(inner->commit());
  }
  EXPECT_EQ(count(*connection, "t"), 0);
  // The depth is back to zero: the next transaction is an outermost one again.
  auto next = SqliteTransaction::begin(*connection);
  ASSERT_TRUE(next);
  EXPECT_FALSE(next->isNested());
}

TEST(SqliteTransaction, RefusesToNestInsideATransactionTheEngineAlreadyEnded) {
  auto connection = openOrFail(":memory:");
  ASSERT_TRUE(connection->execute("CREATE TABLE t(v)"));
  auto outer = SqliteTransaction::begin(*connection);
  // Stands for the engine rolling back on its own after a full disk or an I/O error.
  ASSERT_TRUE(connection->execute("ROLLBACK"));
  auto inner = SqliteTransaction::begin(*connection);
  ASSERT_FALSE(inner);
  EXPECT_EQ(inner.error().domain, kSQLiteErrorDomain);
}

}  // namespace
}  // namespace platform
