#include "platform/sqlite/SqliteSetAside.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/paths/PathsError.h"
#include "platform/paths/testing/FolderLockCases.h"
#include "platform/sqlite/SqliteConnection.h"
#include "platform/testing/ProcessesAtOnce.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"

namespace platform {
namespace {

class SqliteSetAsideTest : public ::testing::Test {
 protected:
  std::filesystem::path at(const std::string& name) const { return folder_.path() / name; }
  static void write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
  }
  static std::int64_t rows(const std::filesystem::path& file) {
    auto connection = SqliteConnection::open(file.string()).value();
    return std::get<std::int64_t>(connection->scalar("SELECT count(*) FROM t").value());
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_.path()), {}));
  }

  testing::TemporaryDirectory folder_;
  ManualClock clock_{Date::fromUnixSeconds(1'700'000'000)};
};

TEST_F(SqliteSetAsideTest, TheCopyOpensWithWhatOnlyItsLogHeldAndTheLogIndexStaysBehindNowhere) {
  // What a process that ended before folding its log in leaves behind.
  {
    auto live = SqliteConnection::open(at("live.sqlite").string()).value();
    ASSERT_TRUE(live->execute("PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; CREATE TABLE t(v)"));
    ASSERT_TRUE(live->execute("INSERT INTO t VALUES (1), (2), (3)"));
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::copy_file(at(std::string("live.sqlite") + suffix),
                                 at(std::string("store.sqlite") + suffix));
  }

  const std::filesystem::path aside =
      setAsideDamagedSqliteFile(at("store.sqlite"), KeptCopies::All, clock_).value();
  EXPECT_EQ(aside, at("store.sqlite.damaged-1700000000"));
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(at(std::string("store.sqlite") + suffix))) << suffix;
  EXPECT_FALSE(std::filesystem::exists(aside.string() + "-shm"));
  EXPECT_EQ(rows(aside), 3);
}

TEST_F(SqliteSetAsideTest, TheJournalGoesAlongAndNoPieceThatCannotMoveIsRemoved) {
  write(at("store.sqlite"), "file");
  write(at("store.sqlite-journal"), "journal");
  const std::filesystem::path aside =
      setAsideDamagedSqliteFile(at("store.sqlite"), KeptCopies::All, clock_).value();
  EXPECT_EQ(testing::fileContents(aside), "file");
  EXPECT_EQ(testing::fileContents(aside.string() + "-journal"), "journal");

  // The copy's name fits in a folder entry; its log's name does not.
  const std::filesystem::path file = at(std::string(235, 's'));
  for (const char* suffix : {"", "-wal", "-journal", "-shm"}) write(file.string() + suffix, suffix);
  Result<std::filesystem::path> failed = setAsideDamagedSqliteFile(file, KeptCopies::All, clock_);
  ASSERT_FALSE(failed.ok());
  EXPECT_TRUE(isPathsError(failed.error(), PathsErrorCode::WriteFailed));
  EXPECT_EQ(testing::fileContents(file), "");
  EXPECT_EQ(testing::fileContents(file.string() + "-wal"), "-wal");
  EXPECT_EQ(testing::fileContents(file.string() + "-journal"), "-journal");
  EXPECT_EQ(entries(), 5u) << "the first copy, its journal and the three pieces that stayed";
}

// A file found damaged is set aside whether or not its folder gives a lock: one on a network home,
// or one the user may write but not list, gives none.
class SqliteGuardedSetAsideTest : public testing::FolderLockCases<SqliteSetAsideTest> {};
INSTANTIATE_TEST_SUITE_P(Folders, SqliteGuardedSetAsideTest, ::testing::Bool(), testing::folderLockCaseName);

TEST_P(SqliteGuardedSetAsideTest, TheFileFoundDamagedGoesAsideWholeAndANewFileOpensInItsPlace) {
  const std::filesystem::path path = at("store.sqlite");
  for (const std::string suffix : {"", "-wal", "-journal", "-shm"})
    write(path.string() + suffix, "damaged" + suffix);
  const FileIdentity judged = fileIdentity(path).value();

  Result<std::optional<std::filesystem::path>> aside =
      setAsideDamagedSqliteFile(path, judged, KeptCopies::All, clock_);
  ASSERT_TRUE(aside.ok()) << aside.error().debugDescription();
  ASSERT_EQ(*aside, at("store.sqlite.damaged-1700000000"));
  EXPECT_EQ(testing::fileContents(**aside), "damaged");
  EXPECT_EQ(testing::fileContents((*aside)->string() + "-wal"), "damaged-wal");
  EXPECT_EQ(testing::fileContents((*aside)->string() + "-journal"), "damaged-journal");
  EXPECT_EQ(entries(), 3u) << "the copy, its log and its journal; the log index is gone";

  auto fresh = SqliteConnection::open(path.string()).value();
  ASSERT_TRUE(fresh->execute("CREATE TABLE t(v)"));
  EXPECT_EQ(rows(path), 0);
}

TEST_P(SqliteGuardedSetAsideTest, AMoveThatFailsFailsTheSetAsideAndLeavesTheFile) {
  // The file's name fits in a folder entry; its copy's name does not.
  const std::filesystem::path path = at(std::string(240, 's'));
  write(path, "damaged");
  Result<std::optional<std::filesystem::path>> aside =
      setAsideDamagedSqliteFile(path, fileIdentity(path).value(), KeptCopies::All, clock_);
  ASSERT_FALSE(aside.ok());
  EXPECT_TRUE(isPathsError(aside.error(), PathsErrorCode::WriteFailed));
  EXPECT_EQ(testing::fileContents(path), "damaged");
}

TEST_P(SqliteGuardedSetAsideTest, OnlyTheFileFoundDamagedIsMovedNeverOneMadeInItsPlace) {
  const std::filesystem::path path = at("store.sqlite");
  write(path, "damaged");
  const FileIdentity judged = fileIdentity(path).value();
  EXPECT_TRUE(setAsideDamagedSqliteFile(path, judged, KeptCopies::NewestOnly, clock_).value());

  // Another process that found the same file damaged comes second, while the first makes a new file.
  auto maker = SqliteConnection::open(path.string()).value();
  ASSERT_TRUE(maker->execute("BEGIN IMMEDIATE; CREATE TABLE t(v)"));
  Result<std::optional<std::filesystem::path>> second =
      setAsideDamagedSqliteFile(path, judged, KeptCopies::NewestOnly, clock_);
  ASSERT_TRUE(second.ok()) << second.error().debugDescription();
  EXPECT_FALSE(*second);
  ASSERT_TRUE(maker->execute("COMMIT"));
  EXPECT_EQ(rows(path), 0);
  EXPECT_EQ(testing::fileContents(at("store.sqlite.damaged-1700000000")), "damaged");

  // Gone altogether: nothing to move.
  maker.reset();
  std::filesystem::remove(path);
  EXPECT_FALSE(setAsideDamagedSqliteFile(path, judged, KeptCopies::NewestOnly, clock_).value());
}

// Two processes that both found one file damaged set it aside at once, and each starts a new file:
// one copy is made, and the new file stays.
TEST_F(SqliteSetAsideTest, OfTwoProcessesThatFoundOneFileDamagedOneMovesIt) {
  const std::filesystem::path path = at("store.sqlite");
  write(path, "damaged");
  const FileIdentity judged = fileIdentity(path).value();
  // 0: moved, 1: found it moved already, 2: failed.
  auto setAsideAndStartAfresh = [&] {
    Result<std::optional<std::filesystem::path>> aside =
        setAsideDamagedSqliteFile(path, judged, KeptCopies::All, clock_);
    auto fresh = SqliteConnection::open(path.string());
    if (!aside || !fresh || !(*fresh)->execute("CREATE TABLE IF NOT EXISTS t(v)")) return 2;
    return *aside ? 0 : 1;
  };

  const std::vector<int> outcomes = testing::runAtOnce({setAsideAndStartAfresh, setAsideAndStartAfresh});

  EXPECT_EQ(outcomes[0] + outcomes[1], 1)
      << "one moved it, the other found it moved: " << outcomes[0] << ", " << outcomes[1];
  EXPECT_EQ(testing::fileContents(at("store.sqlite.damaged-1700000000")), "damaged");
  EXPECT_FALSE(std::filesystem::exists(at("store.sqlite.damaged-1700000000-1")));
  EXPECT_EQ(rows(path), 0);
}

}  // namespace
}  // namespace platform
