#include "platform/pstore/testing/RawDatabase.h"

#include <sqlite3.h>

#include <stdexcept>

namespace platform::testing {

RawDatabase::RawDatabase(const std::filesystem::path& path) {
  if (sqlite3_open(path.c_str(), &database_) != SQLITE_OK) {
    sqlite3_close(database_);
    throw std::runtime_error("cannot open " + path.string());
  }
  sqlite3_busy_timeout(database_, 5000);
}

RawDatabase::~RawDatabase() {
  sqlite3_close(database_);
}

void RawDatabase::execute(const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message ? message : "?";
    sqlite3_free(message);
    throw std::runtime_error(sql + ": " + reason);
  }
}

std::int64_t RawDatabase::count(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sql + ": " + sqlite3_errmsg(database_));
  }
  const std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_finalize(statement);
  return value;
}

}  // namespace platform::testing
