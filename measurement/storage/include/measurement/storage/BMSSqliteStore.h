#pragma once
// The measurement database's connection: one long-lived SQLite connection in full-mutex mode,
// statements cached by their text with bound parameters, and transactions that nest.
//
// Failures come back as engine errors of the 34000 block whose underlying error is the engine's
// own. Opening checks every page of the file: a file that SQLite finds corrupt or not a database at
// all is set aside with its log and journal (platform/sqlite/SqliteSetAside.h: kept beside itself as
// "<file>.damaged-<unix seconds>", only the newest such copy of the name kept) with one logged line,
// and a new, empty file is opened in its place. Damage that a later statement runs into is handled
// the same way, without the caller: the statement fails, and once no transaction is open any more
// (the open one rolls back) the file is set aside, a new empty one takes its place and the
// fresh-file handler makes the owner's tables again. A damaged file that cannot be moved stays as it
// is, never deleted: opening then fails, and in use the store goes on in memory as after close().
//
// A file deleted or set aside while the connection holds it takes no more writes: each outermost
// transaction first looks whether the file at the path is still the one reached, and otherwise goes
// on, with one logged line, in the file at the path (made anew when none is there; in memory when it
// cannot be opened).
//
// Other processes may open the file too. Opening waits a few seconds for one that holds it (while it
// makes the file, say): a busy or locked answer is no damage. Of processes that find the file damaged
// one sets it aside, and the new file one of them makes in its place is never taken for the damaged
// one.
//
// Writes that come in bursts (every stored event) may share one transaction: a grouped transaction
// is a savepoint of a group transaction opened on its first use, and becomes durable only when the
// group commits - at commitGroup(), once the group holds kGroupedTransactionsLimit committed ones,
// before any transaction that is not grouped, and at close() or the store's end. A crash in between
// loses the group's work (never part of one transaction of it); the owner commits the group as soon
// as no more such writes are waiting, which bounds that window to the writes that were queued behind
// each other. A group that SQLite rolls back (a full disk, an I/O error) or that fails to commit is
// logged in one line that says how many stored events it lost: its committed grouped transactions
// whose work stored one (work that stored none, such as the counters of a refused event, is no loss
// of an event).
//
// close() lets go of the file for good, when the process ends: the engine folds its write-ahead log
// back into the file and removes the log and its index. Statements after it run against an empty
// private database in memory whose tables the fresh-file handler makes, so work that still arrives
// fails nothing and is kept nowhere.
//
// Threads: the owner's queue (the engine's worker queue) only; one call at a time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/paths/FileIO.h"
#include "platform/sqlite/SqliteConnection.h"

namespace beacon {

enum class BMSSqliteStoreErrorCode : std::int64_t {
  OpenFailed = 34001,
  StatementFailed = 34002,
  TransactionFailed = 34003,
  DamagedFileSetAside = 34004,
  FileGone = 34005,
};

// What the work of a grouped transaction answers: roll it back, or commit it - as work that stored
// one event, or as work that stored none.
enum class BMSGroupedWork { RollBack, CommitWithoutEvent, CommitStoredEvent };

// The answer of work that stores one event: committed when it stored it, else rolled back.
constexpr BMSGroupedWork BMSStoredEventOrRollBack(bool stored) {
  return stored ? BMSGroupedWork::CommitStoredEvent : BMSGroupedWork::RollBack;
}

class BMSSqliteStore {
 public:
  // Committed grouped transactions one group holds at most.
  static constexpr int kGroupedTransactionsLimit = 100;

  static platform::Result<std::unique_ptr<BMSSqliteStore>> open(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return path_; }

  platform::Result<void> execute(const std::string& sql);
  platform::Result<void> run(std::string_view sql, const std::vector<platform::SqlValue>& parameters,
                             const std::function<void(const platform::SqliteRow&)>& onRow = {});
  // The first column of the first row; null when there is no row.
  platform::Result<platform::SqlValue> scalar(std::string_view sql,
                                              const std::vector<platform::SqlValue>& parameters = {});
  // The first column of the first row as an integer; 0 for no row or null.
  platform::Result<std::int64_t> integer(std::string_view sql,
                                         const std::vector<platform::SqlValue>& parameters = {});
  // Called after a damaged file was replaced by a new empty one, after the store went on in the file
  // at the path, and after close() (see above).
  void setFreshFileHandler(std::function<void()> handler) { freshFileHandler_ = std::move(handler); }
  // Outside any transaction only (an open group commits first); a second call changes nothing on disk.
  void close();
  ~BMSSqliteStore();
  BMSSqliteStore(const BMSSqliteStore&) = delete;
  BMSSqliteStore& operator=(const BMSSqliteStore&) = delete;

  std::int64_t changes() const { return connection_->changes(); }
  std::int64_t lastInsertRowID() const { return connection_->lastInsertRowID(); }

  // Runs `block` inside one exclusive transaction (a savepoint when one is open already): commits
  // when it answers true, rolls back when it answers false. Answers whether the work was committed;
  // a failure to begin or commit is also returned in `error` when given.
  bool performTransaction(const std::function<bool()>& block, platform::Error* error = nullptr);
  // Runs `block` like performTransaction, in the open group (see above), opening one when none is;
  // the block's answer also says whether its work stored an event.
  bool performGroupedTransaction(const std::function<BMSGroupedWork()>& block,
                                 platform::Error* error = nullptr);
  // Makes the open group's work durable; nothing when no group is open. A group that fails to
  // commit is rolled back and logged like any failed transaction.
  void commitGroup();
  bool groupOpen() const { return group_.has_value(); }
  // Runs `reads` in one transaction that takes the file's read lock once for all of them (inside an
  // open transaction: in that one). Several reads in a row cost one lock instead of one each, and see
  // one state of the file. Reads that fail report their own errors.
  void performReads(const std::function<void()>& reads);
  // Runs `hook` once the outermost open transaction has committed (dropped when any level it was
  // registered in rolls back); at once when no transaction is open. For in-memory state that must
  // never get ahead of what the file holds.
  void onCommit(std::function<void()> hook);
  bool inTransaction() const { return !pendingHooks_.empty(); }
  // Moves on whenever rows may have changed behind statements this connection ran: a transaction
  // (or savepoint) that did not commit, or fixed SQL run through execute(). A copy of rows read at
  // one epoch may be stale at another.
  std::uint64_t undoEpoch() const { return undoEpoch_; }
  // The file's data version, which moves whenever another connection commits: read once per
  // transaction (none can commit inside one of ours), at every call outside.
  platform::Result<std::int64_t> dataVersion();

 private:
  BMSSqliteStore(std::filesystem::path path, std::unique_ptr<platform::SqliteConnection> connection,
                 std::optional<platform::FileIdentity> file)
      : path_(std::move(path)), connection_(std::move(connection)), file_(file) {}

  bool performTransactionInMode(platform::SqliteTransaction::Mode mode, const std::function<bool()>& block,
                                platform::Error* error);
  bool openGroup(platform::Error* error);
  // Ends the group without committing it (SQLite may already have rolled it back).
  void abandonGroup();
  // A group is open and no transaction runs inside it.
  bool groupIdle() const { return group_ && pendingHooks_.size() == 1; }
  bool runTransactionInMode(platform::SqliteTransaction::Mode mode, const std::function<bool()>& block,
                            platform::Error* error);
  // Begin and commit with their failures noted (damage) and reported (logged, and in `error`).
  std::optional<platform::SqliteTransaction> beginTransaction(platform::SqliteTransaction::Mode mode,
                                                              platform::Error* error);
  // A failed commit is reported as `what`.
  bool commitTransaction(platform::SqliteTransaction& transaction, std::string_view what,
                         platform::Error* error);
  // The store's error for a failed statement; notes damage of the file on the way.
  platform::Error statementError(platform::Error cause);
  // Damage of the file replaces it at once, or when the open transaction is over.
  void noteDamage(const platform::Error& cause);
  void replaceDamagedFile();
  // Goes on in the file at the path when the one the connection reached was deleted or another took
  // its place; a log line says so.
  void followFileAtPath();
  void replaceDamagedFileOutsideTransactions();
  // Drops what was read from the file and makes the owner's tables in `connection`, which takes the
  // file's place; `file` is the file it reached.
  void continueIn(std::unique_ptr<platform::SqliteConnection> connection,
                  std::optional<platform::FileIdentity> file);

  std::filesystem::path path_;
  std::unique_ptr<platform::SqliteConnection> connection_;
  // The file the connection reached, which is the one set aside when damage is found in use; none
  // for the database in memory, or when another process replaced the file while it was opened.
  std::optional<platform::FileIdentity> file_;
  // One list of commit hooks per open transaction level, outermost first.
  std::vector<std::vector<std::function<void()>>> pendingHooks_;
  std::uint64_t undoEpoch_ = 0;
  // The data version read in the open outermost transaction.
  std::optional<std::int64_t> transactionDataVersion_;
  std::function<void()> freshFileHandler_;
  // The open group's transaction (the outermost level of pendingHooks_) and what it holds.
  std::optional<platform::SqliteTransaction> group_;
  // What the open group holds: its grouped transactions that committed, and the events their work
  // stored.
  struct GroupContents {
    int transactions = 0;
    int storedEvents = 0;
  };
  GroupContents grouped_;
  bool damaged_ = false;
  bool replacing_ = false;
};

// Deletes the database file and its journal companions; a missing file is no failure.
platform::Result<void> BMSDeleteSqliteFiles(const std::filesystem::path& path);

}  // namespace beacon
