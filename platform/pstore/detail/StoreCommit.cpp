// The store's one write path: a context's changes, checked against the stored rows and written in a
// single transaction together with their history.

#include <algorithm>
#include <iterator>
#include <limits>
#include <unordered_map>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform::detail {
namespace {

using NumberMap = std::unordered_map<std::int64_t, std::int64_t>;

constexpr std::int64_t kLargestNumber = std::numeric_limits<std::int64_t>::max();

// The version a changed row gets. It only has to differ from the one read, so a damaged row at the
// largest version starts again from 1 rather than overflowing.
std::int64_t nextVersion(std::int64_t version) {
  return version == kLargestNumber ? 1 : version + 1;
}

SqlValue recordNameValue(const UUID& recordName) {
  return Bytes(recordName.bytes().begin(), recordName.bytes().end());
}

// A relationship column may name an object inserted by this commit by its temporary number.
SqlValue resolved(const EntityLayout& entity, std::size_t column, const SqlValue& value,
                  const NumberMap& numbers) {
  const auto* number = std::get_if<std::int64_t>(&value);
  if (!entity.columns[column].relationship || !number || *number >= 0) return value;
  auto found = numbers.find(*number);
  if (found == numbers.end()) {
    throw ProgrammerError("UnsavedObjectReference", entity.entity->name + "." +
                                                        entity.columns[column].relationship->name +
                                                        " refers to an object that is not part of this save");
  }
  return found->second;
}

Error conflictError(const EntityLayout& entity, std::int64_t number, const std::string& what) {
  return persistentStoreError(
      PersistentStoreErrorCode::MergeConflict,
      "Could not merge changes: " + ObjectID{entity.entity->name, number}.description() + " was " + what +
          " by another context since it was read.",
      {{std::string(kErrorEntityKey), entity.entity->name}});
}

}  // namespace

Result<CommitResult> StoreDatabase::commit(const ChangeSet& changes, Date timestamp) {
  WriterHold hold(*this);
  if (!connection_) return closedError();
  noteExternalChanges();
  Result<CommitResult> committed = commitLocked(changes, timestamp);
  if (!committed) return committed;
  if (hold.inBatch()) {
    committed->deferred = true;
    ObjectIDChanges& all = batchResult_.changes;
    for (auto [from, to] : {std::pair{&committed->changes.inserted, &all.inserted},
                            std::pair{&committed->changes.updated, &all.updated},
                            std::pair{&committed->changes.deleted, &all.deleted}}) {
      to->insert(to->end(), from->begin(), from->end());
    }
    if (committed->token) batchResult_.token = committed->token;
  } else if (!committed->changes.empty()) {
    ++ownChanges_;
  }
  return committed;
}

Result<std::int64_t> StoreDatabase::allocateNumbers(const EntityLayout& entity, std::int64_t count) {
  const std::string& name = entity.entity->name;
  Result<SqlValue> counter = connection_->scalar("SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_ENTITY = ?", {name});
  if (!counter) return counter.error();
  // Rows written past the counter (by hand, say) must not be collided with.
  Result<SqlValue> highest = connection_->scalar("SELECT max(Z_PK) FROM " + entity.table);
  if (!highest) return highest.error();
  std::int64_t rows = 0;
  if (const auto* value = std::get_if<std::int64_t>(&*highest)) rows = std::max(rows, *value);
  std::int64_t last = rows;
  // A counter with no room for `count` more numbers is damage (no store hands out 2^63 numbers);
  // the rows themselves still say which numbers are taken.
  if (const auto* value = std::get_if<std::int64_t>(&*counter); value && *value <= kLargestNumber - count)
    last = std::max(last, *value);
  if (last > kLargestNumber - count) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                "No row numbers are left for " + name + ": the store is damaged.");
  }
  Result<void> stored = connection_->run(
      "INSERT OR REPLACE INTO Z_PRIMARYKEY (Z_ENTITY, Z_MAX) VALUES (?, ?)", {name, last + count});
  if (!stored) return stored.error();
  return last + 1;
}

Result<CommitResult> StoreDatabase::commitLocked(const ChangeSet& changes, Date timestamp) {
  Result<SqliteTransaction> transaction = SqliteTransaction::begin(*connection_);
  if (!transaction) return transaction.error();

  NumberMap numbers;
  std::unordered_map<std::size_t, std::int64_t> insertsPerEntity;
  for (const RowInsert& insert : changes.inserts) ++insertsPerEntity[insert.entity->index];
  for (const auto& [entityIndex, count] : insertsPerEntity) {
    Result<std::int64_t> first = allocateNumbers(layout_->entity(entityIndex), count);
    if (!first) return first.error();
    std::int64_t next = *first;
    for (const RowInsert& insert : changes.inserts) {
      if (insert.entity->index == entityIndex) numbers[insert.temporaryNumber] = next++;
    }
  }

  CommitResult result;
  std::vector<HistoryChange> inserted, updated, deleted;

  for (const RowDelete& removal : changes.deletes) {
    Result<std::vector<StoredRow>> stored =
        selectRows(*connection_, *removal.entity, "WHERE Z_PK = ?", {removal.number});
    if (!stored) return stored.error();
    // A row that is already gone needs no deleting, whatever the policy.
    if (stored->empty()) continue;
    if (changes.failOnConflict && removal.expectedVersion &&
        stored->front().version != *removal.expectedVersion) {
      return conflictError(*removal.entity, removal.number, "changed");
    }
    Result<void> done =
        connection_->run("DELETE FROM " + removal.entity->table + " WHERE Z_PK = ?", {removal.number});
    if (!done) return done.error();
    deleted.push_back({HistoryChangeType::Delete,
                       {removal.entity->entity->name, removal.number},
                       stored->front().recordName});
  }

  for (const RowUpdate& update : changes.updates) {
    const EntityLayout& entity = *update.entity;
    Result<std::vector<StoredRow>> stored =
        selectRows(*connection_, entity, "WHERE Z_PK = ?", {update.number});
    if (!stored) return stored.error();
    if (stored->empty()) {
      if (changes.failOnConflict) return conflictError(entity, update.number, "deleted");
      result.updatedRows.emplace_back();
      continue;
    }
    StoredRow row = std::move(stored->front());
    if (changes.failOnConflict && update.expectedVersion && row.version != *update.expectedVersion) {
      return conflictError(entity, update.number, "changed");
    }
    bool changed = false;
    for (const auto& [column, value] : update.columns) {
      SqlValue written = resolved(entity, column, value, numbers);
      if (identicalSqlValues(row.columns[column], written)) continue;
      row.columns[column] = std::move(written);
      changed = true;
    }
    if (changed) {
      row.version = nextVersion(row.version);
      std::vector<SqlValue> parameters{row.version};
      parameters.insert(parameters.end(), row.columns.begin(), row.columns.end());
      parameters.push_back(row.number);
      if (Result<void> done = connection_->run(entity.updateStatement, parameters); !done)
        return done.error();
      updated.push_back({HistoryChangeType::Update, {entity.entity->name, row.number}, row.recordName});
    }
    result.updatedRows.emplace_back(std::move(row));
  }

  for (const RowInsert& insert : changes.inserts) {
    const EntityLayout& entity = *insert.entity;
    StoredRow row{numbers.at(insert.temporaryNumber), 1, insert.recordName, {}};
    // The statement's values first, the row's columns taken from them after: one copy of each value.
    constexpr std::size_t kLeadingValues = 3;
    std::vector<SqlValue> parameters{row.number, row.version, recordNameValue(row.recordName)};
    parameters.reserve(kLeadingValues + insert.columns.size());
    for (std::size_t column = 0; column < insert.columns.size(); ++column) {
      parameters.push_back(resolved(entity, column, *insert.columns[column], numbers));
    }
    if (Result<void> done = connection_->run(entity.insertStatement, parameters); !done) return done.error();
    row.columns.assign(std::make_move_iterator(parameters.begin() + kLeadingValues),
                       std::make_move_iterator(parameters.end()));
    inserted.push_back({HistoryChangeType::Insert, {entity.entity->name, row.number}, row.recordName});
    result.insertedRows.push_back(std::move(row));
  }

  if (changes.metadata) {
    for (const auto& [key, value] : *changes.metadata) {
      Result<void> done =
          value ? connection_->run("INSERT OR REPLACE INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES (?, ?)",
                                   {key, *value})
                : connection_->run("DELETE FROM Z_METADATA WHERE Z_KEY = ?", {key});
      if (!done) return done.error();
    }
  }
  if (changes.recordMetadata) {
    if (Result<void> done = writeRecordMetadata(*changes.recordMetadata); !done) return done.error();
  }

  std::vector<HistoryChange> written = std::move(inserted);
  written.insert(written.end(), updated.begin(), updated.end());
  written.insert(written.end(), deleted.begin(), deleted.end());
  if (tracksHistory_ && !written.empty()) {
    Result<HistoryToken> token = recordHistory(written, changes.author, timestamp);
    if (!token) return token.error();
    result.token = *token;
  }
  if (Result<void> committed = transaction->commit(); !committed) return committed.error();

  for (const HistoryChange& change : written) {
    switch (change.type) {
      case HistoryChangeType::Insert:
        result.changes.inserted.push_back(change.objectID);
        break;
      case HistoryChangeType::Update:
        result.changes.updated.push_back(change.objectID);
        break;
      case HistoryChangeType::Delete:
        result.changes.deleted.push_back(change.objectID);
        break;
    }
  }
  return result;
}

}  // namespace platform::detail
