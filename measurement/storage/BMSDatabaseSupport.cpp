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

std::string parameterList(std::size_t count) {
  std::string list;
  for (std::size_t i = 0; i < count; ++i) list += i == 0 ? "?" : ", ?";
  return list;
}

}  // namespace beacon::storage
