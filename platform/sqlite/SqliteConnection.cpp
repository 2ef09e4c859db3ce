#include "platform/sqlite/SqliteConnection.h"

namespace platform {
namespace {

constexpr int kBusyTimeoutMilliseconds = 5000;

Error engineError(sqlite3* database, int code, std::string_view context, const char* message) {
  const int primary = code & 0xFF;
  Dictionary userInfo;
  // The engine keeps the system's reason only for failures of the file system (a write refused for
  // lack of space fails as an I/O error when the engine cannot tell it from another write fault);
  // for any other failure its number is a leftover of an earlier one.
  if (database && (primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN)) {
    if (const int number = sqlite3_system_errno(database); number != 0)
      userInfo.emplace(std::string(kErrnoKey), Value(std::int64_t{number}));
  }
  return Error(std::string(kSQLiteErrorDomain), primary,
               std::string(context) + ": " + (message ? message : sqlite3_errstr(code)), std::move(userInfo));
}

// Text and blobs are bound without a copy: the parameters outlive the statement's run, and the
// bindings are cleared when it ends.
void bindParameter(sqlite3_stmt* statement, int index, const SqlValue& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          sqlite3_bind_null(statement, index);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          sqlite3_bind_int64(statement, index, v);
        } else if constexpr (std::is_same_v<T, double>) {
          sqlite3_bind_double(statement, index, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          sqlite3_bind_text64(statement, index, v.data(), v.size(), SQLITE_STATIC, SQLITE_UTF8);
        } else if (v.empty()) {
          // A blob bound from an empty vector would be bound as null; an empty blob is not null.
          sqlite3_bind_zeroblob(statement, index, 0);
        } else {
          sqlite3_bind_blob64(statement, index, v.data(), v.size(), SQLITE_STATIC);
        }
      },
      value);
}

// Resets the statement when the scope ends, so a cached statement is always ready for its next use
// and holds no read lock in between.
class StatementReset {
 public:
  explicit StatementReset(sqlite3_stmt* statement) : statement_(statement) {}
  ~StatementReset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementReset(const StatementReset&) = delete;
  StatementReset& operator=(const StatementReset&) = delete;

 private:
  sqlite3_stmt* statement_;
};

std::string_view beginText(SqliteTransaction::Mode mode) {
  switch (mode) {
    case SqliteTransaction::Mode::Immediate:
      return "BEGIN IMMEDIATE";
    case SqliteTransaction::Mode::Exclusive:
      return "BEGIN EXCLUSIVE";
    case SqliteTransaction::Mode::Deferred:
      break;
  }
  return "BEGIN DEFERRED";
}

// Before the engine's first use in the process. Its memory statistics (which nothing here reads)
// would take a process-wide lock around every allocation the engine makes. Refused, harmlessly,
// when something else started the engine first.
bool configureEngineOnce() {
  return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
}

}  // namespace

SqlValue SqliteRow::column(int index) const {
  switch (sqlite3_column_type(statement_, index)) {
    case SQLITE_INTEGER:
      return sqlite3_column_int64(statement_, index);
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement_, index);
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
      return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, index)));
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, index));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, index));
      return data ? Bytes(data, data + size) : Bytes();
    }
    default:
      return std::monostate{};
  }
}

Result<std::unique_ptr<SqliteConnection>> SqliteConnection::open(const std::string& filename,
                                                                 SqliteThreading threading) {
  [[maybe_unused]] static const bool configured = configureEngineOnce();
  sqlite3* database = nullptr;
  const int mutexFlag =
      threading == SqliteThreading::Serialized ? SQLITE_OPEN_FULLMUTEX : SQLITE_OPEN_NOMUTEX;
  const int code = sqlite3_open_v2(filename.c_str(), &database,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | mutexFlag, nullptr);
  if (code != SQLITE_OK) {
    Error error =
        engineError(database, code, "Cannot open " + filename, database ? sqlite3_errmsg(database) : nullptr);
    sqlite3_close(database);
    return error;
  }
  sqlite3_extended_result_codes(database, 0);
  sqlite3_busy_timeout(database, kBusyTimeoutMilliseconds);
  return std::unique_ptr<SqliteConnection>(new SqliteConnection(database));
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close(database_);
}

Error SqliteConnection::lastError(std::string_view context) const {
  return engineError(database_, sqlite3_errcode(database_), context, sqlite3_errmsg(database_));
}

Result<void> SqliteConnection::execute(const std::string& sql) {
  if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return lastError(sql);
  return {};
}

Result<sqlite3_stmt*> SqliteConnection::statementFor(std::string_view sql) {
  if (auto cached = statements_.find(sql); cached != statements_.end()) return cached->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement, nullptr) != SQLITE_OK) {
    return lastError("Cannot prepare \"" + std::string(sql) + "\"");
  }
  statements_.emplace(sql, statement);
  return statement;
}

Result<void> SqliteConnection::run(std::string_view sql, const std::vector<SqlValue>& parameters,
                                   const std::function<void(const SqliteRow&)>& onRow) {
  return runWhile(sql, parameters, [&onRow](const SqliteRow& row) {
    if (onRow) onRow(row);
    return true;
  });
}

Result<void> SqliteConnection::runWhile(std::string_view sql, const std::vector<SqlValue>& parameters,
                                        const std::function<bool(const SqliteRow&)>& onRow) {
  Result<sqlite3_stmt*> prepared = statementFor(sql);
  if (!prepared) return prepared.error();
  sqlite3_stmt* statement = *prepared;
  StatementReset reset(statement);
  for (std::size_t i = 0; i < parameters.size(); ++i)
    bindParameter(statement, static_cast<int>(i + 1), parameters[i]);
  while (true) {
    const int code = sqlite3_step(statement);
    if (code == SQLITE_DONE) return {};
    if (code != SQLITE_ROW) return lastError(sql);
    if (!onRow(SqliteRow(statement))) return {};
  }
}

Result<SqlValue> SqliteConnection::scalar(std::string_view sql, const std::vector<SqlValue>& parameters) {
  SqlValue first;
  bool seen = false;
  Result<void> ran = run(sql, parameters, [&](const SqliteRow& row) {
    if (!seen) first = row.column(0);
    seen = true;
  });
  if (!ran) return ran.error();
  return first;
}

Result<void> SqliteConnection::checkIntegrity() {
  Result<SqlValue> verdict = scalar("PRAGMA quick_check(1)");
  if (!verdict) return verdict.error();
  const auto* text = std::get_if<std::string>(&*verdict);
  if (text && *text == "ok") return {};
  return Error(std::string(kSQLiteErrorDomain), SQLITE_CORRUPT,
               std::string("The database ") + sqlite3_db_filename(database_, "main") +
                   " is damaged: " + (text ? *text : std::string("no verdict")));
}

Result<SqliteTransaction> SqliteTransaction::begin(SqliteConnection& connection, Mode mode) {
  const int level = connection.transactionDepth_;
  if (level > 0 && !connection.inTransaction()) {
    // The engine already rolled the enclosing transaction back (a full disk, an I/O error); a
    // savepoint now would silently start a new outermost transaction.
    return Error(std::string(kSQLiteErrorDomain), SQLITE_ERROR,
                 "Cannot nest a transaction: the enclosing one was rolled back");
  }
  SqliteTransaction transaction(connection, level);
  // Transaction control runs with every stored event: its statements are cached like any other.
  Result<void> begun =
      connection.run(level > 0 ? "SAVEPOINT " + transaction.savepointName() : beginText(mode), {});
  if (!begun) {
    transaction.connection_ = nullptr;
    return begun.error();
  }
  ++connection.transactionDepth_;
  return transaction;
}

std::string SqliteTransaction::savepointName() const {
  return "nested_" + std::to_string(level_);
}

void SqliteTransaction::end() {
  --connection_->transactionDepth_;
  connection_ = nullptr;
}

SqliteTransaction::~SqliteTransaction() {
  if (!connection_) return;
  if (isNested()) {
    if (connection_->inTransaction()) {
      (void)connection_->run("ROLLBACK TO " + savepointName(), {});
      (void)connection_->run("RELEASE " + savepointName(), {});
    }
  } else if (connection_->inTransaction()) {
    (void)connection_->run("ROLLBACK", {});
  }
  end();
}

Result<void> SqliteTransaction::commit() {
  Result<void> committed = connection_->run(isNested() ? "RELEASE " + savepointName() : "COMMIT", {});
  if (committed) end();
  return committed;
}

}  // namespace platform
