#pragma once
// Helpers shared by the measurement database's source files. Internal to the storage target.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/engine/BMSValue.h"
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

// A text column; empty for null or anything else.
std::string textColumn(const platform::SqliteRow& row, int column);

// A scalar value in four columns (kind, integer, double, text), so the integer 1 and the double 1.0
// stay apart. Arrays have no stored form.
struct StoredValueColumns {
  std::int64_t type = 0;
  platform::SqlValue integer, real, text;
};
std::optional<StoredValueColumns> storedValueColumns(const BMSValue& value);
// The value of the four columns starting at `firstColumn`; empty for an unknown kind.
std::optional<BMSValue> valueFromColumns(const platform::SqliteRow& row, int firstColumn);

// "?, ?, ?" with one marker per element, for IN lists.
std::string parameterList(std::size_t count);

}  // namespace beacon::storage
