#pragma once
// Shared by the storage tests: a measurement database in a temporary folder, on a clock the test
// sets.

#include <memory>

#include "measurement/storage/BMSDatabase.h"
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

}  // namespace beacon::testing
