#pragma once
// One connection to a database file (or to a private in-memory database), with prepared statements
// cached by their text and parameters always bound, never spliced into the text.
//
// Not thread-safe: the owner serialises every use (holds its lock, or keeps it on one queue).

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/error/Result.h"
#include "platform/sqlite/SqlValue.h"

namespace platform {

// Failures the database engine reports; the code is the engine's primary result code (26: the file
// is not a database, 11: the database is corrupt, 14: the file cannot be opened).
inline constexpr std::string_view kSQLiteErrorDomain = "SQLiteErrorDomain";

// The current row of a running statement.
class SqliteRow {
 public:
  explicit SqliteRow(sqlite3_stmt* statement) : statement_(statement) {}
  SqlValue column(int index) const;
  std::int64_t integer(int index) const { return sqlite3_column_int64(statement_, index); }

 private:
  sqlite3_stmt* statement_;
};

class SqliteConnection {
 public:
  // Opens (creating when missing) the database at `filename`; ":memory:" gives a private in-memory
  // database. Waits up to a few seconds for a lock held by another process.
  static Result<std::unique_ptr<SqliteConnection>> open(const std::string& filename);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Runs fixed SQL without parameters (schema statements, pragmas, transaction control).
  Result<void> execute(const std::string& sql);
  // Runs one statement with its parameters, calling `onRow` for each row it yields. `onRow` must not
  // use the connection: the statement is still running.
  Result<void> run(const std::string& sql, const std::vector<SqlValue>& parameters,
                   const std::function<void(const SqliteRow&)>& onRow = {});
  // The first column of the first row, or null when there is no row.
  Result<SqlValue> scalar(const std::string& sql, const std::vector<SqlValue>& parameters = {});

  std::int64_t changes() const { return sqlite3_changes64(database_); }

  // The engine's last failure, as an error of kSQLiteErrorDomain prefixed with `context`.
  Error lastError(std::string_view context) const;

 private:
  explicit SqliteConnection(sqlite3* database) : database_(database) {}
  Result<sqlite3_stmt*> statementFor(const std::string& sql);

  sqlite3* database_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

// BEGIN IMMEDIATE now; ROLLBACK when the scope ends without commit().
class SqliteTransaction {
 public:
  static Result<SqliteTransaction> begin(SqliteConnection& connection);
  SqliteTransaction(SqliteTransaction&& other) noexcept : connection_(other.connection_) {
    other.connection_ = nullptr;
  }
  SqliteTransaction& operator=(SqliteTransaction&&) = delete;
  ~SqliteTransaction();

  Result<void> commit();

 private:
  explicit SqliteTransaction(SqliteConnection& connection) : connection_(&connection) {}
  SqliteConnection* connection_;
};

}  // namespace platform
