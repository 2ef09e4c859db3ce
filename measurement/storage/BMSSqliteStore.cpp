#include "measurement/storage/BMSSqliteStore.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "platform/sqlite/SqliteSetAside.h"
#include "platform/text/Format.h"

namespace beacon {
namespace {

platform::Error storeError(BMSSqliteStoreErrorCode code, std::string_view description,
                           platform::Error cause) {
  platform::Error error = bms_errorWithCode(static_cast<std::int64_t>(code), description);
  error.causedBy(std::move(cause));
  return error;
}

// How long an opening waits out another connection that holds the file (its maker, say) before it
// fails, on top of the wait for a lock that every statement has: a connection that has read the file
// is refused at once when it asks for the lock another one, waiting to write, holds.
constexpr auto kHeldFileWait = std::chrono::seconds(5);
constexpr auto kHeldFileRetryInterval = std::chrono::milliseconds(20);

bool isDamagedFile(const platform::Error& error) {
  return error.domain == platform::kSQLiteErrorDomain &&
         (error.code == SQLITE_CORRUPT || error.code == SQLITE_NOTADB);
}

// Another connection holds the file: an answer about the moment, never about the file.
bool isHeldFile(const platform::Error& error) {
  return error.domain == platform::kSQLiteErrorDomain &&
         (error.code == SQLITE_BUSY || error.code == SQLITE_LOCKED);
}

void reportTransactionFailure(std::string_view what, const platform::Error& cause, platform::Error* error) {
  platform::Error failure = storeError(BMSSqliteStoreErrorCode::TransactionFailed, what, cause);
  BMSLog(1, static_cast<std::int64_t>(BMSSqliteStoreErrorCode::TransactionFailed),
         platform::format("Transaction failed. %@", failure.debugDescription()),
         {BMSContextFromError(failure)});
  if (error) *error = std::move(failure);
}

// One line for a damaged file, which is kept for a look into it rather than deleted; one that cannot
// be moved stays as it is, never deleted. Other processes of the app open the file too: `judged` is
// the file found damaged, and one that another process has set aside already, and made anew, is left
// to it without a line.
void setAsideDamagedFile(const std::filesystem::path& path, const platform::FileIdentity& judged) {
  platform::Result<std::optional<std::filesystem::path>> aside =
      platform::setAsideDamagedSqliteFile(path, judged, platform::KeptCopies::NewestOnly);
  if (aside && !*aside) return;
  BMSLog(1, static_cast<std::int64_t>(BMSSqliteStoreErrorCode::DamagedFileSetAside),
         "Database file is damaged. Moving it aside",
         {path.string(), aside ? platform::Value((*aside)->string()) : BMSContextFromError(aside.error())});
}

// Opens the file, sets the connection up and checks that every page of the file is sound.
platform::Result<std::unique_ptr<platform::SqliteConnection>> openConnection(
    const std::filesystem::path& path) {
  auto opened = platform::SqliteConnection::open(path.string(), platform::SqliteThreading::Serialized);
  if (!opened)
    return storeError(BMSSqliteStoreErrorCode::OpenFailed, "Failed to open database", opened.error());
  // Every logged event commits a transaction. A write-ahead log with normal syncing commits without
  // waiting for the disk each time; a killed process still leaves whole transactions only (a power
  // cut may cost the last few). Opening is lazy: this first statement also finds out whether the file
  // is a database at all. Deleted rows are zeroed in the pages a commit writes anyway, never by
  // writing pages that only the freelist holds: a bundled purchase of hundreds of kilobytes would
  // otherwise write its whole overflow chain once more, as zeros (SQLite's build on some systems
  // defaults to that).
  platform::Result<void> ready = (*opened)->execute(
      "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA secure_delete = FAST");
  // Damage that the first event's storing would meet (the root of a table it reads, say) would cost
  // that event; found now, it costs nothing but the file. The check reads the whole file once per
  // start: a few tens of milliseconds for a full one, on the caller's queue.
  if (ready) ready = (*opened)->checkIntegrity();
  if (!ready)
    return storeError(BMSSqliteStoreErrorCode::OpenFailed, "Failed to open database", ready.error());
  return opened;
}

bool isDamagedFileError(const platform::Error& error) {
  return error.underlying && isDamagedFile(*error.underlying);
}

// An opening of the file at a path, and the file it reached: the one at the path both before and
// after it, or the one it made. None when another process replaced the file meanwhile, as one that
// found it damaged does: a verdict on the file cannot then be told from one on its successor.
struct Opening {
  platform::Result<std::unique_ptr<platform::SqliteConnection>> connection;
  std::optional<platform::FileIdentity> file;
};

// Opens the file, waiting out another connection that holds it.
Opening openWaitingOutOthers(const std::filesystem::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + kHeldFileWait;
  for (;;) {
    const std::optional<platform::FileIdentity> before = platform::fileIdentity(path);
    auto opened = openConnection(path);
    const std::optional<platform::FileIdentity> after = platform::fileIdentity(path);
    const bool held = !opened && opened.error().underlying && isHeldFile(*opened.error().underlying);
    if (!held || std::chrono::steady_clock::now() >= deadline)
      return {std::move(opened), !before || before == after ? after : std::nullopt};
    std::this_thread::sleep_for(kHeldFileRetryInterval);
  }
}

// A damaged file is set aside on the way, and a new one opened in its place.
Opening openSoundFile(const std::filesystem::path& path) {
  Opening opening = openWaitingOutOthers(path);
  if (opening.connection || !isDamagedFileError(opening.connection.error())) return opening;
  if (opening.file) setAsideDamagedFile(path, *opening.file);
  return openWaitingOutOthers(path);
}

// The failure of a group that did not commit: every event its confirmed work had stored is gone.
std::string groupLoss(std::string_view what, int storedEvents) {
  return std::string(what) + ". Events lost: " + std::to_string(storedEvents);
}

}  // namespace

platform::Result<std::unique_ptr<BMSSqliteStore>> BMSSqliteStore::open(const std::filesystem::path& path) {
  Opening opening = openSoundFile(path);
  if (!opening.connection) return opening.connection.error();
  return std::unique_ptr<BMSSqliteStore>(
      new BMSSqliteStore(path, std::move(opening.connection).value(), opening.file));
}

platform::Error BMSSqliteStore::statementError(platform::Error cause) {
  noteDamage(cause);
  return storeError(BMSSqliteStoreErrorCode::StatementFailed, "Failed to execute statement",
                    std::move(cause));
}

void BMSSqliteStore::noteDamage(const platform::Error& cause) {
  if (!isDamagedFile(cause) || replacing_) return;
  damaged_ = true;
  if (!inTransaction()) replaceDamagedFile();
}

namespace {

std::unique_ptr<platform::SqliteConnection> openInMemory() {
  return platform::SqliteConnection::open(":memory:", platform::SqliteThreading::Serialized).value();
}

// The opening's connection, or with nothing to carry on with an empty database in memory: collection
// goes on, unkept.
Opening orInMemory(Opening opening) {
  if (opening.connection) return opening;
  return {openInMemory(), std::nullopt};
}

}  // namespace

void BMSSqliteStore::replaceDamagedFile() {
  damaged_ = false;
  replacing_ = true;
  // The last connection to go folds the log into the file, which then goes aside whole.
  connection_.reset();
  if (file_) setAsideDamagedFile(path_, *file_);
  Opening next = orInMemory(openWaitingOutOthers(path_));
  continueIn(std::move(next.connection).value(), next.file);
  replacing_ = false;
}

BMSSqliteStore::~BMSSqliteStore() {
  commitGroup();
}

void BMSSqliteStore::close() {
  commitGroup();
  // The last connection to go checkpoints the log and removes it with its index.
  connection_.reset();
  continueIn(openInMemory(), std::nullopt);
}

void BMSSqliteStore::continueIn(std::unique_ptr<platform::SqliteConnection> connection,
                                std::optional<platform::FileIdentity> file) {
  // Everything read before may be gone with the file.
  ++undoEpoch_;
  transactionDataVersion_.reset();
  connection_ = std::move(connection);
  file_ = file;
  if (freshFileHandler_) freshFileHandler_();
}

platform::Result<void> BMSSqliteStore::execute(const std::string& sql) {
  ++undoEpoch_;
  if (auto done = connection_->execute(sql); !done) return statementError(done.error());
  return {};
}

platform::Result<void> BMSSqliteStore::run(std::string_view sql,
                                           const std::vector<platform::SqlValue>& parameters,
                                           const std::function<void(const platform::SqliteRow&)>& onRow) {
  if (auto done = connection_->run(sql, parameters, onRow); !done) return statementError(done.error());
  return {};
}

platform::Result<platform::SqlValue> BMSSqliteStore::scalar(
    std::string_view sql, const std::vector<platform::SqlValue>& parameters) {
  auto value = connection_->scalar(sql, parameters);
  if (!value) return statementError(value.error());
  return std::move(value).value();
}

platform::Result<std::int64_t> BMSSqliteStore::integer(std::string_view sql,
                                                       const std::vector<platform::SqlValue>& parameters) {
  auto value = scalar(sql, parameters);
  if (!value) return value.error();
  if (const auto* number = std::get_if<std::int64_t>(&*value)) return *number;
  if (const auto* real = std::get_if<double>(&*value)) {
    // A real written by another program may be outside the integers or not a number at all.
    if (std::isnan(*real)) return std::int64_t{0};
    if (*real >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
    if (*real < -0x1p63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*real);
  }
  return std::int64_t{0};
}

bool BMSSqliteStore::performTransaction(const std::function<bool()>& block, platform::Error* error) {
  // Other work is committed on its own, as its callers expect: the group before it goes first.
  commitGroup();
  return performTransactionInMode(platform::SqliteTransaction::Mode::Exclusive, block, error);
}

bool BMSSqliteStore::performGroupedTransaction(const std::function<BMSGroupedWork()>& block,
                                               platform::Error* error) {
  if (!inTransaction() && !openGroup(error)) return false;
  platform::Error failure;
  BMSGroupedWork answered = BMSGroupedWork::RollBack;
  const bool committed = runTransactionInMode(
      platform::SqliteTransaction::Mode::Exclusive,
      [&] {
        answered = block();
        return answered != BMSGroupedWork::RollBack;
      },
      &failure);
  if (!committed && error) *error = failure;
  const int storedEvents = answered == BMSGroupedWork::CommitStoredEvent ? 1 : 0;
  if (groupIdle()) {
    if (damaged_) {
      // The group's work goes with the file.
      abandonGroup();
    } else if (!connection_->inTransaction()) {
      // A full disk or an I/O error made SQLite roll the whole group back, not just this savepoint:
      // with it went this transaction's work, when it had done it.
      reportTransactionFailure(
          groupLoss("Grouped transactions rolled back", grouped_.storedEvents + storedEvents), failure,
          nullptr);
      abandonGroup();
    } else if (committed) {
      grouped_.storedEvents += storedEvents;
      if (++grouped_.transactions >= kGroupedTransactionsLimit) commitGroup();
    }
  }
  replaceDamagedFileOutsideTransactions();
  return committed;
}

bool BMSSqliteStore::openGroup(platform::Error* error) {
  std::optional<platform::SqliteTransaction> begun =
      beginTransaction(platform::SqliteTransaction::Mode::Exclusive, error);
  if (!begun) return false;
  transactionDataVersion_.reset();
  pendingHooks_.emplace_back();
  group_.emplace(std::move(*begun));
  grouped_ = {};
  return true;
}

void BMSSqliteStore::commitGroup() {
  if (!groupIdle()) return;
  if (!commitTransaction(*group_, groupLoss("Failed to commit grouped transactions", grouped_.storedEvents),
                         nullptr)) {
    abandonGroup();
  } else {
    group_.reset();
    grouped_ = {};
    std::vector<std::function<void()>> hooks = std::move(pendingHooks_.back());
    pendingHooks_.pop_back();
    for (auto& hook : hooks) hook();
  }
  replaceDamagedFileOutsideTransactions();
}

void BMSSqliteStore::abandonGroup() {
  group_.reset();
  grouped_ = {};
  pendingHooks_.pop_back();
  ++undoEpoch_;
}

void BMSSqliteStore::performReads(const std::function<void()>& reads) {
  if (inTransaction()) return reads();
  bool ran = false;
  performTransactionInMode(
      platform::SqliteTransaction::Mode::Deferred,
      [&] {
        ran = true;
        reads();
        return true;
      },
      nullptr);
  // Without a transaction of their own the reads still run, each in its own.
  if (!ran) reads();
}

platform::Result<std::int64_t> BMSSqliteStore::dataVersion() {
  if (inTransaction() && transactionDataVersion_) return *transactionDataVersion_;
  auto version = integer("PRAGMA data_version");
  if (version && inTransaction()) transactionDataVersion_ = *version;
  return version;
}

bool BMSSqliteStore::performTransactionInMode(platform::SqliteTransaction::Mode mode,
                                              const std::function<bool()>& block, platform::Error* error) {
  const bool committed = runTransactionInMode(mode, block, error);
  replaceDamagedFileOutsideTransactions();
  return committed;
}

void BMSSqliteStore::replaceDamagedFileOutsideTransactions() {
  // Damage found inside waits until the outermost transaction is over: the file goes with it.
  if (damaged_ && !inTransaction()) replaceDamagedFile();
}

void BMSSqliteStore::followFileAtPath() {
  if (!file_ || replacing_ || platform::fileIdentity(path_) == file_) return;
  BMSLog(1, static_cast<std::int64_t>(BMSSqliteStoreErrorCode::FileGone),
         "Database file was deleted or replaced. Continuing in the file at its path", {path_.string()});
  replacing_ = true;
  // SQLite neither folds the log of a file that was moved or deleted nor removes the log and index the
  // path names, which may now be another file's.
  connection_.reset();
  Opening next = orInMemory(openSoundFile(path_));
  continueIn(std::move(next.connection).value(), next.file);
  replacing_ = false;
}

std::optional<platform::SqliteTransaction> BMSSqliteStore::beginTransaction(
    platform::SqliteTransaction::Mode mode, platform::Error* error) {
  // Whatever an outermost transaction writes lands in the file at the path, never in one deleted or
  // set aside (by another process that found it damaged, say) while this connection held it: the
  // file's identity is looked at once per transaction, not per statement.
  if (!inTransaction()) followFileAtPath();
  auto begun = platform::SqliteTransaction::begin(*connection_, mode);
  if (!begun) {
    noteDamage(begun.error());
    reportTransactionFailure("Failed to begin transaction", begun.error(), error);
    return std::nullopt;
  }
  return std::move(begun).value();
}

bool BMSSqliteStore::commitTransaction(platform::SqliteTransaction& transaction, std::string_view what,
                                       platform::Error* error) {
  const platform::Result<void> done = transaction.commit();
  if (done) return true;
  noteDamage(done.error());
  reportTransactionFailure(what, done.error(), error);
  return false;
}

bool BMSSqliteStore::runTransactionInMode(platform::SqliteTransaction::Mode mode,
                                          const std::function<bool()>& block, platform::Error* error) {
  std::optional<platform::SqliteTransaction> transaction = beginTransaction(mode, error);
  if (!transaction) return false;
  if (pendingHooks_.empty()) transactionDataVersion_.reset();
  pendingHooks_.emplace_back();
  bool committed = false;
  try {
    committed = block() && commitTransaction(*transaction, "Failed to commit transaction", error);
  } catch (...) {
    pendingHooks_.pop_back();
    ++undoEpoch_;
    throw;
  }
  std::vector<std::function<void()>> hooks = std::move(pendingHooks_.back());
  pendingHooks_.pop_back();
  if (!committed) {
    ++undoEpoch_;
    return false;
  }
  if (!pendingHooks_.empty()) {
    // A savepoint: its hooks wait for the enclosing transaction.
    for (auto& hook : hooks) pendingHooks_.back().push_back(std::move(hook));
  } else {
    for (auto& hook : hooks) hook();
  }
  return true;
}

void BMSSqliteStore::onCommit(std::function<void()> hook) {
  if (pendingHooks_.empty()) {
    hook();
  } else {
    pendingHooks_.back().push_back(std::move(hook));
  }
}

}  // namespace beacon
