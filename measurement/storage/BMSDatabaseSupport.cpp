#include "measurement/storage/BMSDatabaseSupport.h"

#include "measurement/engine/BMSError.h"

namespace beacon::storage {

platform::Error databaseError(DatabaseErrorCode code, std::string_view what, const platform::Error& cause) {
  platform::Error error = databaseError(code, what);
  error.causedBy(cause);
  return error;
}

platform::Error databaseError(DatabaseErrorCode code, std::string_view what) {
  return bms_errorWithCode(static_cast<std::int64_t>(code), what);
}

platform::Result<void> transact(BMSSqliteStore& store, const std::function<platform::Result<void>()>& work) {
  platform::Error failure;
  const bool committed = store.performTransaction(
      [&] {
        platform::Result<void> done = work();
        if (!done) failure = done.error();
        return static_cast<bool>(done);
      },
      &failure);
  if (!committed) return failure;
  return {};
}

platform::Result<void> executeAll(BMSSqliteStore& store, const std::vector<std::string>& statements) {
  return transact(store, [&]() -> platform::Result<void> {
    for (const std::string& statement : statements) {
      if (auto done = store.execute(statement); !done) return done;
    }
    return {};
  });
}

double realValue(const platform::SqlValue& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return static_cast<double>(*integer);
  return 0;
}

std::string textColumn(const platform::SqliteRow& row, int column) {
  platform::SqlValue value = row.column(column);
  auto* text = std::get_if<std::string>(&value);
  return text ? std::move(*text) : std::string();
}

namespace {
enum StoredValueType : std::int64_t { kStoredDouble = 0, kStoredInt64 = 1, kStoredString = 2 };
}  // namespace

std::optional<StoredValueColumns> storedValueColumns(const BMSValue& value) {
  StoredValueColumns columns;
  if (value.isInt64()) {
    columns.type = kStoredInt64;
    columns.integer = value.int64Value();
  } else if (value.isDouble()) {
    columns.type = kStoredDouble;
    columns.real = value.doubleValue();
  } else if (value.isString()) {
    columns.type = kStoredString;
    columns.text = *value.stringValue();
  } else {
    return std::nullopt;
  }
  return columns;
}

std::optional<BMSValue> valueFromColumns(const platform::SqliteRow& row, int firstColumn) {
  switch (row.integer(firstColumn)) {
    case kStoredDouble:
      return BMSValue::initWithDouble(realColumn(row, firstColumn + 2));
    case kStoredInt64:
      return BMSValue::initWithInt64(row.integer(firstColumn + 1));
    case kStoredString:
      return BMSValue::initWithStringValue(textColumn(row, firstColumn + 3));
    default:
      return std::nullopt;
  }
}

std::string parameterList(std::size_t count) {
  std::string list;
  for (std::size_t i = 0; i < count; ++i) list += i == 0 ? "?" : ", ?";
  return list;
}

}  // namespace beacon::storage
