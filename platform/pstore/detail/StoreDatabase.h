#pragma once
// The database behind one loaded store: its connections, the checks made when it is opened, the row
// reads contexts make, the one write path (commit), write batches and persistent history. Internal
// to the persistent-store layer.
//
// Connections: one writer, and for a file store a few query-only readers beside it (the write-ahead
// log lets them read while the writer writes). A read takes an idle reader and reads one snapshot of
// the committed state, so a listing never waits behind a commit or a write batch, nor behind another
// long read. An in-memory store has the writer only, and its reads wait for it.
//
// Write batches: while one is open, the thread that opened it owns the writer. Its commits become
// parts of the batch's one transaction (each still all or nothing), and its reads go through the
// writer, so they see what the batch wrote so far; every other thread reads the state before the
// batch, and its commits wait until the batch ends. A batch that ends without commitBatch() is rolled
// back whole.
//
// Thread-safe: a commit is one indivisible step for every other reader and writer of the store. No
// lock is held while calling out of this class.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/MetadataRange.h"
#include "platform/pstore/PersistentHistory.h"
#include "platform/pstore/StoreDescription.h"
#include "platform/pstore/detail/AttributeCoding.h"
#include "platform/pstore/detail/ColumnChanges.h"
#include "platform/pstore/detail/StoreLayout.h"
#include "platform/sqlite/SqliteConnection.h"

namespace platform::detail {

// The layout of the tables and metadata this code writes. A store written with another layout is
// treated like a store of another model.
inline constexpr std::int64_t kStoreSchemaVersion = 1;

// Metadata keys under this prefix belong to the store itself; callers cannot write them.
inline constexpr std::string_view kReservedMetadataPrefix = "pstore.";

// Some columns of a row, read without the rest.
struct ColumnValues {
  std::int64_t number = 0;
  std::vector<SqlValue> values;  // in the order the columns were asked for
};

struct StoredRow {
  std::int64_t number = 0;
  std::int64_t version = 0;
  UUID recordName;
  std::vector<SqlValue> columns;  // in EntityLayout::columns order
};

// The most values one query binds (SQLite's own limit is higher, but lists this long already make
// one statement do the work of hundreds).
inline constexpr std::size_t kMaxValuesPerQuery = 500;

struct RowQuery {
  std::optional<std::pair<std::size_t, SqlValue>> equals;  // column index, value
  // Column index, values: the column holds one of them. Keep the list within kMaxValuesPerQuery.
  std::optional<std::pair<std::size_t, std::vector<SqlValue>>> oneOf;
  std::optional<std::size_t> notNull;              // column index: the column holds a value
  std::vector<std::pair<std::size_t, bool>> sort;  // column index, ascending
  std::size_t limit = 0;                           // 0: no limit
};

// Column values of a to-one relationship hold the related row's number; a negative number names an
// object inserted by the same commit (its temporary number). The values are the caller's, read in
// place during the commit: an import inserts thousands of rows at a time.
struct RowInsert {
  const EntityLayout* entity;
  std::int64_t temporaryNumber;
  UUID recordName;
  std::vector<const SqlValue*> columns;
};

struct RowUpdate {
  const EntityLayout* entity;
  std::int64_t number;
  std::optional<std::int64_t> expectedVersion;  // the version the changes were made against, if known
  ColumnChanges columns;
};

struct RowDelete {
  const EntityLayout* entity;
  std::int64_t number;
  std::optional<std::int64_t> expectedVersion;
};

struct ChangeSet {
  std::vector<RowInsert> inserts;
  std::vector<RowUpdate> updates;
  std::vector<RowDelete> deletes;
  // nullopt removes the key. Read during the commit only: the caller keeps it, to keep it should the
  // commit fail.
  const std::map<std::string, std::optional<std::string>>* metadata = nullptr;
  // Per-record metadata, by record name, kept the same way.
  const std::map<UUID, std::optional<Bytes>>* recordMetadata = nullptr;
  std::optional<std::string> author;
  // True: a row changed or removed since the expected version fails the whole commit. False: the
  // changes are written over the stored row property by property, and changes to a row that is gone
  // are dropped.
  bool failOnConflict = true;
};

struct CommitResult {
  std::vector<StoredRow> insertedRows;                // in ChangeSet::inserts order
  std::vector<std::optional<StoredRow>> updatedRows;  // in ChangeSet::updates order; nullopt: row was gone
  ObjectIDChanges changes;                            // what was really written
  std::optional<HistoryToken> token;                  // set when a history transaction was recorded
  // Written into an open write batch: visible to others, and to be reported, once the batch commits.
  bool deferred = false;
};

class StoreDatabase {
 public:
  // Opens or creates the store the description names and checks that `layout`'s model made it.
  static Result<std::unique_ptr<StoreDatabase>> open(const StoreDescription& description,
                                                     std::shared_ptr<const StoreLayout> layout,
                                                     const std::string& modelVersionHash);

  const UUID& identifier() const { return identifier_; }
  const StoreLayout& layout() const { return *layout_; }
  bool tracksHistory() const { return tracksHistory_; }

  // Rows in the query's order, then by number.
  Result<std::vector<StoredRow>> fetchRows(const EntityLayout& entity, const RowQuery& query);
  // The same rows, only the given columns (indexes into EntityLayout::columns).
  Result<std::vector<ColumnValues>> fetchColumns(const EntityLayout& entity,
                                                 const std::vector<std::size_t>& columns,
                                                 const RowQuery& query);
  Result<std::optional<StoredRow>> fetchRow(const EntityLayout& entity, std::int64_t number);
  // The rows that bear these record names, in no particular order (names of no row are left out).
  Result<std::vector<StoredRow>> fetchRowsByRecordNames(const EntityLayout& entity,
                                                        const std::vector<UUID>& recordNames);

  // Writes everything in one transaction, or nothing (inside an open batch of this thread: one part of
  // the batch, or nothing).
  Result<CommitResult> commit(const ChangeSet& changes, Date timestamp);

  // Opens a write batch owned by the calling thread, once the writers that wait already had their
  // turn. Fails while this thread has a batch open.
  Result<void> beginBatch();
  // Commits the batch's transaction and ends the batch; answers everything its commits changed, in
  // one result (the token: the last one recorded). A failed commit rolls the batch back and ends it.
  Result<CommitResult> commitBatch();
  // Rolls the open batch of this thread back and ends it; nothing when there is none.
  void abandonBatch();
  // Whether another thread waits to commit while this thread's batch is open.
  bool writersWaiting();
  // Grows with every commit that changed objects through this connection and every commit another
  // connection (another process) made to the file; see PersistentStore::changeCount.
  std::uint64_t changeCount();

  // Transactions after `after` (all without), oldest first. HistoryTokenExpired for a token of
  // another store, or one beyond this store's newest transaction.
  Result<std::vector<HistoryTransaction>> fetchHistory(const std::optional<HistoryToken>& after);
  // The newest transaction's token; nullopt while history is empty.
  Result<std::optional<HistoryToken>> newestHistoryToken();

  Result<std::optional<std::string>> metadataValue(const std::string& key);
  // The first text values under range.prefix, as many as the range allows, with a context's unsaved
  // values laid over them (MetadataPageFill.h); read in one snapshot.
  Result<MetadataPage> metadataValues(const MetadataRange& range,
                                      const std::map<std::string, std::optional<std::string>>& unsaved);
  // The text values of these keys, by key (keys without one are left out).
  Result<std::map<std::string, std::string>> metadataValues(const std::vector<std::string>& keys);
  // The metadata of these records, by record name (records without any are left out); of every record.
  Result<std::map<UUID, Bytes>> recordMetadata(const std::vector<UUID>& records);
  Result<std::map<UUID, Bytes>> allRecordMetadata();

  // Closes the connections once the reads and the commit under way have ended (a batch of the calling
  // thread is rolled back; one of another thread is waited for); every later call fails with
  // StoreOperationFailed.
  void close();

 private:
  // Holds the writer for one call, waiting while another thread holds it. On the thread of an open
  // batch the writer is that batch's already, and the call becomes part of it.
  class WriterHold {
   public:
    enum class Purpose { Call, Batch };
    explicit WriterHold(StoreDatabase& database, Purpose purpose = Purpose::Call);
    ~WriterHold();
    WriterHold(const WriterHold&) = delete;
    WriterHold& operator=(const WriterHold&) = delete;

    bool inBatch() const { return inBatch_; }
    // The writer stays held when this ends: a batch took it over.
    void handOverToBatch() { holds_ = false; }

   private:
    StoreDatabase& database_;
    bool holds_ = false;
    bool inBatch_ = false;
  };
  using Reading = std::function<Result<void>(SqliteConnection&)>;

  StoreDatabase(std::unique_ptr<SqliteConnection> connection, std::shared_ptr<const StoreLayout> layout,
                UUID identifier, bool tracksHistory, std::optional<std::string> readerFile)
      : connection_(std::move(connection)),
        layout_(std::move(layout)),
        identifier_(identifier),
        tracksHistory_(tracksHistory),
        readerFile_(std::move(readerFile)) {}

  // Runs `read` on a connection that sees the committed state (or, on a batch's own thread, the
  // batch's), as one snapshot.
  Result<void> read(const Reading& read);
  Result<void> readOnWriter(const Reading& read);
  // An idle reader, a new one while there are fewer than the most, or after a wait one another
  // read gives back; nullptr when a new one cannot be opened. Fails once the store is closed.
  Result<std::unique_ptr<SqliteConnection>> takeReader();
  void giveBack(std::unique_ptr<SqliteConnection> reader);
  bool batchOwnedHere();
  // Lets go of the writer (and ends the batch that held it, if any).
  void releaseWriter();
  // Notes commits other processes made to the file; the caller holds the writer.
  void noteExternalChanges();

  Result<std::vector<StoredRow>> selectRows(SqliteConnection& connection, const EntityLayout& entity,
                                            const std::string& clauses,
                                            const std::vector<SqlValue>& parameters);
  Result<CommitResult> commitLocked(const ChangeSet& changes, Date timestamp);
  // Writes (nullopt: removes) per-record metadata on the writer, inside the caller's transaction.
  Result<void> writeRecordMetadata(const std::map<UUID, std::optional<Bytes>>& values);
  Result<std::int64_t> allocateNumbers(const EntityLayout& entity, std::int64_t count);
  Result<HistoryToken> recordHistory(const std::vector<HistoryChange>& changes,
                                     const std::optional<std::string>& author, Date timestamp);
  Error closedError() const;

  // The writer and who holds it: a commit under way, or a batch (then also its thread).
  std::mutex writerMutex_;
  std::condition_variable writerFree_;
  bool writerHeld_ = false;
  int writersWaiting_ = 0;
  std::optional<std::thread::id> batchThread_;
  std::optional<SqliteTransaction> batchTransaction_;
  CommitResult batchResult_;
  std::unique_ptr<SqliteConnection> connection_;

  // The readers: idle ones, and how many exist (idle or reading).
  std::mutex readersMutex_;
  std::condition_variable readerFree_;
  std::vector<std::unique_ptr<SqliteConnection>> idleReaders_;
  std::size_t openReaders_ = 0;
  bool closed_ = false;

  std::shared_ptr<const StoreLayout> layout_;
  UUID identifier_;
  bool tracksHistory_;
  // The file the readers open; none for an in-memory store.
  std::optional<std::string> readerFile_;
  std::atomic<std::uint64_t> ownChanges_ = 0;
  std::atomic<std::uint64_t> externalChanges_ = 0;
};

}  // namespace platform::detail
