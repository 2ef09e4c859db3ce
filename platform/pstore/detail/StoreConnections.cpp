// Who uses which connection of a store: the writer for commits and write batches (and for the reads
// of a batch's own thread), the query-only readers for every other read.

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform::detail {
namespace {

// Readers beyond the writer. Reads are short; a few readers let a listing, the mirror and a history
// read go on side by side without holding one another up.
constexpr std::size_t kMostReaders = 4;

Result<std::unique_ptr<SqliteConnection>> openReader(const std::string& file) {
  Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::open(file);
  if (!opened) return opened.error();
  if (Result<void> readOnly = (*opened)->execute("PRAGMA query_only = 1"); !readOnly) return readOnly.error();
  return opened;
}

}  // namespace

StoreDatabase::WriterHold::WriterHold(StoreDatabase& database, Purpose purpose) : database_(database) {
  std::unique_lock lock(database.writerMutex_);
  if (database.batchThread_ == std::this_thread::get_id()) {
    inBatch_ = true;
    return;
  }
  if (purpose == Purpose::Batch) {
    // A batch lets the commits that already wait go first: they are short, it may be long.
    database.writerFree_.wait(lock, [&] { return !database.writerHeld_ && database.writersWaiting_ == 0; });
  } else {
    ++database.writersWaiting_;
    database.writerFree_.wait(lock, [&] { return !database.writerHeld_; });
    --database.writersWaiting_;
  }
  database.writerHeld_ = true;
  holds_ = true;
}

StoreDatabase::WriterHold::~WriterHold() {
  if (holds_) database_.releaseWriter();
}

void StoreDatabase::releaseWriter() {
  {
    std::lock_guard lock(writerMutex_);
    writerHeld_ = false;
    batchThread_.reset();
  }
  writerFree_.notify_all();
}

bool StoreDatabase::batchOwnedHere() {
  std::lock_guard lock(writerMutex_);
  return batchThread_ == std::this_thread::get_id();
}

Error StoreDatabase::closedError() const {
  return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                              "The persistent store has been removed or destroyed.");
}

Result<void> StoreDatabase::read(const Reading& read) {
  if (!readerFile_ || batchOwnedHere()) return readOnWriter(read);
  Result<std::unique_ptr<SqliteConnection>> reader = takeReader();
  if (!reader) return reader.error();
  // No reader could be opened (the system is short of files, say): the writer still reads.
  if (!*reader) return readOnWriter(read);
  Result<void> done = [&]() -> Result<void> {
    Result<SqliteTransaction> snapshot =
        SqliteTransaction::begin(**reader, SqliteTransaction::Mode::Deferred);
    if (!snapshot) return snapshot.error();
    if (Result<void> ran = read(**reader); !ran) return ran;
    return snapshot->commit();
  }();
  giveBack(std::move(*reader));
  return done;
}

Result<void> StoreDatabase::readOnWriter(const Reading& read) {
  WriterHold hold(*this);
  if (!connection_) return closedError();
  return read(*connection_);
}

Result<std::unique_ptr<SqliteConnection>> StoreDatabase::takeReader() {
  std::unique_lock lock(readersMutex_);
  readerFree_.wait(lock, [&] { return closed_ || !idleReaders_.empty() || openReaders_ < kMostReaders; });
  if (closed_) return closedError();
  if (!idleReaders_.empty()) {
    std::unique_ptr<SqliteConnection> reader = std::move(idleReaders_.back());
    idleReaders_.pop_back();
    return reader;
  }
  ++openReaders_;
  lock.unlock();
  Result<std::unique_ptr<SqliteConnection>> opened = openReader(*readerFile_);
  if (opened) return opened;
  lock.lock();
  --openReaders_;
  readerFree_.notify_all();
  return std::unique_ptr<SqliteConnection>();
}

void StoreDatabase::giveBack(std::unique_ptr<SqliteConnection> reader) {
  {
    std::lock_guard lock(readersMutex_);
    if (closed_) {
      reader.reset();
      --openReaders_;
    } else {
      idleReaders_.push_back(std::move(reader));
    }
  }
  readerFree_.notify_all();
}

void StoreDatabase::noteExternalChanges() {
  // SQLite's data version moves when another connection has committed to the file since; the
  // readers never commit, so only other processes move it.
  Result<SqlValue> version = connection_->scalar("PRAGMA data_version");
  if (const auto* number = version ? std::get_if<std::int64_t>(&*version) : nullptr)
    externalChanges_ = static_cast<std::uint64_t>(*number);
}

std::uint64_t StoreDatabase::changeCount() {
  // Commits of other processes are seen when the writer is free (or this thread's batch holds it).
  // While another thread writes none can come in, since the write holds the file's write lock, so
  // the last figure stands.
  bool ownBatch = false;
  bool taken = false;
  {
    std::lock_guard lock(writerMutex_);
    ownBatch = batchThread_ == std::this_thread::get_id();
    if (!ownBatch && !writerHeld_) {
      writerHeld_ = true;
      taken = true;
    }
  }
  if ((ownBatch || taken) && connection_) noteExternalChanges();
  if (taken) releaseWriter();
  return ownChanges_ + externalChanges_;
}

Result<void> StoreDatabase::beginBatch() {
  if (batchOwnedHere()) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                "A write batch is open on this thread already.");
  }
  WriterHold hold(*this, WriterHold::Purpose::Batch);
  if (!connection_) return closedError();
  noteExternalChanges();
  Result<SqliteTransaction> transaction = SqliteTransaction::begin(*connection_);
  if (!transaction) return transaction.error();
  batchTransaction_.emplace(std::move(*transaction));
  batchResult_ = CommitResult();
  {
    std::lock_guard lock(writerMutex_);
    batchThread_ = std::this_thread::get_id();
  }
  hold.handOverToBatch();
  return {};
}

Result<CommitResult> StoreDatabase::commitBatch() {
  if (!batchOwnedHere()) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                "No write batch is open on this thread.");
  }
  Result<void> committed = batchTransaction_->commit();
  // A failed commit leaves the transaction to its end, which rolls it back.
  batchTransaction_.reset();
  CommitResult result = std::move(batchResult_);
  batchResult_ = CommitResult();
  if (committed && !result.changes.empty()) ++ownChanges_;
  releaseWriter();
  if (!committed) return committed.error();
  return result;
}

void StoreDatabase::abandonBatch() {
  if (!batchOwnedHere()) return;
  batchTransaction_.reset();
  batchResult_ = CommitResult();
  releaseWriter();
}

bool StoreDatabase::writersWaiting() {
  std::lock_guard lock(writerMutex_);
  return writersWaiting_ > 0;
}

void StoreDatabase::close() {
  {
    std::unique_lock lock(readersMutex_);
    closed_ = true;
    openReaders_ -= idleReaders_.size();
    idleReaders_.clear();
    readerFree_.notify_all();
    readerFree_.wait(lock, [&] { return openReaders_ == 0; });
  }
  abandonBatch();
  // Closed last, the writer folds the write-ahead log into the file and removes it.
  WriterHold hold(*this);
  connection_.reset();
}

}  // namespace platform::detail
