#pragma once
// Shared by the storage tests: a measurement database in a temporary folder, on a clock the test
// sets.

#include <fstream>
#include <memory>
#include <string>

#include "measurement/storage/BMSDatabase.h"
#include "platform/sqlite/SqliteConnection.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"

namespace beacon::testing {

class DatabaseFixture {
 public:
  DatabaseFixture() : clock(std::make_shared<platform::ManualClock>()) {
    clock->setNow(platform::Date::fromUnixSeconds(1'700'000'000));
    reopen();
  }

  std::filesystem::path path() const { return folder.path() / kBMSMeasurementDatabaseName; }

  // Closes the database and opens the file again, as after a restart.
  void reopen() {
    database.reset();
    auto opened = BMSDatabase::openAtPath(path(), clock);
    if (!opened) throw std::runtime_error(opened.error().debugDescription());
    database = std::move(opened).value();
  }

  std::int64_t count(const std::string& sql) { return database->store().integer(sql).value(); }

  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<platform::ManualClock> clock;
  std::shared_ptr<BMSDatabase> database;
};

// Overwrites the top b-tree page of `table` (or of an index) in the database file at `file` with
// garbage, as a failing disk would: the file still opens, and whatever reads the table meets the
// damage.
inline void damageTable(const std::filesystem::path& file, const std::string& table) {
  std::int64_t rootPage = 0;
  std::int64_t pageSize = 0;
  {
    auto connection = platform::SqliteConnection::open(file.string()).value();
    rootPage = std::get<std::int64_t>(
        connection->scalar("SELECT rootpage FROM sqlite_master WHERE name = ?", {table}).value());
    pageSize = std::get<std::int64_t>(connection->scalar("PRAGMA page_size").value());
  }
  std::fstream stored(file, std::ios::in | std::ios::out | std::ios::binary);
  stored.seekp((rootPage - 1) * pageSize);
  const std::string garbage(static_cast<std::size_t>(pageSize), '\xA5');
  stored.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  if (!stored) throw std::runtime_error("cannot damage " + file.string());
}

// damageTable under `database` while it is open and idle, as when the disk fails in use: its log is
// folded into the file first, and a write of another connection then makes it read the pages anew.
inline void damageTableInUse(BMSDatabase& database, const std::filesystem::path& file,
                             const std::string& table) {
  if (!database.store().execute("PRAGMA wal_checkpoint(TRUNCATE)"))
    throw std::runtime_error("cannot fold the log of " + file.string());
  damageTable(file, table);
  auto other = platform::SqliteConnection::open(file.string()).value();
  const auto version = std::get<std::int64_t>(other->scalar("PRAGMA user_version").value());
  if (!other->execute("PRAGMA user_version = " + std::to_string(version)))
    throw std::runtime_error("cannot write " + file.string());
}

}  // namespace beacon::testing
