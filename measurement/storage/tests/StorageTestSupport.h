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

// Overwrites the top b-tree page of `table` in the closed database file at `file` with garbage, as a
// failing disk would: the file still opens, and the first statement that reaches the table fails
// as corrupt.
inline void damageTable(const std::filesystem::path& file, const std::string& table) {
  std::int64_t rootPage = 0;
  std::int64_t pageSize = 0;
  {
    auto connection = platform::SqliteConnection::open(file.string()).value();
    rootPage = std::get<std::int64_t>(
        connection->scalar("SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = ?", {table})
            .value());
    pageSize = std::get<std::int64_t>(connection->scalar("PRAGMA page_size").value());
  }
  std::fstream stored(file, std::ios::in | std::ios::out | std::ios::binary);
  stored.seekp((rootPage - 1) * pageSize);
  const std::string garbage(static_cast<std::size_t>(pageSize), '\xA5');
  stored.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  if (!stored) throw std::runtime_error("cannot damage " + file.string());
}

}  // namespace beacon::testing
