#pragma once
// The measurement database: events, user properties, raw events awaiting bundling, the upload
// queue, daily counters and the stored configuration, in one SQLite file of the measurement
// directory ("corvane-app-measurement.sql" for the engine).
//
// Every operation runs on the caller's queue - the engine's worker queue - and finishes before it
// returns; the object is not meant for two queues at once. Failures come back as errors of the
// 12000 block (the SQLite store's error underneath); reads that find nothing answer an empty
// optional without an error.
//
// Row IDs of the upload queue never repeat, not even after reset(): an upload that was in flight
// during a reset deletes its own rows by ID when it succeeds, and must never hit newer rows that
// reused those IDs. A raw event's row ID is above those of every raw event stored at the time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "measurement/engine/BMSAppMetadata.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSEventAggregates.h"
#include "measurement/engine/BMSRecords.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/messages/NANOMessage.h"
#include "measurement/storage/BCNAConditionalUserProperty.h"
#include "measurement/storage/BMSDailyCounts.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "platform/error/Result.h"
#include "platform/time/Clock.h"
#include "platform/value/Value.h"

namespace beacon {

// The engine's file name for the measurement database.
inline constexpr const char* kBMSMeasurementDatabaseName = "corvane-app-measurement.sql";

class BMSDatabase {
 public:
  // Raw events kept at most; a trim keeps the newest (limit - 1).
  static constexpr std::int64_t kStoredEventsLimit = 100000;
  // Raw events a full table's trim deletes at once (see deleteRawEventsOverAbsoluteLimit).
  static constexpr std::int64_t kRawEventsTrimBatch = 100;
  // Upload attempts counted per queued bundle; a bundle at the cap is stale.
  static constexpr std::int64_t kBundleRetryCountLimit = 1000;
  static constexpr std::int64_t kSubscriptionsLimit = 100;
  static constexpr std::int64_t kPurchasesLimit = 1000;
  // Queued bundles and raw events older than this are deleted as stale.
  static constexpr double kStaleDataAgeSeconds = 60 * 86400.0;
  // Raw-event rows one read hands out at most.
  static constexpr std::int64_t kRawEventsReadLimit = 1000;

  // Opens or creates `databaseName` in the measurement directory.
  static platform::Result<std::shared_ptr<BMSDatabase>> initWithDatabaseName(
      const std::string& databaseName, std::shared_ptr<const platform::Clock> clock = nullptr);
  // Opens or creates the database file at `path` (its folder must exist).
  static platform::Result<std::shared_ptr<BMSDatabase>> openAtPath(
      const std::filesystem::path& path, std::shared_ptr<const platform::Clock> clock = nullptr);

  BMSDatabase(const BMSDatabase&) = delete;
  BMSDatabase& operator=(const BMSDatabase&) = delete;

  // --- transactions

  // Runs `block` inside one exclusive transaction (a savepoint when called inside another): commits
  // when it answers true, rolls back when it answers false. A failed transaction is logged as
  // "Transaction failed. %@". Answers whether the block's work was committed.
  bool performTransaction(const std::function<bool()>& block);
  // performTransaction for writes that come in bursts: several share one transaction, durable once
  // it commits (BMSSqliteStore's grouped transactions); the block's answer says whether its work
  // stored an event. The owner calls commitGroupedTransactions() as soon as no more of them are
  // waiting.
  bool performGroupedTransaction(const std::function<BMSGroupedWork()>& block) {
    return store_->performGroupedTransaction(block);
  }
  void commitGroupedTransactions() { store_->commitGroup(); }
  bool hasUncommittedGroup() const { return store_->groupOpen(); }
  // Runs `reads` (calls of this database that read) taking the file's read lock once for all of them.
  void performReads(const std::function<void()>& reads) { store_->performReads(reads); }
  // Runs `hook` when the enclosing transaction commits (never when it rolls back); at once outside
  // a transaction.
  void onCommit(std::function<void()> hook) { store_->onCommit(std::move(hook)); }

  // --- housekeeping

  // Deletes stale queued bundles (older than the stale age, or at the retry cap), stale raw events,
  // raw-event metadata no raw event refers to any more, and purchases beyond the newest kept ones.
  // Answers the number of rows deleted.
  platform::Result<std::int64_t> maybeDeleteStaleData();
  // Empties every table in place (and drops the events snapshot).
  platform::Result<void> reset();
  // Lets go of the file as the process ends, leaving no journal beside it; later calls work on an
  // empty database in memory (BMSSqliteStore::close).
  void close() { store_->close(); }

  // --- app metadata row

  // Read and written with every stored event: kept from one to the next while nothing else changed
  // them.
  platform::Result<BMSDailyCounts> dailyCounts();
  platform::Result<void> updateDailyCounts(const BMSDailyCounts& counts);
  platform::Result<BMSAppMetadata> queryAppMetadata();
  platform::Result<void> updateAppMetadata(const BMSAppMetadata& metadata);
  // Seconds since 1970 of the last successful configuration fetch; 0 when none.
  platform::Result<void> updateRemoteConfigSuccessfulTimestamp(double secondsSince1970);
  platform::Result<double> remoteConfigSuccessfulTimestamp();
  // The stored configuration message bytes; empty optional when none is stored.
  platform::Result<std::optional<platform::Bytes>> storedRemoteConfig();
  platform::Result<void> updateStoredRemoteConfig(const std::optional<platform::Bytes>& config);

  // --- per-name event aggregates ("events")

  // Empty without an error when the name has no row. Asked for every stored event: rows read are
  // kept until they are written or may have changed otherwise.
  platform::Result<std::optional<BMSEventAggregates>> eventAggregatesWithName(const std::string& name);
  // Insert or replace by name.
  platform::Result<void> updateEventAggregates(const BMSEventAggregates& aggregates);
  platform::Result<std::vector<BMSEventAggregates>> allEventAggregates();
  // Rows whose name does not begin with "_".
  platform::Result<std::int64_t> publicEventCount();
  platform::Result<void> clearCurrentSessionCounts();

  // --- user attributes (the value keeps its kind: int64 1 and double 1.0 stay apart)

  // Empty without an error when absent.
  platform::Result<std::optional<BMSUserAttribute>> userAttributeWithName(const std::string& name);
  platform::Result<bool> containsUserAttributeWithName(const std::string& name);
  // Insert or replace by name. Array values have no stored form and are refused.
  platform::Result<void> updateUserAttribute(const BMSUserAttribute& attribute);
  platform::Result<void> deleteUserAttributeWithName(const std::string& name);
  // Names beginning with "_" only when `includingInternal`; in name order. Read for every stored
  // event: all of them are kept from one read to the next while nothing can have changed them.
  platform::Result<std::vector<BMSUserAttribute>> userAttributesIncludingInternal(bool includingInternal);
  platform::Result<std::int64_t> publicUserAttributeCount();
  platform::Result<std::int64_t> userAttributeCountForOrigin(const std::string& origin);

  // --- events snapshot (kept while analytics storage is denied)

  platform::Result<void> createEventsSnapshotTable();
  // Fails, leaving the events untouched, when there is no snapshot.
  platform::Result<void> restoreFromEventsSnapshotTable();

  // --- upload queue (bundle bytes are the gzip-compressed bundle message)

  // Stores the bundle compressed, with its end time (field 5) and the real-time flag.
  platform::Result<std::int64_t> insertBundle(const BMSPBMeasurementBundle& bundle, bool isRealtime);
  // Bundles in ascending row ID, at most `countLimit`: the first decodable one always, each further
  // one while the running total of encoded sizes stays within `sizeLimit` (the first that would
  // exceed it ends the list). Rows that cannot be inflated or decoded can never be sent: they are
  // deleted, logged, and count against neither limit.
  struct QueuedBundle {
    BMSPBMeasurementBundle bundle;
    std::int64_t rowID = 0;
  };
  platform::Result<std::vector<QueuedBundle>> queryBundlesWithCountLimit(std::int64_t countLimit,
                                                                         std::int64_t sizeLimit);

  platform::Result<void> deleteBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs);
  // Counts already at kBundleRetryCountLimit stay unchanged.
  platform::Result<void> incrementRetryCounterForBundlesWithIDs(const std::vector<std::int64_t>& rowIDs);
  platform::Result<bool> isQueuedBundleTableEmpty();
  // Latest bundle end time, seconds since 1970; 0 when the queue is empty.
  platform::Result<double> queryLatestBundleTime();
  platform::Result<bool> containsRealtimeBundles();

  // --- raw-event metadata: the bundle message a run of raw events shares, under the 64-bit
  // fingerprint of its encoded bytes

  // Stores the bundle unless its fingerprint is stored already; answers the fingerprint. (The same
  // metadata as last time, known to be stored still, is not written again.)
  platform::Result<std::int64_t> insertIfNotExistsRawEventMetadata(const BMSPBMeasurementBundle& metadata);
  platform::Result<std::optional<BMSPBMeasurementBundle>> queryRawEventsMetadataWithFingerprint(
      std::int64_t metadataFingerprint);
  platform::Result<void> deleteRawEventMetadataWithMetadataFingerprint(std::int64_t metadataFingerprint);

  // --- raw events (the event's encoded Event message, keyed by its bundle metadata's fingerprint)

  struct RawEventRow {
    std::int64_t rowID = 0;
    std::string name;
    std::int64_t timestampMilliseconds = 0;
    std::int64_t metadataFingerprint = 0;
    // The stored event's size in bytes, and its bytes (read only once the row is taken).
    std::int64_t dataSize = 0;
    platform::Bytes data;
    bool isRealtime = false;
  };
  platform::Result<std::int64_t> insertRawEvent(const BMSEvent& event, std::int64_t metadataFingerprint,
                                                bool isRealtime);
  // The decoded rows of one fingerprint in ascending row ID, at most kRawEventsReadLimit; `filter`
  // sees each stored row with the number taken so far, before its event's bytes are read (it has
  // their size), and the first false ends the list. A row whose event cannot be read back can never be
  // bundled: it is deleted with a log line and skipped.
  platform::Result<std::vector<BMSRawEventData>> rawEventsWithMetadataFingerprint(
      std::int64_t metadataFingerprint,
      const std::function<bool(const RawEventRow&, std::size_t)>& filter = {});
  // One stored row as a raw-event record; an error when its event cannot be read back.
  static platform::Result<BMSRawEventData> rawEventDataFromRow(const RawEventRow& row);

  // Run before each raw event is stored: keeps the newest (kStoredEventsLimit - 1) raw events, so
  // that the table holds at most kStoredEventsLimit; answers how many were deleted. A full table is
  // trimmed kRawEventsTrimBatch rows at a time, not one row per stored event: in between, up to
  // (kRawEventsTrimBatch - 1) rows past the limit stay in the file, and nothing reads them - the
  // reads here see the newest kStoredEventsLimit rows only, and bundling deletes the rest first.
  platform::Result<std::int64_t> deleteRawEventsOverAbsoluteLimit();
  // Raw events the trims deleted since the database was opened.
  std::int64_t trimmedRawEventCount() const { return trimmedRawEventCount_; }
  // The fingerprint of the oldest raw event; empty when there is none. Bundling starts here, so the
  // rows past the limit a batched trim left are deleted first.
  platform::Result<std::optional<std::int64_t>> nextMetadataFingerprintToProcess();
  platform::Result<void> deleteRawEventsWithMaxRowID(std::int64_t maxRowID);
  platform::Result<void> deleteRawEventWithRowID(std::int64_t rowID);
  // Reads the table up to the first such row (no index: every stored event would pay for one).
  platform::Result<bool> containsRawEventWithMetadataFingerprint(std::int64_t metadataFingerprint);
  platform::Result<bool> isRawEventsTableEmpty();
  // Latest raw-event time, seconds since 1970; 0 when there is none. Asked after every stored
  // event: kept from one read to the next, and read from the table again only once the row holding
  // it may be gone (or another connection wrote).
  platform::Result<double> queryLatestRawEventTime();
  platform::Result<bool> containsRealtimeRawEvents();

  // --- what the upload schedule asks of the raw events and the queue after every stored event

  // The answers of the six reads of the same names.
  struct UploadDataFacts {
    platform::Result<bool> queueEmpty = true;
    platform::Result<double> latestBundleTime = 0.0;
    platform::Result<bool> realtimeBundles = false;
    platform::Result<bool> rawEventsEmpty = true;
    platform::Result<double> latestRawEventTime = 0.0;
    platform::Result<bool> realtimeRawEvents = false;
  };
  // Read once and kept while every read succeeded: a raw event stored here brings the kept answers
  // up to date; any other write of either table, rows undone here and another connection's commit
  // have them read again.
  UploadDataFacts uploadDataFacts();

  // --- audiences of the downloaded configuration, as the definitions the service sent

  struct StoredAudience {
    std::int32_t audienceID = 0;
    platform::Bytes definition;
    friend bool operator==(const StoredAudience&, const StoredAudience&) = default;
  };
  // Replaces every stored audience with these (in one transaction).
  platform::Result<void> replaceAudiences(const std::vector<StoredAudience>& audiences);
  // In audience ID order.
  platform::Result<std::vector<StoredAudience>> audiences();

  // --- conditional user properties (events stored as their raw-event messages)

  // Insert or replace by name. A property without a scalar value is refused.
  platform::Result<void> updateConditionalUserProperty(const BCNAConditionalUserProperty& property);
  // Empty without an error when absent.
  platform::Result<std::optional<BCNAConditionalUserProperty>> conditionalUserPropertyWithName(
      const std::string& name);
  // In name order. Rows that cannot be read back are skipped.
  platform::Result<std::vector<BCNAConditionalUserProperty>> conditionalUserProperties();
  platform::Result<void> deleteConditionalUserPropertyWithName(const std::string& name);

  // --- purchases and subscriptions

  // True when the value was new and is now stored; false when it was stored already.
  platform::Result<bool> insertIfNotDuplicatePurchaseFingerprint(const std::string& fingerprint);
  platform::Result<bool> insertIfNotDuplicateSubscriptionID(const std::string& subscriptionID);
  // Deletes the subscriptions beyond the newest kSubscriptionsLimit; answers how many.
  platform::Result<std::int64_t> deleteSubscriptionsOverLimit();

  // For checks and tests. The rows this class keeps copies of (user attributes, raw events and their
  // metadata, the queue, aggregates, daily counts) change only through it: a write of their tables
  // through the store directly would not be seen by the kept copies (fixed SQL through execute() is).
  BMSSqliteStore& store() { return *store_; }

 private:
  BMSDatabase(std::unique_ptr<BMSSqliteStore> store, std::shared_ptr<const platform::Clock> clock)
      : store_(std::move(store)), clock_(std::move(clock)) {}
  platform::Result<void> createSchema();
  // A damaged file was replaced by an empty one: nothing read before is kept, the tables are made
  // again, and the queue's row IDs go on above every one handed out before.
  void startOverInFreshFile();
  // The statements that rebuild a raw-event table of schema 2 or older (numbered with AUTOINCREMENT)
  // as it is now; none for a table that needs no rebuild or for a new file.
  platform::Result<std::vector<std::string>> rawEventsTableRenumbering();
  double nowSince1970() const { return clock_->now().unixSeconds(); }
  platform::Result<bool> insertIfNotDuplicate(const std::string& table, const std::string& column,
                                              const std::string& value);
  platform::Result<std::int64_t> insertRawEventData(const std::string& name,
                                                    std::int64_t timestampMilliseconds,
                                                    std::int64_t metadataFingerprint,
                                                    const platform::Bytes& data, bool isRealtime);
  // The first row of the fingerprint after `afterRowID`, without its event's bytes; none when there
  // is none.
  platform::Result<std::optional<RawEventRow>> nextRawEventRow(std::int64_t metadataFingerprint,
                                                               std::int64_t afterRowID);
  // The event's bytes of a row `nextRawEventRow` answered.
  platform::Result<void> readRawEventData(RawEventRow& row);
  platform::Result<std::int64_t> insertBundleData(const platform::Bytes& compressedData,
                                                  double endTimestampSeconds, bool isRealtime);
  platform::Result<void> runForRowIDs(const std::string& sqlPrefix, const std::vector<std::int64_t>& rowIDs);

  std::unique_ptr<BMSSqliteStore> store_;
  std::shared_ptr<const platform::Clock> clock_;
  std::int64_t trimmedRawEventCount_ = 0;
  // The highest queue row ID inserted or read through this object.
  std::int64_t highestQueueRowID_ = 0;

  // Copies of rows kept between reads, for what every stored event reads. A copy holds while the
  // stamp of its read is the current one: the store's undo epoch moves when this connection's
  // changes are undone, the file's data version when another connection commits. Writes through
  // this class keep each copy right or drop it.
  struct ReadStamp {
    std::uint64_t undoEpoch = 0;
    std::int64_t dataVersion = 0;
    friend bool operator==(const ReadStamp&, const ReadStamp&) = default;
  };
  platform::Result<ReadStamp> readStamp();

  // The last raw-event metadata stored, encoded, with its fingerprint, and when its row was last
  // known to be in the table (dropped by a deletion that may take it).
  struct EncodedMetadata {
    platform::Bytes encoded;
    std::int64_t fingerprint = 0;
    std::optional<ReadStamp> storedAt;
  };
  std::optional<EncodedMetadata> lastMetadata_;
  struct KeptDailyCounts {
    BMSDailyCounts counts;
    ReadStamp stamp;
  };
  std::optional<KeptDailyCounts> keptDailyCounts_;
  // Aggregates rows as read (never those absent), all of one stamp; a write drops its name.
  std::unordered_map<std::string, BMSEventAggregates> keptAggregates_;
  ReadStamp keptAggregatesStamp_;
  // All user attributes as last read; dropped by every write of them.
  struct KeptUserAttributes {
    std::vector<BMSUserAttribute> all;
    ReadStamp stamp;
  };
  std::optional<KeptUserAttributes> keptUserAttributes_;
  // The newest raw event (the latest time, the newest row among those of that time); no row when the
  // table is empty. Moved on by every insert; dropped by a deletion that may take the row.
  struct LatestRawEvent {
    std::optional<std::int64_t> timestampMilliseconds;
    std::int64_t rowID = 0;
    ReadStamp stamp;
  };
  std::optional<LatestRawEvent> latestRawEvent_;
  // Drops the kept newest raw event when a deletion of the row IDs in [first, last] may take it.
  void forgetLatestRawEventAmong(std::int64_t firstRowID, std::int64_t lastRowID);
  // What the upload schedule asks, as last read; brought up to date by each raw event stored here.
  struct KeptUploadDataFacts {
    UploadDataFacts facts;
    ReadStamp stamp;
  };
  std::optional<KeptUploadDataFacts> keptUploadDataFacts_;
  void keepStoredRawEventInUploadDataFacts(std::int64_t timestampMilliseconds, bool isRealtime);
  // The number of raw events, counted when first asked and kept up to date by every insert and
  // deletion here: the trim asks it with every stored event once the table is full.
  struct KeptRawEventCount {
    std::int64_t count = 0;
    ReadStamp stamp;
  };
  std::optional<KeptRawEventCount> keptRawEventCount_;
  platform::Result<std::int64_t> rawEventCount();
  void countRawEventsChanged(std::int64_t by);
  // The raw events stored beyond the newest `kept` (0 when the row IDs alone show there are not
  // that many), and the deletion of the oldest `count`.
  platform::Result<std::int64_t> rawEventsBeyond(std::int64_t kept);
  platform::Result<std::int64_t> deleteOldestRawEvents(std::int64_t count);
  // Deletes the rows past kStoredEventsLimit that a batched trim left.
  platform::Result<std::int64_t> deleteRawEventsPastTheLimit();
  // The row ID of the oldest of the newest kStoredEventsLimit raw events, the ones the limit keeps
  // in sight (the least row ID there is when that is every row).
  platform::Result<std::int64_t> firstRawEventRowIDInSight();
  // Drops the kept upload answers when the oldest raw events, gone or out of sight, may have held
  // the newest time or a real-time event.
  void forgetUploadDataFactsTheOldestRowsMayHold();
  // Drops every kept copy (a reset, or many rows deleted).
  void forgetKeptRows();
};

}  // namespace beacon
