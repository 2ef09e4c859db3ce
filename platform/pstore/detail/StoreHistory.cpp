// Persistent history: written inside each commit, read back after a token.

#include <unordered_map>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform::detail {
namespace {

Error expired(const std::string& why) {
  return persistentStoreError(PersistentStoreErrorCode::HistoryTokenExpired,
                              "The history token has expired: " + why);
}

UUID uuidFrom(const SqlValue& value) {
  UUID::Bytes raw{};
  if (const auto* bytes = std::get_if<Bytes>(&value); bytes && bytes->size() == raw.size()) {
    std::copy(bytes->begin(), bytes->end(), raw.begin());
  }
  return UUID(raw);
}

// Transactions after `after`, with their changes, read in one snapshot of the store.
Result<std::vector<HistoryTransaction>> readHistory(SqliteConnection& connection, const UUID& identifier,
                                                    const std::optional<HistoryToken>& after) {
  std::int64_t afterNumber = 0;
  if (after) {
    if (after->storeIdentifier != identifier) return expired("it belongs to another store.");
    Result<SqlValue> newest = connection.scalar("SELECT max(Z_PK) FROM Z_TRANSACTION");
    if (!newest) return newest.error();
    const auto* newestNumber = std::get_if<std::int64_t>(&*newest);
    // A token past the newest transaction comes from a copy of this store that lived on elsewhere;
    // answering "nothing new" would hide everything recorded here up to its number.
    if (after->transactionNumber > (newestNumber ? *newestNumber : 0)) {
      return expired("it is newer than the store's history.");
    }
    afterNumber = after->transactionNumber;
  }

  std::vector<HistoryTransaction> transactions;
  std::unordered_map<std::int64_t, std::size_t> positions;
  Result<void> read =
      connection.run("SELECT Z_PK, Z_TIMESTAMP, Z_AUTHOR FROM Z_TRANSACTION WHERE Z_PK > ? ORDER BY Z_PK",
                     {afterNumber}, [&](const SqliteRow& row) {
                       HistoryTransaction transaction;
                       transaction.token = HistoryToken{identifier, row.integer(0)};
                       const SqlValue timestamp = row.column(1);
                       if (const auto* seconds = std::get_if<double>(&timestamp))
                         transaction.timestamp = Date{*seconds};
                       const SqlValue author = row.column(2);
                       if (const auto* text = std::get_if<std::string>(&author)) transaction.author = *text;
                       positions[transaction.token.transactionNumber] = transactions.size();
                       transactions.push_back(std::move(transaction));
                     });
  if (!read) return read.error();
  read = connection.run(
      "SELECT Z_TRANSACTION, Z_TYPE, Z_ENTITY, Z_ENTITYPK, Z_UUID FROM Z_CHANGE WHERE Z_TRANSACTION > ? "
      "ORDER BY Z_TRANSACTION, Z_PK",
      {afterNumber}, [&](const SqliteRow& row) {
        auto position = positions.find(row.integer(0));
        if (position == positions.end()) return;
        const SqlValue entity = row.column(2);
        const auto* entityName = std::get_if<std::string>(&entity);
        transactions[position->second].changes.push_back(HistoryChange{
            static_cast<HistoryChangeType>(row.integer(1)),
            ObjectID{entityName ? *entityName : std::string(), row.integer(3)}, uuidFrom(row.column(4))});
      });
  if (!read) return read.error();
  return transactions;
}

}  // namespace

Result<HistoryToken> StoreDatabase::recordHistory(const std::vector<HistoryChange>& changes,
                                                  const std::optional<std::string>& author, Date timestamp) {
  const SqlValue authorValue = author ? SqlValue(*author) : SqlValue();
  Result<void> opened = connection_->run("INSERT INTO Z_TRANSACTION (Z_TIMESTAMP, Z_AUTHOR) VALUES (?, ?)",
                                         {timestamp.secondsSinceReferenceDate, authorValue});
  if (!opened) return opened.error();
  Result<SqlValue> number = connection_->scalar("SELECT last_insert_rowid()");
  if (!number) return number.error();
  // One set of values, refilled for every change: a commit records thousands of them.
  enum Value { kTransaction, kType, kEntity, kNumber, kRecord };
  std::vector<SqlValue> values{*number, std::int64_t{0}, std::string(), std::int64_t{0}, Bytes()};
  for (const HistoryChange& change : changes) {
    values[kType] = static_cast<std::int64_t>(change.type);
    std::get<std::string>(values[kEntity]).assign(change.objectID.entityName);
    values[kNumber] = change.objectID.number;
    std::get<Bytes>(values[kRecord])
        .assign(change.recordName.bytes().begin(), change.recordName.bytes().end());
    Result<void> done = connection_->run(
        "INSERT INTO Z_CHANGE (Z_TRANSACTION, Z_TYPE, Z_ENTITY, Z_ENTITYPK, Z_UUID) VALUES (?, ?, ?, ?, ?)",
        values);
    if (!done) return done.error();
  }
  return HistoryToken{identifier_, std::get<std::int64_t>(*number)};
}

Result<std::vector<HistoryTransaction>> StoreDatabase::fetchHistory(
    const std::optional<HistoryToken>& after) {
  std::vector<HistoryTransaction> transactions;
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    Result<std::vector<HistoryTransaction>> found = readHistory(connection, identifier_, after);
    if (!found) return found.error();
    transactions = std::move(*found);
    return {};
  });
  if (!read) return read.error();
  return transactions;
}

Result<std::optional<HistoryToken>> StoreDatabase::newestHistoryToken() {
  std::optional<HistoryToken> newest;
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    Result<SqlValue> number = connection.scalar("SELECT max(Z_PK) FROM Z_TRANSACTION");
    if (!number) return number.error();
    if (const auto* value = std::get_if<std::int64_t>(&*number)) newest = HistoryToken{identifier_, *value};
    return {};
  });
  if (!read) return read.error();
  return newest;
}

}  // namespace platform::detail
