// Raw events of the measurement database: events stored until they are bundled.
#include <algorithm>
#include <limits>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

platform::Result<std::int64_t> BMSDatabase::insertRawEventData(const std::string& name,
                                                               std::int64_t timestampMilliseconds,
                                                               std::int64_t metadataFingerprint,
                                                               const platform::Bytes& data, bool isRealtime) {
  auto inserted = store_->run(
      "INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data, realtime) VALUES (?, ?, ?, ?, "
      "?)",
      {name, timestampMilliseconds, metadataFingerprint, data, std::int64_t{isRealtime ? 1 : 0}});
  if (!inserted)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to store raw event", inserted.error());
  const std::int64_t rowID = store_->lastInsertRowID();
  countRawEventsChanged(1);
  if (latestRawEvent_ && (!latestRawEvent_->timestampMilliseconds ||
                          timestampMilliseconds >= *latestRawEvent_->timestampMilliseconds)) {
    latestRawEvent_->timestampMilliseconds = timestampMilliseconds;
    latestRawEvent_->rowID = rowID;
  }
  if (keptRawEventCount_ && keptRawEventCount_->count > kStoredEventsLimit) {
    // The oldest row still in sight has just left it, as the trim would have deleted it.
    if (latestRawEvent_ && latestRawEvent_->rowID != rowID) latestRawEvent_.reset();
    forgetUploadDataFactsTheOldestRowsMayHold();
  }
  keepStoredRawEventInUploadDataFacts(timestampMilliseconds, isRealtime);
  return rowID;
}

void BMSDatabase::forgetLatestRawEventAmong(std::int64_t firstRowID, std::int64_t lastRowID) {
  if (latestRawEvent_ && latestRawEvent_->timestampMilliseconds && latestRawEvent_->rowID >= firstRowID &&
      latestRawEvent_->rowID <= lastRowID) {
    latestRawEvent_.reset();
  }
}

platform::Result<std::int64_t> BMSDatabase::firstRawEventRowIDInSight() {
  // Only the rows past the limit are walked, from the table's oldest end: fewer than a trim's batch.
  auto beyond = rawEventsBeyond(kStoredEventsLimit);
  if (!beyond) return beyond.error();
  if (*beyond == 0) return std::numeric_limits<std::int64_t>::min();
  return store_->integer("SELECT rowid FROM raw_events ORDER BY rowid ASC LIMIT 1 OFFSET ?", {*beyond});
}

platform::Result<std::int64_t> BMSDatabase::rawEventCount() {
  auto stamp = readStamp();
  if (!stamp) return stamp.error();
  if (keptRawEventCount_ && keptRawEventCount_->stamp == *stamp) return keptRawEventCount_->count;
  keptRawEventCount_.reset();
  auto stored = store_->integer("SELECT count(*) FROM raw_events");
  if (!stored) return stored.error();
  keptRawEventCount_ = KeptRawEventCount{*stored, *stamp};
  return *stored;
}

void BMSDatabase::countRawEventsChanged(std::int64_t by) {
  if (keptRawEventCount_) keptRawEventCount_->count += by;
}

platform::Result<std::int64_t> BMSDatabase::rawEventsBeyond(std::int64_t kept) {
  // Runs with every stored event, so no case may read the whole table: the count kept since it was
  // last read tells how many rows there are. Without it, the row IDs read off both ends of the table
  // tell whether there can be too many before the table is counted. (Two subqueries: SQLite reads a
  // lone min() or max() of the row ID off the table's end.)
  auto stamp = readStamp();
  if (!stamp) return stamp.error();
  if (!keptRawEventCount_ || keptRawEventCount_->stamp != *stamp) {
    auto span = store_->integer(
        "SELECT (SELECT max(rowid) FROM raw_events) - (SELECT min(rowid) FROM raw_events) + 1");
    if (!span) return span.error();
    if (*span <= kept) return std::int64_t{0};
  }
  auto stored = rawEventCount();
  if (!stored) return stored.error();
  return std::max<std::int64_t>(*stored - kept, 0);
}

platform::Result<std::int64_t> BMSDatabase::deleteOldestRawEvents(std::int64_t count) {
  // One statement, which passes over only the rows it deletes: the oldest ones.
  std::int64_t deleted = 0;
  std::int64_t lastDeleted = std::numeric_limits<std::int64_t>::min();
  auto trimmed = store_->run(
      "DELETE FROM raw_events WHERE rowid <= (SELECT rowid FROM raw_events ORDER BY rowid ASC LIMIT 1 OFFSET "
      "?)"
      " RETURNING rowid",
      {count - 1}, [&](const platform::SqliteRow& row) {
        ++deleted;
        lastDeleted = std::max(lastDeleted, row.integer(0));
      });
  if (!trimmed) return trimmed.error();
  forgetLatestRawEventAmong(std::numeric_limits<std::int64_t>::min(), lastDeleted);
  forgetUploadDataFactsTheOldestRowsMayHold();
  countRawEventsChanged(-deleted);
  trimmedRawEventCount_ += deleted;
  return deleted;
}

void BMSDatabase::forgetUploadDataFactsTheOldestRowsMayHold() {
  // The answers stay as they were while the newest raw event is known to stay and no real-time raw
  // event may have gone.
  const bool factsMayChange = !latestRawEvent_ || !latestRawEvent_->timestampMilliseconds ||
                              !keptUploadDataFacts_ || !keptUploadDataFacts_->facts.realtimeRawEvents ||
                              *keptUploadDataFacts_->facts.realtimeRawEvents;
  if (factsMayChange) keptUploadDataFacts_.reset();
}

platform::Result<std::int64_t> BMSDatabase::deleteRawEventsOverAbsoluteLimit() {
  const auto failed = [](const platform::Error& error) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to trim raw events", error);
  };
  // A full table would otherwise lose its oldest row with every stored event: one more page written
  // in every commit. In batches, the rows past the limit wait for the batch, out of every read's
  // sight (see firstRawEventRowIDInSight).
  auto excess = rawEventsBeyond(kStoredEventsLimit - 1);
  if (!excess) return failed(excess.error());
  if (*excess < kRawEventsTrimBatch) return std::int64_t{0};
  auto deleted = deleteOldestRawEvents(*excess);
  if (!deleted) return failed(deleted.error());
  return deleted;
}

platform::Result<std::int64_t> BMSDatabase::deleteRawEventsPastTheLimit() {
  auto excess = rawEventsBeyond(kStoredEventsLimit);
  if (!excess) return excess.error();
  if (*excess == 0) return std::int64_t{0};
  return deleteOldestRawEvents(*excess);
}

platform::Result<std::optional<std::int64_t>> BMSDatabase::nextMetadataFingerprintToProcess() {
  // Bundling starts here: the rows a batched trim left past the limit go first.
  if (auto trimmed = deleteRawEventsPastTheLimit(); !trimmed)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to trim raw events", trimmed.error());
  for (;;) {
    std::optional<std::int64_t> rowID;
    platform::SqlValue fingerprint;
    auto oldest = store_->run("SELECT rowid, metadata_fingerprint FROM raw_events ORDER BY rowid ASC LIMIT 1",
                              {}, [&](const platform::SqliteRow& row) {
                                rowID = row.integer(0);
                                fingerprint = row.column(1);
                              });
    if (!oldest)
      return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", oldest.error());
    if (!rowID) return std::optional<std::int64_t>();
    if (const auto* integer = std::get_if<std::int64_t>(&fingerprint))
      return std::optional<std::int64_t>(*integer);
    // No run of events is read under a fingerprint that is not an integer: kept, the row would stay
    // the oldest and hide every later event from bundling.
    BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::InvalidRow),
           "Deleting a raw event that cannot be read", {*rowID});
    if (auto deleted = deleteRawEventWithRowID(*rowID); !deleted) return deleted.error();
  }
}

platform::Result<std::optional<BMSDatabase::RawEventRow>> BMSDatabase::nextRawEventRow(
    std::int64_t metadataFingerprint, std::int64_t afterRowID) {
  std::optional<RawEventRow> found;
  auto read = store_->run(
      // length() reads the size off the record, not the bytes: a row the filter refuses, often one
      // of hundreds of kilobytes, is never read.
      "SELECT rowid, name, timestamp_ms, metadata_fingerprint, length(data), realtime FROM raw_events"
      " WHERE rowid > ? AND metadata_fingerprint = ? ORDER BY rowid ASC LIMIT 1",
      {afterRowID, metadataFingerprint}, [&](const platform::SqliteRow& sqlRow) {
        RawEventRow row;
        row.rowID = sqlRow.integer(0);
        if (auto name = sqlRow.column(1); auto* text = std::get_if<std::string>(&name))
          row.name = std::move(*text);
        row.timestampMilliseconds = sqlRow.integer(2);
        row.metadataFingerprint = sqlRow.integer(3);
        row.dataSize = sqlRow.integer(4);
        row.isRealtime = sqlRow.integer(5) != 0;
        found = std::move(row);
      });
  if (!read) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", read.error());
  return found;
}

platform::Result<void> BMSDatabase::readRawEventData(RawEventRow& row) {
  auto stored = store_->scalar("SELECT data FROM raw_events WHERE rowid = ?", {row.rowID});
  if (!stored)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", stored.error());
  if (auto* bytes = std::get_if<platform::Bytes>(&*stored)) row.data = std::move(*bytes);
  return {};
}

platform::Result<void> BMSDatabase::deleteRawEventsWithMaxRowID(std::int64_t maxRowID) {
  forgetLatestRawEventAmong(std::numeric_limits<std::int64_t>::min(), maxRowID);
  keptUploadDataFacts_.reset();
  if (auto deleted = store_->run("DELETE FROM raw_events WHERE rowid <= ?", {maxRowID}); !deleted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete raw events", deleted.error());
  }
  countRawEventsChanged(-store_->changes());
  return {};
}

platform::Result<void> BMSDatabase::deleteRawEventWithRowID(std::int64_t rowID) {
  forgetLatestRawEventAmong(rowID, rowID);
  keptUploadDataFacts_.reset();
  if (auto deleted = store_->run("DELETE FROM raw_events WHERE rowid = ?", {rowID}); !deleted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete raw event", deleted.error());
  }
  countRawEventsChanged(-store_->changes());
  return {};
}

platform::Result<bool> BMSDatabase::containsRawEventWithMetadataFingerprint(
    std::int64_t metadataFingerprint) {
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM raw_events WHERE metadata_fingerprint = ?)",
                             {metadataFingerprint});
  if (!any) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", any.error());
  return *any != 0;
}

platform::Result<bool> BMSDatabase::isRawEventsTableEmpty() {
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM raw_events)");
  if (!any) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", any.error());
  return *any == 0;
}

platform::Result<double> BMSDatabase::queryLatestRawEventTime() {
  auto stamp = readStamp();
  if (!stamp) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", stamp.error());
  if (!latestRawEvent_ || latestRawEvent_->stamp != *stamp) {
    latestRawEvent_.reset();
    LatestRawEvent latest{std::nullopt, 0, *stamp};
    // Reads the whole table: the rows are in row ID order, not in time order.
    auto firstInSight = firstRawEventRowIDInSight();
    if (!firstInSight)
      return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", firstInSight.error());
    auto read = store_->run(
        "SELECT timestamp_ms, rowid FROM raw_events WHERE rowid >= ? ORDER BY timestamp_ms DESC, rowid DESC"
        " LIMIT 1",
        {*firstInSight}, [&](const platform::SqliteRow& row) {
          latest.timestampMilliseconds = row.integer(0);
          latest.rowID = row.integer(1);
        });
    if (!read) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", read.error());
    latestRawEvent_ = latest;
  }
  return static_cast<double>(latestRawEvent_->timestampMilliseconds.value_or(0)) / 1000;
}

platform::Result<bool> BMSDatabase::containsRealtimeRawEvents() {
  auto firstInSight = firstRawEventRowIDInSight();
  if (!firstInSight)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", firstInSight.error());
  // The real-time rows' own index answers this.
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM raw_events WHERE realtime != 0 AND rowid >= ?)",
                             {*firstInSight});
  if (!any) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw events", any.error());
  return *any != 0;
}

platform::Result<std::int64_t> BMSDatabase::insertIfNotExistsRawEventMetadata(
    const BMSPBMeasurementBundle& metadata) {
  std::optional<platform::Bytes> encoded = metadata.protoBuffer();
  if (!encoded) return databaseError(DatabaseErrorCode::InvalidRow, "Failed to encode raw-event metadata");
  // Events in a row nearly always share their metadata: its digest is worked out, and its row
  // written, once per change.
  if (!lastMetadata_ || lastMetadata_->encoded != *encoded)
    lastMetadata_ = EncodedMetadata{*encoded, BMS64LSBMD5(*encoded), std::nullopt};
  const std::int64_t fingerprint = lastMetadata_->fingerprint;
  auto stamp = readStamp();
  if (stamp && lastMetadata_->storedAt == *stamp) return fingerprint;
  lastMetadata_->storedAt.reset();
  auto inserted =
      store_->run("INSERT OR IGNORE INTO raw_events_metadata (metadata_fingerprint, metadata) VALUES (?, ?)",
                  {fingerprint, std::move(*encoded)});
  if (!inserted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to store raw-event metadata",
                         inserted.error());
  }
  if (stamp) lastMetadata_->storedAt = *stamp;
  return fingerprint;
}

platform::Result<std::optional<BMSPBMeasurementBundle>> BMSDatabase::queryRawEventsMetadataWithFingerprint(
    std::int64_t metadataFingerprint) {
  auto stored = store_->scalar("SELECT metadata FROM raw_events_metadata WHERE metadata_fingerprint = ?",
                               {metadataFingerprint});
  if (!stored)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read raw-event metadata", stored.error());
  const auto* bytes = std::get_if<platform::Bytes>(&*stored);
  if (!bytes) return std::optional<BMSPBMeasurementBundle>();
  std::optional<BMSPBMeasurementBundle> metadata = BMSPBMeasurementBundle::initWithBuffer(*bytes);
  if (!metadata)
    return databaseError(DatabaseErrorCode::InvalidRow, "Stored raw-event metadata cannot be decoded");
  return metadata;
}

platform::Result<void> BMSDatabase::deleteRawEventMetadataWithMetadataFingerprint(
    std::int64_t metadataFingerprint) {
  if (lastMetadata_ && lastMetadata_->fingerprint == metadataFingerprint) lastMetadata_->storedAt.reset();
  auto deleted =
      store_->run("DELETE FROM raw_events_metadata WHERE metadata_fingerprint = ?", {metadataFingerprint});
  if (!deleted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete raw-event metadata",
                         deleted.error());
  }
  return {};
}

platform::Result<std::int64_t> BMSDatabase::insertRawEvent(const BMSEvent& event,
                                                           std::int64_t metadataFingerprint,
                                                           bool isRealtime) {
  const BMSPBEvent proto = event.protoEvent();
  const std::optional<platform::Bytes> data = proto.protoBuffer();
  if (!data)
    return databaseError(DatabaseErrorCode::InvalidRow, "Failed to encode raw event: " + event.name());
  return insertRawEventData(event.name(), NANOGetInt64(proto, EventField::kTimestampMillis),
                            metadataFingerprint, *data, isRealtime);
}

platform::Result<BMSRawEventData> BMSDatabase::rawEventDataFromRow(const RawEventRow& row) {
  const std::optional<BMSPBEvent> proto = BMSPBEvent::initWithBuffer(row.data);
  const std::optional<BMSEvent> event = proto ? BMSEvent::initWithEventProto(*proto) : std::nullopt;
  std::optional<BMSRawEventData> data =
      BMSRawEventData::initWithRawEvent(event, row.rowID, row.metadataFingerprint);
  if (!data) {
    return databaseError(DatabaseErrorCode::InvalidRow, "Stored raw event cannot be read back: " + row.name);
  }
  return std::move(*data);
}

platform::Result<std::vector<BMSRawEventData>> BMSDatabase::rawEventsWithMetadataFingerprint(
    std::int64_t metadataFingerprint, const std::function<bool(const RawEventRow&, std::size_t)>& filter) {
  // Row by row, each offered to the filter before its event is decoded: the filter usually ends the
  // list long before the read limit, and rows can be large (an event with hundreds of items).
  std::vector<BMSRawEventData> events;
  std::int64_t after = std::numeric_limits<std::int64_t>::min();
  for (std::int64_t read = 0; read < kRawEventsReadLimit; ++read) {
    auto row = nextRawEventRow(metadataFingerprint, after);
    if (!row) return row.error();
    if (!*row) break;
    after = (*row)->rowID;
    if (filter && !filter(**row, events.size())) break;
    if (auto read = readRawEventData(**row); !read) return read.error();
    auto data = rawEventDataFromRow(**row);
    if (!data) {
      BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::InvalidRow),
             "Deleting a raw event that cannot be read", {after});
      (void)deleteRawEventWithRowID(after);
      continue;
    }
    events.push_back(std::move(data).value());
  }
  return events;
}

}  // namespace beacon
