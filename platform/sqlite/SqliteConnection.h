#pragma once
// One connection to a database file (or to a private in-memory database), with prepared statements
// cached by their text and parameters always bound, never spliced into the text.
//
// Not thread-safe: the owner serialises every use (holds its lock, or keeps it on one queue). The
// engine's own lock around each call cannot make this object safe for two threads at once (its
// statement cache and transaction depth are unguarded); an owner chooses it where the engine itself
// must stay consistent even if the owner gets its serialising wrong.

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
// is not a database, 11: the database is corrupt, 14: the file cannot be opened, 13: the disk is
// full). An I/O failure (10) or a file that cannot be opened carries the system's errno under
// kErrnoKey when the engine knows it (ENOSPC: the disk filled up where the engine saw only a
// failed write).
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

// Whether the engine itself serialises calls on the connection. SingleOwner leaves that to the owner
// (it saves a lock and an unlock in every call); Serialized is the engine's full-mutex mode.
enum class SqliteThreading { SingleOwner, Serialized };

class SqliteConnection {
 public:
  // Opens (creating when missing) the database at `filename`; ":memory:" gives a private in-memory
  // database. Waits up to a few seconds for a lock held by another process.
  static Result<std::unique_ptr<SqliteConnection>> open(
      const std::string& filename, SqliteThreading threading = SqliteThreading::SingleOwner);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Runs fixed SQL without parameters, parsed anew each time and never cached: schema statements,
  // pragmas, several statements in one text.
  Result<void> execute(const std::string& sql);
  // Runs one statement with its parameters, calling `onRow` for each row it yields. `onRow` must not
  // use the connection: the statement is still running. The statement is prepared on its first run
  // and kept for every later run of the same text (the engine prepares it again by itself when the
  // schema changed in between).
  Result<void> run(std::string_view sql, const std::vector<SqlValue>& parameters,
                   const std::function<void(const SqliteRow&)>& onRow = {});
  // As run(), but ends the statement after the first row for which `onRow` answers false: the rows
  // after it are never read (a bounded walk through large values reads no more than it takes).
  Result<void> runWhile(std::string_view sql, const std::vector<SqlValue>& parameters,
                        const std::function<bool(const SqliteRow&)>& onRow);
  // The first column of the first row, or null when there is no row.
  Result<SqlValue> scalar(std::string_view sql, const std::vector<SqlValue>& parameters = {});
  // Reads every page of the file and checks the engine's structures in them (its quick check: the
  // agreement of indexes with their tables is left out). A damaged file fails with code 11 (corrupt)
  // naming the first fault found, or with the error the reading met (26 for a file that is no
  // database at all).
  Result<void> checkIntegrity();

  std::int64_t changes() const { return sqlite3_changes64(database_); }
  std::int64_t lastInsertRowID() const { return sqlite3_last_insert_rowid(database_); }
  // True while a transaction (begun here or by SQL text) is open.
  bool inTransaction() const { return sqlite3_get_autocommit(database_) == 0; }

  // The engine's last failure, as an error of kSQLiteErrorDomain prefixed with `context`.
  Error lastError(std::string_view context) const;

 private:
  friend class SqliteTransaction;
  explicit SqliteConnection(sqlite3* database) : database_(database) {}
  Result<sqlite3_stmt*> statementFor(std::string_view sql);

  // Looks statements up by any text view, without copying the text into a key first.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };

  sqlite3* database_;
  std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> statements_;
  // Transactions of this layer now open, outermost first; every level after the first is a savepoint.
  int transactionDepth_ = 0;
};

// A transaction, or a savepoint when one is already open on the connection, so code that needs
// atomicity can be called both alone and from inside a larger transaction. Rolls back (to its
// savepoint, when nested) when the scope ends without commit(). Nested transactions end in the
// reverse order they began; a nested commit only becomes durable when the outermost one commits.
class SqliteTransaction {
 public:
  // Immediate takes the write lock at once; Exclusive also keeps readers of other connections out;
  // Deferred takes locks as its statements need them (a transaction that only reads takes the read
  // lock once for all its statements).
  enum class Mode { Immediate, Exclusive, Deferred };

  static Result<SqliteTransaction> begin(SqliteConnection& connection, Mode mode = Mode::Immediate);
  SqliteTransaction(SqliteTransaction&& other) noexcept
      : connection_(other.connection_), level_(other.level_) {
    other.connection_ = nullptr;
  }
  SqliteTransaction& operator=(SqliteTransaction&&) = delete;
  ~SqliteTransaction();

  Result<void> commit();
  // True for a savepoint inside an enclosing transaction.
  bool isNested() const { return level_ > 0; }

 private:
  SqliteTransaction(SqliteConnection& connection, int level) : connection_(&connection), level_(level) {}
  std::string savepointName() const;
  void end();

  SqliteConnection* connection_;
  int level_;
};

}  // namespace platform
