// The measurement file among other processes that open it too: one that holds the file while it makes
// it is waited for, one that found the file damaged first is left the new file it made, a damaged file
// is set aside also where its folder gives no lock to keep the others out meanwhile, and a damaged file
// that cannot be set aside stays as it is.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "measurement/storage/tests/StorageTestSupport.h"
#include "platform/paths/FolderLock.h"

namespace beacon {
namespace {

constexpr std::int64_t kFileSetAside =
    static_cast<std::int64_t>(BMSSqliteStoreErrorCode::DamagedFileSetAside);

class BMSSqliteStoreSetAsideTest : public ::testing::Test {
 protected:
  std::unique_ptr<BMSSqliteStore> openStore() {
    auto opened = BMSSqliteStore::open(path);
    if (!opened) throw std::runtime_error(opened.error().debugDescription());
    return std::move(opened).value();
  }
  // The damaged copies beside the file, their logs and journals left out.
  std::size_t copies() const {
    std::size_t found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      const std::string name = entry.path().filename().string();
      const bool companion = name.ends_with("-wal") || name.ends_with("-journal");
      if (name.starts_with(path.filename().string() + ".damaged-") && !companion) ++found;
    }
    return found;
  }

  testing::ScopedEngineServices engine;
  platform::testing::TemporaryDirectory folder;
  std::filesystem::path path = folder.path() / "store.sql";
};

TEST_F(BMSSqliteStoreSetAsideTest, AFileAnotherProcessHoldsWhileMakingItIsWaitedForNeverSetAside) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t maker = ::fork();
  ASSERT_GE(maker, 0);
  if (maker == 0) {
    // Made in a transaction that holds the file from its first byte to its commit, which comes while
    // the other process is opening the file.
    auto connection = platform::SqliteConnection::open(path.string());
    bool made = connection &&
                (*connection)->execute("BEGIN IMMEDIATE; CREATE TABLE made(v); INSERT INTO made VALUES (1)");
    made = ::write(ready[1], made ? "1" : "0", 1) == 1 && made;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::_exit(made && (*connection)->execute("COMMIT") ? 0 : 1);
  }
  char made = 0;
  ASSERT_EQ(::read(ready[0], &made, 1), 1);
  ASSERT_EQ(made, '1');

  auto store = BMSSqliteStore::open(path);
  int status = 0;
  ASSERT_EQ(::waitpid(maker, &status, 0), maker);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(store) << store.error().debugDescription();
  EXPECT_EQ((*store)->integer("SELECT count(*) FROM made").value(), 1);
  EXPECT_EQ(copies(), 0u);
  EXPECT_TRUE(engine.log->codes().empty());
}

TEST_F(BMSSqliteStoreSetAsideTest, AStoreMeetingDamageAnotherHasSetAsideLeavesTheNewFileAlone) {
  auto first = openStore();
  auto second = openStore();
  ASSERT_TRUE(first->execute("CREATE TABLE t (v)"));
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(first->run("INSERT INTO t VALUES (?)", {std::string(1000, 'x')}));
  ASSERT_TRUE(first->execute("PRAGMA wal_checkpoint(TRUNCATE)"));
  testing::damageTable(path, "t");
  // A write of another connection makes both read the pages anew.
  ASSERT_TRUE(platform::SqliteConnection::open(path.string()).value()->execute("PRAGMA user_version = 1"));

  EXPECT_FALSE(first->integer("SELECT count(*) FROM t"));
  ASSERT_TRUE(first->execute("CREATE TABLE t (v)"));
  ASSERT_TRUE(first->run("INSERT INTO t VALUES ('new')", {}));
  // Still on the damaged file, which is no longer the one at the path.
  EXPECT_FALSE(second->integer("SELECT count(*) FROM t"));

  EXPECT_EQ(first->integer("SELECT count(*) FROM t").value(), 1);
  EXPECT_EQ(second->integer("SELECT count(*) FROM t").value(), 1) << "the second goes on in the new file";
  EXPECT_EQ(copies(), 1u);
  EXPECT_EQ(engine.log->codes(), std::vector<std::int64_t>{kFileSetAside});
}

TEST_F(BMSSqliteStoreSetAsideTest, ADamagedFileIsSetAsideAndANewOneOpenedAlsoWhereTheFolderGivesNoLock) {
  std::ofstream(path) << std::string(8192, 'x');
  // As a folder on a network home, or one the user may write but not list.
  platform::FolderLock::refuseForTesting(ENOLCK);
  auto store = BMSSqliteStore::open(path);
  platform::FolderLock::refuseForTesting(std::nullopt);

  ASSERT_TRUE(store) << store.error().debugDescription();
  EXPECT_TRUE((*store)->execute("CREATE TABLE t (v)"));
  EXPECT_EQ(copies(), 1u);
  EXPECT_EQ(engine.log->codes(), std::vector<std::int64_t>{kFileSetAside});
}

TEST_F(BMSSqliteStoreSetAsideTest, ADamagedFileThatCannotBeSetAsideStaysAsItIs) {
  // The file's name fits in a folder entry; its copy's name does not.
  path = folder.path() / std::string(240, 's');
  const std::string garbage(8192, 'x');
  std::ofstream(path) << garbage;

  auto store = BMSSqliteStore::open(path);
  EXPECT_FALSE(store);
  EXPECT_TRUE(platform::testing::fileContents(path) == garbage) << "the file was changed";
  EXPECT_EQ(engine.log->codes(), std::vector<std::int64_t>{kFileSetAside});
}

}  // namespace
}  // namespace beacon
