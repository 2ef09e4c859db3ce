#include "platform/pstore/detail/StoreDatabase.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/MetadataPageFill.h"
#include "platform/pstore/detail/SoundStamp.h"

namespace platform::detail {
namespace {

constexpr std::string_view kSchemaVersionKey = "pstore.schemaVersion";
constexpr std::string_view kModelHashKey = "pstore.modelHash";
constexpr std::string_view kStoreIdentifierKey = "pstore.storeIdentifier";

// Per-record metadata: keyed by the record name's sixteen bytes, without a row number beside the key,
// so a value is one entry in one compact tree rather than a row plus an index entry of a long text key.
// Stores made before it was kept gain the table when they are opened.
constexpr const char* kCreateRecordMetadata =
    "CREATE TABLE IF NOT EXISTS Z_RECORDMETADATA (Z_RECORD BLOB PRIMARY KEY, Z_VALUE BLOB NOT NULL) "
    "WITHOUT ROWID";

const std::vector<std::string>& storeTableStatements() {
  static const std::vector<std::string> statements = {
      "CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE)",
      "CREATE TABLE Z_PRIMARYKEY (Z_ENTITY TEXT PRIMARY KEY, Z_MAX INTEGER NOT NULL)",
      // AUTOINCREMENT: a transaction number is never handed out twice, so tokens stay meaningful.
      "CREATE TABLE Z_TRANSACTION (Z_PK INTEGER PRIMARY KEY AUTOINCREMENT, Z_TIMESTAMP REAL NOT NULL, "
      "Z_AUTHOR TEXT)",
      "CREATE TABLE Z_CHANGE (Z_PK INTEGER PRIMARY KEY, Z_TRANSACTION INTEGER NOT NULL, Z_TYPE INTEGER NOT "
      "NULL, "
      "Z_ENTITY TEXT NOT NULL, Z_ENTITYPK INTEGER NOT NULL, Z_UUID BLOB NOT NULL)",
      "CREATE INDEX Z_CHANGE_Z_TRANSACTION ON Z_CHANGE (Z_TRANSACTION)",
      kCreateRecordMetadata,
  };
  return statements;
}

const char* kWriteMetadata = "INSERT OR REPLACE INTO Z_METADATA (Z_KEY, Z_VALUE) VALUES (?, ?)";

Result<UUID> createSchema(SqliteConnection& connection, const StoreLayout& layout,
                          const std::string& modelHash) {
  Result<SqliteTransaction> transaction = SqliteTransaction::begin(connection);
  if (!transaction) return transaction.error();
  std::vector<std::string> statements = storeTableStatements();
  for (std::string& statement : layout.entityTableStatements()) statements.push_back(std::move(statement));
  for (const std::string& statement : statements) {
    if (Result<void> done = connection.execute(statement); !done) return done.error();
  }
  const UUID identifier = UUID::random();
  const std::vector<std::vector<SqlValue>> metadata = {
      {std::string(kSchemaVersionKey), kStoreSchemaVersion},
      {std::string(kModelHashKey), modelHash},
      {std::string(kStoreIdentifierKey), identifier.uuidString()},
  };
  for (const auto& entry : metadata) {
    if (Result<void> done = connection.run(kWriteMetadata, entry); !done) return done.error();
  }
  if (Result<void> committed = transaction->commit(); !committed) return committed.error();
  return identifier;
}

Result<SqlValue> readMetadata(SqliteConnection& connection, std::string_view key) {
  return connection.scalar("SELECT Z_VALUE FROM Z_METADATA WHERE Z_KEY = ?", {std::string(key)});
}

// Decides whether a store that already holds tables was made by this model; answers its identifier.
Result<UUID> checkExistingStore(SqliteConnection& connection, const StoreDescription& description,
                                const std::string& modelHash, const std::string& location) {
  Result<SqlValue> hasMetadata =
      connection.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'Z_METADATA'");
  if (!hasMetadata) return hasMetadata.error();
  const Error missingSource =
      persistentStoreError(PersistentStoreErrorCode::MissingSourceModel,
                           "The store at " + location + " does not say which model made it.");
  if (std::get<std::int64_t>(*hasMetadata) == 0) return missingSource;

  Result<SqlValue> storedHash = readMetadata(connection, kModelHashKey);
  if (!storedHash) return storedHash.error();
  Result<SqlValue> schemaVersion = readMetadata(connection, kSchemaVersionKey);
  if (!schemaVersion) return schemaVersion.error();
  Result<SqlValue> identifier = readMetadata(connection, kStoreIdentifierKey);
  if (!identifier) return identifier.error();

  const auto* hashText = std::get_if<std::string>(&*storedHash);
  if (!hashText) return missingSource;
  const auto* version = std::get_if<std::int64_t>(&*schemaVersion);
  if (*hashText != modelHash || !version || *version != kStoreSchemaVersion) {
    // No mapping between models is ever inferred: the store's own model is not kept, only its hash.
    if (description.shouldMigrateStoreAutomatically && description.shouldInferMappingModelAutomatically) {
      return persistentStoreError(
          PersistentStoreErrorCode::MigrationFailed,
          "The store at " + location +
              " was made by another model, and no mapping to this model can be inferred.");
    }
    return persistentStoreError(
        PersistentStoreErrorCode::IncompatibleModel,
        "The store at " + location + " was made by a model incompatible with this one.");
  }
  const auto* identifierText = std::get_if<std::string>(&*identifier);
  std::optional<UUID> parsed = identifierText ? UUID::fromString(*identifierText) : std::nullopt;
  if (!parsed) return missingSource;
  return *parsed;
}

StoredRow readRow(const SqliteRow& row, std::size_t columnCount) {
  StoredRow stored;
  stored.number = row.integer(0);
  stored.version = row.integer(1);
  const SqlValue recordName = row.column(2);
  if (const auto* bytes = std::get_if<Bytes>(&recordName); bytes && bytes->size() == 16) {
    UUID::Bytes raw;
    std::copy(bytes->begin(), bytes->end(), raw.begin());
    stored.recordName = UUID(raw);
  }
  stored.columns.reserve(columnCount);
  for (std::size_t i = 0; i < columnCount; ++i) stored.columns.push_back(row.column(static_cast<int>(i + 3)));
  return stored;
}

// The writer's page cache, and how much of the write-ahead log's file is kept once the log has been
// folded into the database file.
constexpr int kWriterCacheKibibytes = 16 * 1024;
constexpr std::int64_t kLogBytesKept = 16 * 1024 * 1024;

}  // namespace

Result<std::unique_ptr<StoreDatabase>> StoreDatabase::open(const StoreDescription& description,
                                                           std::shared_ptr<const StoreLayout> layout,
                                                           const std::string& modelVersionHash) {
  const bool inMemory = description.type == StoreType::InMemory;
  if (!inMemory && (!description.path || description.path->empty())) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOpenFailed,
                                "A SQLite store needs a file path.");
  }
  const std::string location = inMemory ? "(in memory)" : description.path->string();
  Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::open(inMemory ? ":memory:" : location);
  if (!opened) return opened.error();
  SqliteConnection& connection = **opened;
  if (!inMemory) {
    // Reading the journal mode is also the first read of the file: a file that is no database fails here,
    // before anything could be written to it.
    if (Result<SqlValue> mode = connection.scalar("PRAGMA journal_mode = WAL"); !mode) return mode.error();
    // With a write-ahead log, FULL makes every commit durable before it is reported.
    if (Result<void> sync = connection.execute("PRAGMA synchronous = FULL"); !sync) return sync.error();
    // A write batch changes pages all over the record-name indexes: with too small a cache the
    // engine writes changed pages out, and reads them back, long before the batch commits. The log
    // a large batch grew is cut back once its pages are in the database file. Each commit inside a
    // batch is a savepoint, which keeps the former content of every page it changes until it ends:
    // in memory that is a copy, where a temporary file would cost a write for each page.
    if (Result<void> sizes =
            connection.execute("PRAGMA cache_size = -" + std::to_string(kWriterCacheKibibytes) +
                               "; PRAGMA journal_size_limit = " + std::to_string(kLogBytesKept) +
                               "; PRAGMA temp_store = MEMORY");
        !sizes)
      return sizes.error();
  }
  Result<SqlValue> tableCount = connection.scalar("SELECT count(*) FROM sqlite_master");
  if (!tableCount) return tableCount.error();
  Result<UUID> identifier = std::get<std::int64_t>(*tableCount) == 0
                                ? createSchema(connection, *layout, modelVersionHash)
                                : checkExistingStore(connection, description, modelVersionHash, location);
  if (!identifier) return identifier.error();
  if (std::get<std::int64_t>(*tableCount) != 0) {
    // A damaged file may open and then fail every later read; the quick check finds that now. It
    // reads the whole file, so it is left out while the files are as they were when last found sound.
    const std::optional<std::string> stamp = inMemory ? std::nullopt : currentStamp(location);
    const bool checking = !stamp || !isRecordedStamp(location, *stamp);
    if (checking) {
      if (Result<void> sound = connection.checkIntegrity(); !sound) return sound.error();
    }
    // A store made before an attribute was indexed gains its index now, one made before records
    // had metadata its table.
    std::vector<std::string> statements = layout->indexStatements();
    statements.emplace_back(kCreateRecordMetadata);
    for (const std::string& statement : statements) {
      if (Result<void> made = connection.execute(statement); !made) return made.error();
    }
    if (checking && stamp) {
      if (const std::optional<std::string> sound = currentStamp(location)) recordStamp(location, *sound);
    }
  }
  return std::unique_ptr<StoreDatabase>(
      new StoreDatabase(std::move(*opened), std::move(layout), *identifier,
                        description.option(kPersistentHistoryTrackingOption),
                        inMemory ? std::nullopt : std::optional<std::string>(location)));
}

Result<std::vector<StoredRow>> StoreDatabase::selectRows(SqliteConnection& connection,
                                                         const EntityLayout& entity,
                                                         const std::string& clauses,
                                                         const std::vector<SqlValue>& parameters) {
  std::vector<StoredRow> rows;
  Result<void> ran =
      connection.run("SELECT " + entity.selectList + " FROM " + entity.table + " " + clauses, parameters,
                     [&](const SqliteRow& row) { rows.push_back(readRow(row, entity.columns.size())); });
  if (!ran) return ran.error();
  return rows;
}

namespace {

// "(?, ?, ...)": a list of `count` values to bind.
std::string valueList(std::size_t count) {
  std::string list = "(";
  for (std::size_t i = 0; i < count; ++i) list += i == 0 ? "?" : ", ?";
  return list + ")";
}

// Takes rows of a key and a value into `values`, those whose key and value are both text.
std::function<void(const SqliteRow&)> textCollector(std::map<std::string, std::string>& values) {
  return [&values](const SqliteRow& row) {
    const SqlValue key = row.column(0);
    const SqlValue value = row.column(1);
    const auto* keyText = std::get_if<std::string>(&key);
    const auto* valueText = std::get_if<std::string>(&value);
    if (keyText && valueText) values.emplace(*keyText, *valueText);
  };
}

// Calls `read` with the values in groups of at most kMaxValuesPerQuery, stopping at its first failure.
template <typename T, typename Read>
Result<void> inGroups(const std::vector<T>& values, Read read) {
  for (std::size_t start = 0; start < values.size(); start += kMaxValuesPerQuery) {
    const std::size_t end = std::min(values.size(), start + kMaxValuesPerQuery);
    std::vector<SqlValue> group;
    group.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) group.push_back(SqlValue(values[i]));
    if (Result<void> done = read(group); !done) return done;
  }
  return {};
}

// The WHERE, ORDER BY and LIMIT clauses of a query, and the values they bind.
std::string queryClauses(const EntityLayout& entity, const RowQuery& query,
                         std::vector<SqlValue>& parameters) {
  std::vector<std::string> conditions;
  if (query.equals) {
    conditions.push_back(entity.columns.at(query.equals->first).name + " = ?");
    parameters.push_back(query.equals->second);
  }
  if (query.oneOf) {
    const auto& [column, values] = *query.oneOf;
    conditions.push_back(entity.columns.at(column).name + " IN " + valueList(values.size()));
    parameters.insert(parameters.end(), values.begin(), values.end());
  }
  if (query.notNull) conditions.push_back(entity.columns.at(*query.notNull).name + " IS NOT NULL");
  std::string clauses;
  for (const std::string& condition : conditions)
    clauses += (clauses.empty() ? "WHERE " : " AND ") + condition;
  clauses += " ORDER BY ";
  for (const auto& [column, ascending] : query.sort) {
    clauses += entity.columns.at(column).name + (ascending ? " ASC, " : " DESC, ");
  }
  clauses += "Z_PK ASC";
  if (query.limit > 0) clauses += " LIMIT " + std::to_string(query.limit);
  return clauses;
}

}  // namespace

Result<std::vector<StoredRow>> StoreDatabase::fetchRows(const EntityLayout& entity, const RowQuery& query) {
  std::vector<SqlValue> parameters;
  const std::string clauses = queryClauses(entity, query, parameters);
  Result<std::vector<StoredRow>> rows = std::vector<StoredRow>();
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    rows = selectRows(connection, entity, clauses, parameters);
    return rows ? Result<void>() : Result<void>(rows.error());
  });
  if (!read) return read.error();
  return rows;
}

Result<std::vector<ColumnValues>> StoreDatabase::fetchColumns(const EntityLayout& entity,
                                                              const std::vector<std::size_t>& columns,
                                                              const RowQuery& query) {
  std::vector<SqlValue> parameters;
  const std::string clauses = queryClauses(entity, query, parameters);
  std::string selectList = "Z_PK";
  for (std::size_t column : columns) selectList += ", " + entity.columns.at(column).name;
  std::vector<ColumnValues> rows;
  Result<void> read = this->read([&](SqliteConnection& connection) {
    return connection.run("SELECT " + selectList + " FROM " + entity.table + " " + clauses, parameters,
                          [&](const SqliteRow& row) {
                            ColumnValues values{row.integer(0), {}};
                            values.values.reserve(columns.size());
                            for (std::size_t i = 0; i < columns.size(); ++i)
                              values.values.push_back(row.column(static_cast<int>(i + 1)));
                            rows.push_back(std::move(values));
                          });
  });
  if (!read) return read.error();
  return rows;
}

Result<std::optional<StoredRow>> StoreDatabase::fetchRow(const EntityLayout& entity, std::int64_t number) {
  std::optional<StoredRow> found;
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    Result<std::vector<StoredRow>> rows = selectRows(connection, entity, "WHERE Z_PK = ?", {number});
    if (!rows) return rows.error();
    if (!rows->empty()) found = std::move(rows->front());
    return {};
  });
  if (!read) return read.error();
  return found;
}
Result<std::vector<StoredRow>> StoreDatabase::fetchRowsByRecordNames(const EntityLayout& entity,
                                                                     const std::vector<UUID>& recordNames) {
  std::vector<Bytes> names;
  names.reserve(recordNames.size());
  for (const UUID& name : recordNames) names.emplace_back(name.bytes().begin(), name.bytes().end());
  std::vector<StoredRow> rows;
  Result<void> read = this->read([&](SqliteConnection& connection) {
    return inGroups(names, [&](const std::vector<SqlValue>& group) -> Result<void> {
      Result<std::vector<StoredRow>> some =
          selectRows(connection, entity, "WHERE Z_UUID IN " + valueList(group.size()), group);
      if (!some) return some.error();
      std::move(some->begin(), some->end(), std::back_inserter(rows));
      return {};
    });
  });
  if (!read) return read.error();
  return rows;
}

Result<std::optional<std::string>> StoreDatabase::metadataValue(const std::string& key) {
  std::optional<std::string> found;
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    Result<SqlValue> value = readMetadata(connection, key);
    if (!value) return value.error();
    if (const auto* text = std::get_if<std::string>(&*value)) found = *text;
    return {};
  });
  if (!read) return read.error();
  return found;
}

Result<MetadataPage> StoreDatabase::metadataValues(const MetadataRange& range,
                                                   const UnsavedMetadata& unsaved) {
  // A range on the key rather than LIKE, whose wildcards the prefix might hold. Its bounds are texts,
  // so every key within it is one; the values are read as far as the page takes them.
  const std::string end = range.prefix + "\xFF";
  Result<MetadataPage> page = MetadataPage();
  Result<void> read = this->read([&](SqliteConnection& connection) -> Result<void> {
    MetadataPageFill fill(range, unsaved);
    Result<void> walked = connection.runWhile(
        "SELECT Z_KEY, Z_VALUE FROM Z_METADATA WHERE Z_KEY >= ? AND Z_KEY < ? AND typeof(Z_VALUE) = 'text' "
        "ORDER BY Z_KEY",
        {range.prefix, end}, [&](const SqliteRow& row) {
          SqlValue value = row.column(1);
          return fill.stored(std::get<std::string>(row.column(0)), std::move(std::get<std::string>(value)));
        });
    if (!walked) return walked;
    fill.storedEnd();
    page = std::move(fill).finish([&](const std::string& after) -> Result<std::optional<std::string>> {
      Result<SqlValue> key = connection.scalar(
          "SELECT Z_KEY FROM Z_METADATA WHERE Z_KEY > ? AND Z_KEY < ? AND typeof(Z_VALUE) = 'text' "
          "ORDER BY Z_KEY LIMIT 1",
          {after, end});
      if (!key) return key.error();
      if (isNull(*key)) return std::optional<std::string>();
      return std::optional<std::string>(std::get<std::string>(std::move(*key)));
    });
    return page ? Result<void>() : Result<void>(page.error());
  });
  if (!read) return read.error();
  return page;
}

Result<std::map<std::string, std::string>> StoreDatabase::metadataValues(
    const std::vector<std::string>& keys) {
  std::map<std::string, std::string> values;
  Result<void> read = this->read([&](SqliteConnection& connection) {
    return inGroups(keys, [&](const std::vector<SqlValue>& group) {
      return connection.run("SELECT Z_KEY, Z_VALUE FROM Z_METADATA WHERE Z_KEY IN " + valueList(group.size()),
                            group, textCollector(values));
    });
  });
  if (!read) return read.error();
  return values;
}

namespace {

Bytes recordKey(const UUID& record) {
  return Bytes(record.bytes().begin(), record.bytes().end());
}

// Takes rows of a record name and a value into `values`, those whose name is one and whose value is
// bytes.
std::function<void(const SqliteRow&)> recordValueCollector(std::map<UUID, Bytes>& values) {
  return [&values](const SqliteRow& row) {
    SqlValue record = row.column(0);
    SqlValue value = row.column(1);
    const auto* name = std::get_if<Bytes>(&record);
    auto* bytes = std::get_if<Bytes>(&value);
    if (!name || name->size() != UUID::Bytes().size() || !bytes) return;
    UUID::Bytes raw;
    std::copy(name->begin(), name->end(), raw.begin());
    values.emplace(UUID(raw), std::move(*bytes));
  };
}

}  // namespace

Result<std::map<UUID, Bytes>> StoreDatabase::recordMetadata(const std::vector<UUID>& records) {
  std::vector<Bytes> keys;
  keys.reserve(records.size());
  for (const UUID& record : records) keys.push_back(recordKey(record));
  std::map<UUID, Bytes> values;
  Result<void> read = this->read([&](SqliteConnection& connection) {
    return inGroups(keys, [&](const std::vector<SqlValue>& group) {
      return connection.run(
          "SELECT Z_RECORD, Z_VALUE FROM Z_RECORDMETADATA WHERE Z_RECORD IN " + valueList(group.size()),
          group, recordValueCollector(values));
    });
  });
  if (!read) return read.error();
  return values;
}

Result<std::map<UUID, Bytes>> StoreDatabase::allRecordMetadata() {
  std::map<UUID, Bytes> values;
  Result<void> read = this->read([&](SqliteConnection& connection) {
    return connection.run("SELECT Z_RECORD, Z_VALUE FROM Z_RECORDMETADATA", {}, recordValueCollector(values));
  });
  if (!read) return read.error();
  return values;
}

Result<void> StoreDatabase::writeRecordMetadata(const std::map<UUID, std::optional<Bytes>>& values) {
  // Refilled for every record: an import writes one for each record it applies.
  std::vector<SqlValue> written{Bytes(), Bytes()};
  std::vector<SqlValue> removed{Bytes()};
  for (const auto& [record, value] : values) {
    std::vector<SqlValue>& parameters = value ? written : removed;
    std::get<Bytes>(parameters[0]).assign(record.bytes().begin(), record.bytes().end());
    if (value) std::get<Bytes>(parameters[1]).assign(value->begin(), value->end());
    Result<void> done =
        value ? connection_->run("INSERT OR REPLACE INTO Z_RECORDMETADATA (Z_RECORD, Z_VALUE) VALUES (?, ?)",
                                 parameters)
              : connection_->run("DELETE FROM Z_RECORDMETADATA WHERE Z_RECORD = ?", parameters);
    if (!done) return done;
  }
  return {};
}

}  // namespace platform::detail
