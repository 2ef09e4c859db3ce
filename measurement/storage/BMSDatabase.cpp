#include "measurement/storage/BMSDatabase.h"

#include <algorithm>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSDatabaseSchema.h"
#include "measurement/storage/BMSDatabaseSupport.h"
#include "measurement/storage/BMSMeasurementPaths.h"
#include "platform/time/SystemClock.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

platform::Result<std::shared_ptr<BMSDatabase>> BMSDatabase::initWithDatabaseName(
    const std::string& databaseName, std::shared_ptr<const platform::Clock> clock) {
  auto directory = BMSMeasurementDirectoryPath();
  if (!directory)
    return databaseError(DatabaseErrorCode::OpenFailed, "Failed to open database", directory.error());
  return openAtPath(*directory / databaseName, std::move(clock));
}

platform::Result<std::shared_ptr<BMSDatabase>> BMSDatabase::openAtPath(
    const std::filesystem::path& path, std::shared_ptr<const platform::Clock> clock) {
  auto store = BMSSqliteStore::open(path);
  if (!store) return databaseError(DatabaseErrorCode::OpenFailed, "Failed to open database", store.error());
  std::shared_ptr<BMSDatabase> database(new BMSDatabase(
      std::move(store).value(), clock ? std::move(clock) : platform::SystemClock::sharedPointer()));
  if (auto created = database->createSchema(); !created) return created.error();
  if (auto highest = database->store_->integer("SELECT seq FROM sqlite_sequence WHERE name = 'queue'"))
    database->highestQueueRowID_ = *highest;
  database->store_->setFreshFileHandler([raw = database.get()] { raw->startOverInFreshFile(); });
  return database;
}

void BMSDatabase::startOverInFreshFile() {
  forgetKeptRows();
  if (auto created = createSchema(); !created) {
    BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::SchemaFailed), "Failed to create database schema",
           {BMSContextFromError(created.error())});
    return;
  }
  // An upload in flight deletes its rows by ID when it succeeds; it must never hit new rows.
  (void)store_->run("INSERT INTO sqlite_sequence (name, seq) VALUES ('queue', ?)", {highestQueueRowID_});
}

platform::Result<void> BMSDatabase::createSchema() {
  auto version = store_->integer("PRAGMA user_version");
  if (!version)
    return databaseError(DatabaseErrorCode::SchemaFailed, "Failed to read schema version", version.error());
  if (*version > storage::kSchemaVersion) {
    // A newer program wrote this file; writing it with our older idea of the tables could damage it.
    return databaseError(DatabaseErrorCode::SchemaFailed, "Database schema version " +
                                                              std::to_string(*version) + " is newer than " +
                                                              std::to_string(storage::kSchemaVersion));
  }
  auto statements = rawEventsTableRenumbering();
  if (!statements)
    return databaseError(DatabaseErrorCode::SchemaFailed, "Failed to read the schema", statements.error());
  statements->push_back(std::string("CREATE TABLE IF NOT EXISTS raw_events") + storage::kRawEventsColumns);
  statements->insert(statements->end(), std::begin(storage::kCreateTables), std::end(storage::kCreateTables));
  statements->push_back("PRAGMA user_version = " + std::to_string(storage::kSchemaVersion));
  if (auto created = storage::executeAll(*store_, *statements); !created) {
    return databaseError(DatabaseErrorCode::SchemaFailed, "Failed to create database schema",
                         created.error());
  }
  return {};
}

platform::Result<std::vector<std::string>> BMSDatabase::rawEventsTableRenumbering() {
  auto definition =
      store_->scalar("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'raw_events'");
  if (!definition) return definition.error();
  const auto* text = std::get_if<std::string>(&*definition);
  if (!text || text->find("AUTOINCREMENT") == std::string::npos) return std::vector<std::string>();
  // The rows keep their row IDs; the table's indexes go with the old table and are made anew.
  return std::vector<std::string>{
      std::string("CREATE TABLE raw_events_renumbered") + storage::kRawEventsColumns,
      "INSERT INTO raw_events_renumbered SELECT rowid, name, timestamp_ms, metadata_fingerprint, data, "
      "realtime"
      " FROM raw_events",
      "DROP TABLE raw_events", "ALTER TABLE raw_events_renumbered RENAME TO raw_events",
      "DELETE FROM sqlite_sequence WHERE name = 'raw_events'"};
}

platform::Result<BMSDatabase::ReadStamp> BMSDatabase::readStamp() {
  auto dataVersion = store_->dataVersion();
  if (!dataVersion) return dataVersion.error();
  return ReadStamp{store_->undoEpoch(), *dataVersion};
}

void BMSDatabase::forgetKeptRows() {
  if (lastMetadata_) lastMetadata_->storedAt.reset();
  keptDailyCounts_.reset();
  keptAggregates_.clear();
  keptUserAttributes_.reset();
  latestRawEvent_.reset();
  keptUploadDataFacts_.reset();
  keptRawEventCount_.reset();
}

bool BMSDatabase::performTransaction(const std::function<bool()>& block) {
  return store_->performTransaction(block);
}

platform::Result<void> BMSDatabase::reset() {
  forgetKeptRows();
  std::vector<std::string> statements;
  for (const char* table : storage::kDataTables) statements.push_back(std::string("DELETE FROM ") + table);
  statements.push_back("DROP TABLE IF EXISTS events_snapshot");
  statements.push_back(
      "UPDATE app_metadata SET bundle_index = 0, last_bundle_start = 0, last_bundle_end = 0, day = 0,"
      " all_events = 0, public_events = 0, conversions = 0, error_events = 0, realtime_events = 0,"
      " dcu_realtime_events = 0, config_last_fetched = 0, remote_config = NULL");
  if (auto done = storage::executeAll(*store_, statements); !done) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to reset database", done.error());
  }
  return {};
}

platform::Result<std::int64_t> BMSDatabase::maybeDeleteStaleData() {
  const double staleBefore = nowSince1970() - kStaleDataAgeSeconds;
  const std::vector<std::pair<std::string, std::vector<platform::SqlValue>>> deletions = {
      {"DELETE FROM queue WHERE bundle_end_timestamp < ? OR retry_count >= ?",
       {staleBefore, kBundleRetryCountLimit}},
      {"DELETE FROM raw_events WHERE timestamp_ms < ?", {static_cast<std::int64_t>(staleBefore * 1000)}},
      {"DELETE FROM raw_events_metadata WHERE metadata_fingerprint NOT IN"
       " (SELECT DISTINCT metadata_fingerprint FROM raw_events)",
       {}},
      {"DELETE FROM purchases WHERE rowid NOT IN (SELECT rowid FROM purchases ORDER BY created DESC, rowid "
       "DESC"
       " LIMIT ?)",
       {kPurchasesLimit}},
  };
  forgetKeptRows();
  std::int64_t deleted = 0;
  auto done = storage::transact(*store_, [&]() -> platform::Result<void> {
    for (const auto& [sql, parameters] : deletions) {
      if (auto ran = store_->run(sql, parameters); !ran) return ran;
      deleted += store_->changes();
    }
    return {};
  });
  if (!done)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete stale data", done.error());
  return deleted;
}

platform::Result<BMSDailyCounts> BMSDatabase::dailyCounts() {
  auto stamp = readStamp();
  if (!stamp)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read daily counts", stamp.error());
  if (keptDailyCounts_ && keptDailyCounts_->stamp == *stamp) return keptDailyCounts_->counts;
  keptDailyCounts_.reset();
  std::optional<BMSDailyCounts> counts;
  auto read = store_->run(
      "SELECT day, all_events, public_events, conversions, error_events, realtime_events, dcu_realtime_events"
      " FROM app_metadata WHERE id = 1",
      {}, [&](const platform::SqliteRow& row) {
        // Read within bounds, never wrapped: a negative count would lift a limit for as many events.
        auto within = [&](int column, std::int64_t lowest) {
          return static_cast<std::int32_t>(std::clamp<std::int64_t>(row.integer(column), lowest, INT32_MAX));
        };
        auto count = [&](int column) { return within(column, 0); };
        counts =
            BMSDailyCounts(within(0, INT32_MIN), count(1), count(2), count(3), count(4), count(5), count(6));
      });
  if (!read) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read daily counts", read.error());
  keptDailyCounts_ = KeptDailyCounts{counts.value_or(BMSDailyCounts()), *stamp};
  return keptDailyCounts_->counts;
}

platform::Result<void> BMSDatabase::updateDailyCounts(const BMSDailyCounts& counts) {
  // Writing the values the row holds would still add its page to the commit.
  if (auto stamp = readStamp();
      stamp && keptDailyCounts_ && keptDailyCounts_->stamp == *stamp && keptDailyCounts_->counts == counts)
    return {};
  keptDailyCounts_.reset();
  auto written = store_->run(
      "UPDATE app_metadata SET day = ?, all_events = ?, public_events = ?, conversions = ?, error_events = ?,"
      " realtime_events = ?, dcu_realtime_events = ? WHERE id = 1",
      {std::int64_t{counts.day()}, std::int64_t{counts.allEventsCount()},
       std::int64_t{counts.publicEventsCount()}, std::int64_t{counts.conversionsCount()},
       std::int64_t{counts.errorEventsCount()}, std::int64_t{counts.realtimeCount()},
       std::int64_t{counts.dcuRealtimeCount()}});
  if (!written)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write daily counts", written.error());
  // Kept only when the row is there to hold what was written.
  if (store_->changes() == 1) {
    if (auto stamp = readStamp()) keptDailyCounts_ = KeptDailyCounts{counts, *stamp};
  }
  return {};
}

platform::Result<BMSAppMetadata> BMSDatabase::queryAppMetadata() {
  std::optional<BMSAppMetadata> metadata;
  auto read = store_->run(
      "SELECT bundle_index, last_bundle_start, last_bundle_end FROM app_metadata WHERE id = 1", {},
      [&](const platform::SqliteRow& row) {
        std::int64_t index = row.integer(0);
        if (index < 0 || index > INT32_MAX) {
          // Refused, it would stop every bundling for good: the index starts again from
          // 0, as it does after its largest value.
          BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::InvalidRow),
                 "Stored bundle index is out of range. Starting again from 0", {index});
          index = 0;
        }
        metadata = BMSAppMetadata::initWithLastBundleIndex(
            static_cast<std::int32_t>(index), storage::realColumn(row, 1), storage::realColumn(row, 2));
      });
  if (!read) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read app metadata", read.error());
  if (!metadata) {
    return databaseError(DatabaseErrorCode::InvalidRow, "Stored app metadata is invalid");
  }
  return *metadata;
}

platform::Result<void> BMSDatabase::updateAppMetadata(const BMSAppMetadata& metadata) {
  auto written = store_->run(
      "UPDATE app_metadata SET bundle_index = ?, last_bundle_start = ?, last_bundle_end = ? WHERE id = 1",
      {std::int64_t{metadata.lastBundleIndex()}, metadata.lastBundleStartTimestamp(),
       metadata.lastBundleEndTimestamp()});
  if (!written)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write app metadata", written.error());
  return {};
}

platform::Result<void> BMSDatabase::updateRemoteConfigSuccessfulTimestamp(double secondsSince1970) {
  auto written =
      store_->run("UPDATE app_metadata SET config_last_fetched = ? WHERE id = 1", {secondsSince1970});
  if (!written) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write configuration fetch time",
                         written.error());
  }
  return {};
}

platform::Result<double> BMSDatabase::remoteConfigSuccessfulTimestamp() {
  auto value = store_->scalar("SELECT config_last_fetched FROM app_metadata WHERE id = 1");
  if (!value)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read configuration fetch time",
                         value.error());
  return storage::realValue(*value);
}

platform::Result<std::optional<platform::Bytes>> BMSDatabase::storedRemoteConfig() {
  auto value = store_->scalar("SELECT remote_config FROM app_metadata WHERE id = 1");
  if (!value)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read stored configuration", value.error());
  if (auto* bytes = std::get_if<platform::Bytes>(&*value))
    return std::optional<platform::Bytes>(std::move(*bytes));
  return std::optional<platform::Bytes>();
}

platform::Result<void> BMSDatabase::updateStoredRemoteConfig(const std::optional<platform::Bytes>& config) {
  auto written = store_->run("UPDATE app_metadata SET remote_config = ? WHERE id = 1",
                             {config ? platform::SqlValue(*config) : platform::SqlValue()});
  if (!written)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to store configuration", written.error());
  return {};
}

platform::Result<void> BMSDatabase::createEventsSnapshotTable() {
  auto done = storage::executeAll(*store_, {"DROP TABLE IF EXISTS events_snapshot",
                                            "CREATE TABLE events_snapshot AS SELECT * FROM events"});
  if (!done) return databaseError(DatabaseErrorCode::WriteFailed, "Failed to snapshot events", done.error());
  return {};
}

platform::Result<void> BMSDatabase::restoreFromEventsSnapshotTable() {
  auto exists =
      store_->integer("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'events_snapshot'");
  if (!exists)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to restore events", exists.error());
  // Without a snapshot the events stay as they are: replacing them with nothing would lose them.
  if (*exists == 0) return databaseError(DatabaseErrorCode::NoSnapshot, "No events snapshot to restore from");
  auto done =
      storage::executeAll(*store_, {"DELETE FROM events", "INSERT INTO events SELECT * FROM events_snapshot",
                                    "DROP TABLE events_snapshot"});
  if (!done) return databaseError(DatabaseErrorCode::WriteFailed, "Failed to restore events", done.error());
  return {};
}

}  // namespace beacon
