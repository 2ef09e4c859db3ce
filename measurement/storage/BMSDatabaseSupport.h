#pragma once
// Helpers shared by the measurement database's source files. Internal to the storage target.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/storage/BMSSqliteStore.h"
#include "platform/error/Result.h"

namespace beacon::storage {

enum class DatabaseErrorCode : std::int64_t {
  OpenFailed = 12001,
  SchemaFailed = 12002,
  ReadFailed = 12003,
  WriteFailed = 12004,
  NoSnapshot = 12005,
  InvalidRow = 12006,
};

// An error of the database's block describing `what`, caused by `cause`.
platform::Error databaseError(DatabaseErrorCode code, std::string_view what, const platform::Error& cause);
platform::Error databaseError(DatabaseErrorCode code, std::string_view what);

// Runs `work` in one transaction (a savepoint inside another); the first failure it returns rolls
// the work back and comes back from here.
platform::Result<void> transact(BMSSqliteStore& store, const std::function<platform::Result<void>()>& work);
// Runs fixed statements in order in one transaction.
platform::Result<void> executeAll(BMSSqliteStore& store, const std::vector<std::string>& statements);

// A stored number as a double; 0 for null and for anything that is not a number.
double realValue(const platform::SqlValue& value);
inline double realColumn(const platform::SqliteRow& row, int column) {
  return realValue(row.column(column));
}

// "?, ?, ?" with one marker per element, for IN lists.
std::string parameterList(std::size_t count);

}  // namespace beacon::storage
