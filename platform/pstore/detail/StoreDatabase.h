#pragma once
// The database behind one loaded store: its single long-lived connection, the checks made when it
// is opened, the row reads contexts make, the one write path (commit) and persistent history.
// Internal to the persistent-store layer.
//
// Thread-safe: every call takes the store's lock for its whole duration, so a commit is one
// indivisible step for every other reader and writer of the store. The lock is never held while
// calling out of this class.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/PersistentHistory.h"
#include "platform/pstore/StoreDescription.h"
#include "platform/pstore/detail/AttributeCoding.h"
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
// object inserted by the same commit (its temporary number).
struct RowInsert {
  const EntityLayout* entity;
  std::int64_t temporaryNumber;
  UUID recordName;
  std::vector<SqlValue> columns;
};

struct RowUpdate {
  const EntityLayout* entity;
  std::int64_t number;
  std::optional<std::int64_t> expectedVersion;  // the version the changes were made against, if known
  std::map<std::size_t, SqlValue> columns;
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
  std::map<std::string, std::optional<std::string>> metadata;  // nullopt removes the key
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

  // Writes everything in one transaction, or nothing.
  Result<CommitResult> commit(const ChangeSet& changes, Date timestamp);
  // Grows with every commit that changed objects through this connection and every commit another
  // connection (another process) made to the file; see PersistentStore::changeCount.
  std::uint64_t changeCount();

  // Transactions after `after` (all without), oldest first. HistoryTokenExpired for a token of
  // another store, or one beyond this store's newest transaction.
  Result<std::vector<HistoryTransaction>> fetchHistory(const std::optional<HistoryToken>& after);

  Result<std::optional<std::string>> metadataValue(const std::string& key);
  // Every text value whose key starts with `prefix`, by key.
  Result<std::map<std::string, std::string>> metadataValues(const std::string& prefix);
  // The text values of these keys, by key (keys without one are left out).
  Result<std::map<std::string, std::string>> metadataValues(const std::vector<std::string>& keys);

  // Closes the connection; every later call fails with StoreOperationFailed.
  void close();

 private:
  StoreDatabase(std::unique_ptr<SqliteConnection> connection, std::shared_ptr<const StoreLayout> layout,
                UUID identifier, bool tracksHistory)
      : connection_(std::move(connection)),
        layout_(std::move(layout)),
        identifier_(identifier),
        tracksHistory_(tracksHistory) {}

  Result<std::vector<StoredRow>> selectRows(const EntityLayout& entity, const std::string& clauses,
                                            const std::vector<SqlValue>& parameters);
  Result<CommitResult> commitLocked(const ChangeSet& changes, Date timestamp);
  Result<std::int64_t> allocateNumbers(const EntityLayout& entity, std::int64_t count);
  Result<HistoryToken> recordHistory(const std::vector<HistoryChange>& changes,
                                     const std::optional<std::string>& author, Date timestamp);
  Error closedError() const;

  std::mutex mutex_;
  std::unique_ptr<SqliteConnection> connection_;
  std::shared_ptr<const StoreLayout> layout_;
  UUID identifier_;
  bool tracksHistory_;
  std::uint64_t ownChanges_ = 0;
};

}  // namespace platform::detail
