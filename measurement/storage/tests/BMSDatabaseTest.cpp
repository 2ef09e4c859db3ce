#include "measurement/storage/BMSDatabase.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/tests/StorageTestSupport.h"

namespace beacon {
namespace {

class BMSDatabaseTest : public ::testing::Test, protected testing::DatabaseFixture {
 protected:
  std::int64_t queue(double endTimestamp, bool realtime = false) {
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetInt64(bundle, MeasurementBundleField::kEndTimestampMillis,
                 static_cast<std::int64_t>(endTimestamp * 1000));
    return database->insertBundle(bundle, realtime).value();
  }
  std::vector<std::int64_t> queuedRowIDs(std::int64_t limit = 100) {
    std::vector<std::int64_t> ids;
    const auto bundles = database->queryBundlesWithCountLimit(limit, 1 << 20).value();
    for (const auto& queued : bundles) ids.push_back(queued.rowID);
    return ids;
  }
  double now() const { return clock->now().unixSeconds(); }
  static BMSEvent event(const std::string& name, double timestamp, BMSParameters parameters = {}) {
    return BMSEvent::initWithOrigin("app", true, name, timestamp, 0, parameters).value();
  }
};

TEST_F(BMSDatabaseTest, CountersAndMetadataSurviveAReopen) {
  ASSERT_TRUE(database->updateDailyCounts(BMSDailyCounts(19000, 5, 4, 3, 2, 1, 1)));
  auto metadata = BMSAppMetadata::initWithLastBundleIndex(41, 10.5, 20.25).value();
  metadata.incrementLastBundleIndex();
  ASSERT_TRUE(database->updateAppMetadata(metadata));
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(1234.5));
  ASSERT_TRUE(database->updateStoredRemoteConfig(platform::Bytes{9, 8}));

  reopen();
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts(19000, 5, 4, 3, 2, 1, 1));
  EXPECT_EQ(database->queryAppMetadata().value(), metadata);
  EXPECT_EQ(database->queryAppMetadata()->lastBundleIndex(), 42);
  EXPECT_EQ(database->remoteConfigSuccessfulTimestamp().value(), 1234.5);
  EXPECT_EQ(database->storedRemoteConfig().value(), (platform::Bytes{9, 8}));
}

TEST_F(BMSDatabaseTest, DamagedDailyCountsReadAsZeroOrAsAReachedLimitNeverAsNegative) {
  // Negative counts would lift a day's limits for as many events; wrapped ones would too.
  ASSERT_TRUE(database->store().execute(
      "UPDATE app_metadata SET day = 19000, all_events = -5, public_events = 4294967297,"
      " conversions = -2147483648, error_events = 2147483648, realtime_events = 'many',"
      " dcu_realtime_events = 3 WHERE id = 1"));
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts(19000, 0, INT32_MAX, 0, INT32_MAX, 0, 3));

  // A day that does not fit is no day the clock can name, so its counts start again.
  ASSERT_TRUE(database->store().execute("UPDATE app_metadata SET day = 4294986296 WHERE id = 1"));
  EXPECT_NE(database->dailyCounts()->day(), 19000);
}

TEST_F(BMSDatabaseTest, ABundleIndexOutsideItsRangeStartsAgainFromZeroInsteadOfStoppingBundling) {
  for (const char* index : {"-5", "2147483648", "'x'"}) {
    ASSERT_TRUE(database->store().execute(std::string("UPDATE app_metadata SET bundle_index = ") + index +
                                          ", last_bundle_start = 10, last_bundle_end = 20 WHERE id = 1"));
    auto metadata = database->queryAppMetadata();
    ASSERT_TRUE(metadata) << index;
    EXPECT_EQ(*metadata, BMSAppMetadata::initWithLastBundleIndex(0, 10, 20).value()) << index;
  }
}

TEST_F(BMSDatabaseTest, AFreshDatabaseAnswersZerosAndNoConfiguration) {
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts());
  EXPECT_EQ(database->queryAppMetadata()->lastBundleIndex(), 0);
  EXPECT_EQ(database->remoteConfigSuccessfulTimestamp().value(), 0);
  EXPECT_FALSE(database->storedRemoteConfig().value());
  EXPECT_TRUE(database->isQueuedBundleTableEmpty().value());
  EXPECT_EQ(database->queryLatestBundleTime().value(), 0);
}

TEST_F(BMSDatabaseTest, RefusesAFileWrittenByANewerSchema) {
  ASSERT_TRUE(database->store().execute("PRAGMA user_version = 99"));
  database.reset();
  auto opened = BMSDatabase::openAtPath(path(), clock);
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().domain, BMSErrorDomain());
  EXPECT_EQ(opened.error().code, 12002);
}

TEST_F(BMSDatabaseTest, QueueRowIDsNeverRepeatAfterAReset) {
  const std::int64_t inFlight = queue(now());
  ASSERT_TRUE(database->reset());
  const std::int64_t fresh = queue(now());
  EXPECT_GT(fresh, inFlight);
  // The upload that was in flight during the reset succeeds and deletes its own rows only.
  ASSERT_TRUE(database->deleteBundlesWithRowIDs({inFlight}));
  EXPECT_FALSE(database->isQueuedBundleTableEmpty().value());
}

TEST_F(BMSDatabaseTest, ResetEmptiesEveryTableAndDropsTheSnapshot) {
  queue(now(), true);
  ASSERT_TRUE(database->insertIfNotDuplicatePurchaseFingerprint("p"));
  ASSERT_TRUE(database->updateDailyCounts(BMSDailyCounts(3, 1, 1, 1, 1, 1, 1)));
  ASSERT_TRUE(database->store().execute("INSERT INTO events (name, lifetime_count) VALUES ('e', 2)"));
  ASSERT_TRUE(database->createEventsSnapshotTable());

  ASSERT_TRUE(database->reset());
  EXPECT_TRUE(database->isQueuedBundleTableEmpty().value());
  EXPECT_EQ(count("SELECT count(*) FROM events"), 0);
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts());
  EXPECT_TRUE(database->insertIfNotDuplicatePurchaseFingerprint("p").value());
  EXPECT_FALSE(database->restoreFromEventsSnapshotTable());
}

TEST_F(BMSDatabaseTest, SnapshotRestoresTheEventsAndAMissingSnapshotLeavesThemAlone) {
  ASSERT_TRUE(database->store().execute("INSERT INTO events (name, lifetime_count) VALUES ('kept', 5)"));
  auto missing = database->restoreFromEventsSnapshotTable();
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, 12005);
  EXPECT_EQ(count("SELECT count(*) FROM events"), 1);

  ASSERT_TRUE(database->createEventsSnapshotTable());
  ASSERT_TRUE(database->store().execute("DELETE FROM events"));
  ASSERT_TRUE(database->restoreFromEventsSnapshotTable());
  EXPECT_EQ(count("SELECT lifetime_count FROM events WHERE name = 'kept'"), 5);
  EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE name = 'events_snapshot'"), 0);
}

TEST_F(BMSDatabaseTest, QueueReadsInRowOrderUpToTheLimitAndKnowsItsLatestAndRealtimeRows) {
  queue(now() - 30);
  queue(now() - 10);
  EXPECT_FALSE(database->containsRealtimeBundles().value());
  const std::int64_t realtime = queue(now() - 20, true);
  EXPECT_TRUE(database->containsRealtimeBundles().value());
  EXPECT_EQ(database->queryLatestBundleTime().value(), now() - 10);

  auto rows = queuedRowIDs(2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_LT(rows[0], rows[1]);
  ASSERT_TRUE(database->deleteBundlesWithRowIDs({rows[0], rows[1], 9999}));
  EXPECT_EQ(queuedRowIDs(), std::vector<std::int64_t>{realtime});
  ASSERT_TRUE(database->deleteBundlesWithRowIDs({}));
}

TEST_F(BMSDatabaseTest, RetryCountStopsAtTheCapAndSuchBundlesAreStale) {
  const std::int64_t capped = queue(now());
  const std::int64_t fresh = queue(now());
  ASSERT_TRUE(database->store().run("UPDATE queue SET retry_count = ? WHERE rowid = ?",
                                    {BMSDatabase::kBundleRetryCountLimit - 1, capped}));
  ASSERT_TRUE(database->incrementRetryCounterForBundlesWithIDs({capped, fresh}));
  ASSERT_TRUE(database->incrementRetryCounterForBundlesWithIDs({capped}));
  EXPECT_EQ(database->store().integer("SELECT retry_count FROM queue WHERE rowid = ?", {capped}).value(),
            BMSDatabase::kBundleRetryCountLimit);
  EXPECT_EQ(database->store().integer("SELECT retry_count FROM queue WHERE rowid = ?", {fresh}).value(), 1);

  EXPECT_EQ(database->maybeDeleteStaleData().value(), 1);
  EXPECT_EQ(queuedRowIDs(), std::vector<std::int64_t>{fresh});
}

TEST_F(BMSDatabaseTest, StaleDataGoesAfterSixtyDaysWithOrphanedMetadataAndOldPurchases) {
  database->performTransaction([&] {
    for (int i = 0; i < BMSDatabase::kPurchasesLimit + 2; ++i) {
      clock->advanceWall(std::chrono::seconds(1));
      EXPECT_TRUE(database->insertIfNotDuplicatePurchaseFingerprint("p" + std::to_string(i)).value());
    }
    return true;
  });
  queue(now() - BMSDatabase::kStaleDataAgeSeconds - 1);
  queue(now() - BMSDatabase::kStaleDataAgeSeconds + 1);
  ASSERT_TRUE(
      database->store().execute("INSERT INTO raw_events_metadata VALUES (1, x'00'), (2, x'00');"
                                "INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) "
                                "VALUES ('old', 1000, 1, x'00');"));
  ASSERT_TRUE(database->store().run(
      "INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) VALUES ('new', ?, 2, x'00')",
      {static_cast<std::int64_t>(now() * 1000)}));

  // One queued bundle, one raw event, the metadata row only it used, the two oldest purchases.
  EXPECT_EQ(database->maybeDeleteStaleData().value(), 5);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events_metadata"), 1);
  EXPECT_TRUE(database->insertIfNotDuplicatePurchaseFingerprint("p0").value());
  EXPECT_FALSE(database->insertIfNotDuplicatePurchaseFingerprint("p5").value());
}

TEST_F(BMSDatabaseTest, DuplicateFingerprintsAndSubscriptionsAreRecognisedAndTheNewestKept) {
  EXPECT_TRUE(database->insertIfNotDuplicatePurchaseFingerprint("it's").value());
  EXPECT_FALSE(database->insertIfNotDuplicatePurchaseFingerprint("it's").value());
  database->performTransaction([&] {
    for (int i = 0; i < BMSDatabase::kSubscriptionsLimit + 3; ++i) {
      clock->advanceWall(std::chrono::seconds(1));
      EXPECT_TRUE(database->insertIfNotDuplicateSubscriptionID("s" + std::to_string(i)).value());
    }
    return true;
  });
  EXPECT_FALSE(database->insertIfNotDuplicateSubscriptionID("s7").value());
  EXPECT_EQ(database->deleteSubscriptionsOverLimit().value(), 3);
  EXPECT_EQ(database->deleteSubscriptionsOverLimit().value(), 0);
  EXPECT_TRUE(database->insertIfNotDuplicateSubscriptionID("s0").value());
}

TEST_F(BMSDatabaseTest, AudiencesAreReplacedAsAWholeAndEmptiedByAReset) {
  using Audience = BMSDatabase::StoredAudience;
  ASSERT_TRUE(database->replaceAudiences({{2, {2}}, {1, {}}}));
  EXPECT_EQ(database->audiences().value(), (std::vector<Audience>{{1, {}}, {2, {2}}}));
  ASSERT_TRUE(database->replaceAudiences({{3, {3}}}));
  EXPECT_EQ(database->audiences().value(), (std::vector<Audience>{{3, {3}}}));
  ASSERT_TRUE(database->reset());
  EXPECT_TRUE(database->audiences()->empty());
}

TEST_F(BMSDatabaseTest, ARolledBackTransactionLeavesNoPartialRows) {
  const bool committed = database->performTransaction([&] {
    EXPECT_TRUE(database->updateDailyCounts(BMSDailyCounts(1, 1, 1, 1, 1, 1, 1)));
    queue(now());
    return false;
  });
  EXPECT_FALSE(committed);
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts());
  EXPECT_TRUE(database->isQueuedBundleTableEmpty().value());
}

TEST_F(BMSDatabaseTest, RawEventsAreReadPerFingerprintInRowOrderUntilTheFilterStops) {
  EXPECT_FALSE(database->nextMetadataFingerprintToProcess().value());
  EXPECT_TRUE(database->isRawEventsTableEmpty().value());
  EXPECT_EQ(database->queryLatestRawEventTime().value(), 0);
  const std::int64_t first = database->insertRawEvent(event("a", 5), 7, false).value();
  database->insertRawEvent(event("b", 9), 8, true).value();
  database->insertRawEvent(event("c", 7, {{"value", platform::Value(2.5)}}), 7, false).value();
  EXPECT_EQ(database->nextMetadataFingerprintToProcess().value(), 7);
  EXPECT_EQ(database->queryLatestRawEventTime().value(), 9);
  EXPECT_TRUE(database->containsRealtimeRawEvents().value());
  EXPECT_TRUE(database->containsRawEventWithMetadataFingerprint(8).value());

  auto rows = database->rawEventsWithMetadataFingerprint(7).value();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rowID(), first);
  EXPECT_EQ(rows[0].rawEvent().name(), "a");
  EXPECT_EQ(rows[1].rawEvent().parameters().at("value"), BMSValue::initWithDouble(2.5));
  EXPECT_EQ(rows[1].metadataFingerprint(), 7);
  auto firstOnly =
      database->rawEventsWithMetadataFingerprint(7, [](const auto&, std::size_t index) { return index < 1; });
  EXPECT_EQ(firstOnly.value().size(), 1u);

  ASSERT_TRUE(database->deleteRawEventsWithMaxRowID(first));
  EXPECT_EQ(database->nextMetadataFingerprintToProcess().value(), 8);
}

// A refused row can be far larger than the ones taken (an event with hundreds of items): the filter
// decides on its size before its bytes are read, and only the rows taken are read and decoded.
TEST_F(BMSDatabaseTest, TheFilterSeesEachRowsSizeBeforeItsBytesAreRead) {
  const BMSEvent first = event("first", 5, {{"note", platform::Value("kurz")}});
  const BMSEvent second = event("second", 6, {{"text", platform::Value(std::string(90, 'x'))}});
  database->insertRawEvent(first, 7, false).value();
  database->insertRawEvent(second, 7, false).value();
  const auto encodedSize = [](const BMSEvent& stored) {
    return static_cast<std::int64_t>(stored.protoEvent().protoBuffer()->size());
  };
  std::vector<std::pair<std::int64_t, std::size_t>> seen;
  const auto rows =
      database
          ->rawEventsWithMetadataFingerprint(7,
                                             [&](const BMSDatabase::RawEventRow& row, std::size_t) {
                                               seen.emplace_back(row.dataSize, row.data.size());
                                               return row.dataSize < encodedSize(second);
                                             })
          .value();
  EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::size_t>>{{encodedSize(first), 0},
                                                                     {encodedSize(second), 0}}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rawEvent().parameters(), first.parameters());
}

// The newest time is kept between reads: it must follow every change of the table.
TEST_F(BMSDatabaseTest, TheKeptLatestRawEventTimeFollowsEveryChangeOfTheTable) {
  const auto latest = [&] { return database->queryLatestRawEventTime().value(); };
  EXPECT_EQ(latest(), 0);
  const std::int64_t newest = database->insertRawEvent(event("a", 9), 7, false).value();
  EXPECT_EQ(latest(), 9);
  // Times need not grow with row IDs (the clock was set back).
  const std::int64_t earlier = database->insertRawEvent(event("b", 5), 7, false).value();
  database->insertRawEvent(event("c", 7), 7, false).value();
  ASSERT_TRUE(database->deleteRawEventWithRowID(earlier));
  EXPECT_EQ(latest(), 9);
  ASSERT_TRUE(database->deleteRawEventsWithMaxRowID(newest));
  EXPECT_EQ(latest(), 7);

  EXPECT_FALSE(database->performTransaction([&] {
    EXPECT_TRUE(database->insertRawEvent(event("d", 20), 7, false));
    EXPECT_EQ(latest(), 20);
    return false;
  }));
  EXPECT_EQ(latest(), 7);
  auto other = BMSDatabase::openAtPath(path(), clock).value();
  const std::int64_t written = other->insertRawEvent(event("e", 30), 7, false).value();
  EXPECT_EQ(latest(), 30);
  ASSERT_TRUE(database->deleteRawEventWithRowID(written));
  EXPECT_EQ(latest(), 7);

  // The oldest rows leave the limit's sight and then go with the trim's batch, here the one of the
  // newest time.
  ASSERT_TRUE(database->insertRawEvent(event("f", 1e6), 7, false));
  EXPECT_EQ(latest(), 1e6);
  ASSERT_TRUE(database->store().execute(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(BMSDatabase::kStoredEventsLimit + BMSDatabase::kRawEventsTrimBatch - 2) +
      ") INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) SELECT 'g', 100000, 7, x'00'"
      " FROM n"));
  EXPECT_EQ(latest(), 100);
  EXPECT_EQ(database->deleteRawEventsOverAbsoluteLimit().value(), BMSDatabase::kRawEventsTrimBatch + 1);
  EXPECT_EQ(latest(), 100);
  EXPECT_GT(database->maybeDeleteStaleData().value(), 0);
  EXPECT_EQ(latest(), 0);
  database->insertRawEvent(event("h", now()), 7, false).value();
  EXPECT_EQ(latest(), now());
  ASSERT_TRUE(database->reset());
  EXPECT_EQ(latest(), 0);
}

// Daily counts, aggregates and the last metadata row are kept between events: each copy must follow
// every change of its rows, this connection's undone ones and another connection's included.
TEST_F(BMSDatabaseTest, KeptRowsFollowEveryChange) {
  auto other = BMSDatabase::openAtPath(path(), clock).value();
  const auto all = [&] { return database->dailyCounts()->allEventsCount(); };
  const auto counts = [](std::int32_t all) { return BMSDailyCounts(3, all, all, 0, 0, 0, 0); };
  ASSERT_TRUE(database->updateDailyCounts(counts(1)));
  EXPECT_FALSE(database->performTransaction([&] {
    EXPECT_TRUE(database->updateDailyCounts(counts(2)));
    EXPECT_EQ(all(), 2);
    return false;
  }));
  EXPECT_EQ(all(), 1);
  ASSERT_TRUE(other->updateDailyCounts(counts(5)));
  EXPECT_TRUE(database->performTransaction([&] { return all() == 5; }));
  // The values this connection last saw are written again once another changed them.
  ASSERT_TRUE(database->updateDailyCounts(counts(5)));
  ASSERT_TRUE(other->updateDailyCounts(counts(6)));
  ASSERT_TRUE(database->updateDailyCounts(counts(5)));
  EXPECT_EQ(other->dailyCounts()->allEventsCount(), 5);

  const auto lifetime = [&] {
    return database->eventAggregatesWithName("level_up").value()->lifetimeCount();
  };
  const auto aggregates = [](std::int32_t count) {
    return BMSEventAggregates::initWithName("level_up", count, 1, 1, 10).value();
  };
  ASSERT_TRUE(database->updateEventAggregates(aggregates(1)));
  EXPECT_EQ(lifetime(), 1);
  ASSERT_TRUE(database->updateEventAggregates(aggregates(2)));
  EXPECT_EQ(lifetime(), 2);
  EXPECT_FALSE(
      database->performTransaction([&] { return database->updateEventAggregates(aggregates(3)) && false; }));
  EXPECT_EQ(lifetime(), 2);
  ASSERT_TRUE(other->updateEventAggregates(aggregates(4)));
  EXPECT_EQ(lifetime(), 4);
  ASSERT_TRUE(database->clearCurrentSessionCounts());
  EXPECT_EQ(database->eventAggregatesWithName("level_up").value()->currentSessionCount(), 0);
  ASSERT_TRUE(database->createEventsSnapshotTable());
  ASSERT_TRUE(database->updateEventAggregates(aggregates(5)));
  EXPECT_EQ(lifetime(), 5);
  ASSERT_TRUE(database->restoreFromEventsSnapshotTable());
  EXPECT_EQ(lifetime(), 4);

  BMSPBMeasurementBundle metadata;
  NANOSetString(metadata, MeasurementBundleField::kPlatform, "linux");
  const std::int64_t fingerprint = database->insertIfNotExistsRawEventMetadata(metadata).value();
  const auto storedAgain = [&] {
    EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(metadata).value(), fingerprint);
    return database->queryRawEventsMetadataWithFingerprint(fingerprint).value().has_value();
  };
  ASSERT_TRUE(other->deleteRawEventMetadataWithMetadataFingerprint(fingerprint));
  EXPECT_TRUE(storedAgain());
  ASSERT_TRUE(database->deleteRawEventMetadataWithMetadataFingerprint(fingerprint));
  EXPECT_FALSE(database->performTransaction([&] { return storedAgain() && false; }));
  EXPECT_TRUE(storedAgain());
  EXPECT_EQ(database->maybeDeleteStaleData().value(), 1);
  EXPECT_TRUE(storedAgain());

  ASSERT_TRUE(database->reset());
  EXPECT_EQ(all(), 0);
  EXPECT_FALSE(database->eventAggregatesWithName("level_up").value());
  EXPECT_TRUE(storedAgain());
}

TEST_F(BMSDatabaseTest, AThirdSchemaFileLosesTheRawEventIndexesAndKeepsItsRows) {
  for (const char* name : {"a", "b"}) ASSERT_TRUE(database->insertRawEvent(event(name, 5), 7, false));
  ASSERT_TRUE(database->store().execute(
      "CREATE INDEX raw_events_by_fingerprint ON raw_events (metadata_fingerprint);"
      "CREATE INDEX raw_events_by_timestamp ON raw_events (timestamp_ms); PRAGMA user_version = 3"));
  reopen();
  EXPECT_EQ(count("PRAGMA user_version"), 4);
  EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'raw_events'"), 1);
  EXPECT_EQ(database->rawEventsWithMetadataFingerprint(7).value().size(), 2u);
  EXPECT_EQ(database->queryLatestRawEventTime().value(), 5);
}

TEST_F(BMSDatabaseTest, ARawEventThatCannotBeReadBackIsDeletedInsteadOfBlockingItsRun) {
  ASSERT_TRUE(
      database->store().execute("INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) "
                                "VALUES ('broken', 1, 7, x'FFFF')"));
  const std::int64_t good = database->insertRawEvent(event("a", 5), 7, false).value();
  auto rows = database->rawEventsWithMetadataFingerprint(7).value();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rowID(), good);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 1);
}

TEST_F(BMSDatabaseTest, ARawEventWithoutAnIntegerFingerprintIsDeletedInsteadOfHidingTheEventsAfterIt) {
  for (const char* fingerprint : {"'seven'", "7.5", "x'07'"}) {
    ASSERT_TRUE(database->store().execute(
        std::string(
            "INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) VALUES ('broken', 1, ") +
        fingerprint + ", x'FFFF')"));
  }
  const std::int64_t good = database->insertRawEvent(event("a", 5), 7, false).value();
  EXPECT_EQ(database->nextMetadataFingerprintToProcess().value(), std::optional<std::int64_t>(7));
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 1);
  EXPECT_EQ(database->rawEventsWithMetadataFingerprint(7).value().at(0).rowID(), good);
}

TEST_F(BMSDatabaseTest, MetadataIsStoredOnceUnderTheFingerprintOfItsBytes) {
  BMSPBMeasurementBundle metadata;
  NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
  NANOSetString(metadata, MeasurementBundleField::kPlatform, "linux");
  const std::int64_t fingerprint = database->insertIfNotExistsRawEventMetadata(metadata).value();
  EXPECT_EQ(fingerprint, BMS64LSBMD5(*metadata.protoBuffer()));
  EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(metadata).value(), fingerprint);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events_metadata"), 1);
  EXPECT_EQ(database->queryRawEventsMetadataWithFingerprint(fingerprint).value(), metadata);
  EXPECT_FALSE(database->queryRawEventsMetadataWithFingerprint(fingerprint + 1).value());
  ASSERT_TRUE(database->deleteRawEventMetadataWithMetadataFingerprint(fingerprint));
  EXPECT_FALSE(database->queryRawEventsMetadataWithFingerprint(fingerprint).value());

  // Alternating metadata each keep their own fingerprint; the same metadata after a reset (or
  // after its row was deleted) is stored again.
  BMSPBMeasurementBundle other = metadata;
  NANOSetString(other, MeasurementBundleField::kPlatform, "other");
  EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(other).value(), BMS64LSBMD5(*other.protoBuffer()));
  EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(metadata).value(), fingerprint);
  ASSERT_TRUE(database->reset());
  EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(metadata).value(), fingerprint);
  EXPECT_EQ(database->queryRawEventsMetadataWithFingerprint(fingerprint).value(), metadata);
  EXPECT_EQ(database->insertIfNotExistsRawEventMetadata(BMSPBMeasurementBundle()).value(),
            BMS64LSBMD5(platform::Bytes()));
}

TEST_F(BMSDatabaseTest, AggregatesRoundTripAndCountPublicNames) {
  EXPECT_FALSE(database->eventAggregatesWithName("prompt_copy").value());
  auto copied = BMSEventAggregates::initWithName("prompt_copy", 5, 2, 1, 100.5).value();
  copied.lastSampledComplexEventID = 9;
  copied.lastSamplingRate = 10;
  copied.lastBundledDay = 19000;
  ASSERT_TRUE(database->updateEventAggregates(copied));
  ASSERT_TRUE(database->updateEventAggregates(BMSEventAggregates::initWithName("_s", 1, 1, 1, 1).value()));
  reopen();
  auto read = database->eventAggregatesWithName("prompt_copy").value().value();
  EXPECT_EQ(read.lifetimeCount(), 5);
  EXPECT_EQ(read.currentSessionCount(), 1);
  EXPECT_EQ(read.lastFireTimestamp(), 100.5);
  EXPECT_EQ(read.lastSampledComplexEventID, 9);
  EXPECT_EQ(read.lastSamplingRate, 10);
  EXPECT_EQ(read.lastBundledDay, 19000);
  EXPECT_EQ(database->publicEventCount().value(), 1);
  ASSERT_TRUE(database->clearCurrentSessionCounts());
  const auto all = database->allEventAggregates().value();
  for (const auto& aggregates : all) {
    EXPECT_EQ(aggregates.currentSessionCount(), 0) << aggregates.name();
  }
}

TEST_F(BMSDatabaseTest, UserAttributesKeepTheirValueKind) {
  auto integer = BMSUserAttribute::initWithOrigin("app", "plan", BMSValue::initWithInt64(1), 10).value();
  auto real = BMSUserAttribute::initWithOrigin("app", "ratio", BMSValue::initWithDouble(1.0), 11).value();
  auto text =
      BMSUserAttribute::initWithOrigin("auto", "_fot", BMSValue::initWithStringValue("it's"), 12).value();
  for (const auto& attribute : {integer, real, text}) ASSERT_TRUE(database->updateUserAttribute(attribute));
  reopen();
  auto readInteger = database->userAttributeWithName("plan").value().value();
  auto readReal = database->userAttributeWithName("ratio").value().value();
  EXPECT_TRUE(readInteger.value().isInt64());
  EXPECT_TRUE(readReal.value().isDouble());
  EXPECT_FALSE(readInteger.value() == readReal.value());
  EXPECT_EQ(database->userAttributeWithName("_fot").value()->value(), BMSValue::initWithStringValue("it's"));
  EXPECT_EQ(readReal.lastSetTimestamp(), 11);
  EXPECT_FALSE(database->userAttributeWithName("missing").value());
  EXPECT_TRUE(database->containsUserAttributeWithName("plan").value());

  EXPECT_EQ(database->userAttributesIncludingInternal(false)->size(), 2u);
  EXPECT_EQ(database->userAttributesIncludingInternal(true)->size(), 3u);
  EXPECT_EQ(database->publicUserAttributeCount().value(), 2);
  EXPECT_EQ(database->userAttributeCountForOrigin("auto").value(), 1);
  ASSERT_TRUE(database->deleteUserAttributeWithName("plan"));
  EXPECT_FALSE(database->containsUserAttributeWithName("plan").value());
}

// All user attributes are kept from one read to the next; every way they can change shows at once.
TEST_F(BMSDatabaseTest, KeptUserAttributesNeverOutliveAChange) {
  auto attribute = [](const std::string& name, std::int64_t value) {
    return BMSUserAttribute::initWithOrigin("app", name, BMSValue::initWithInt64(value), 10).value();
  };
  auto names = [&] {
    std::string joined;
    for (const auto& read : database->userAttributesIncludingInternal(true).value())
      joined += read.name() + "=" + std::to_string(read.value().int64Value()) + " ";
    return joined;
  };
  ASSERT_TRUE(database->updateUserAttribute(attribute("a", 1)));
  EXPECT_EQ(names(), "a=1 ");
  ASSERT_TRUE(database->updateUserAttribute(attribute("a", 2)));
  EXPECT_EQ(names(), "a=2 ");
  EXPECT_FALSE(database->performTransaction([&] {
    EXPECT_TRUE(database->updateUserAttribute(attribute("b", 1)));
    EXPECT_EQ(names(), "a=2 b=1 ");
    return false;
  }));
  EXPECT_EQ(names(), "a=2 ");

  auto other = BMSDatabase::openAtPath(path(), clock).value();
  ASSERT_TRUE(other->updateUserAttribute(attribute("c", 3)));
  EXPECT_EQ(names(), "a=2 c=3 ");
  ASSERT_TRUE(database->store().execute("DELETE FROM user_attributes WHERE name = 'a'"));
  EXPECT_EQ(names(), "c=3 ");
  ASSERT_TRUE(database->deleteUserAttributeWithName("c"));
  EXPECT_EQ(names(), "");
  ASSERT_TRUE(other->updateUserAttribute(attribute("d", 4)));
  EXPECT_EQ(names(), "d=4 ");
  ASSERT_TRUE(database->reset());
  EXPECT_EQ(names(), "");
}

TEST_F(BMSDatabaseTest, RawEventTrimKeepsTheNewestBelowTheLimit) {
  constexpr std::int64_t kBatch = BMSDatabase::kRawEventsTrimBatch;
  database->performTransaction([&] {
    for (std::int64_t i = 0; i < BMSDatabase::kStoredEventsLimit + kBatch; ++i) {
      EXPECT_TRUE(database->insertRawEvent(event("e", static_cast<double>(i)), 1, false));
    }
    return true;
  });
  EXPECT_EQ(database->deleteRawEventsOverAbsoluteLimit().value(), kBatch + 1);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), BMSDatabase::kStoredEventsLimit - 1);
  EXPECT_EQ(count("SELECT min(timestamp_ms) FROM raw_events"), (kBatch + 1) * 1000);

  // Row IDs with gaps (bundled rows gone) span more than the limit without there being too many.
  database->performTransaction([&] {
    const std::int64_t first = count("SELECT min(rowid) FROM raw_events");
    for (std::int64_t rowID = first; rowID < first + BMSDatabase::kStoredEventsLimit; rowID += 2)
      EXPECT_TRUE(database->deleteRawEventWithRowID(rowID));
    return true;
  });
  ASSERT_TRUE(database->insertRawEvent(event("e", 1e6), 1, false));
  EXPECT_EQ(database->deleteRawEventsOverAbsoluteLimit().value(), 0);
}

// A full table is trimmed a batch of its oldest rows at a time, not one row with every stored event;
// the number of rows the trim goes by stays right when a transaction rolls back or another
// connection writes.
TEST_F(BMSDatabaseTest, PastTheLimitTheOldestRowsAreTrimmedInBatches) {
  constexpr std::int64_t kLimit = BMSDatabase::kStoredEventsLimit;
  constexpr std::int64_t kBatch = BMSDatabase::kRawEventsTrimBatch;
  database->performTransaction([&] {
    for (std::int64_t i = 0; i < kLimit - 1; ++i)
      EXPECT_TRUE(database->insertRawEvent(event("e", 1.0 * i), 1, false));
    return true;
  });
  double timestamp = 1e6;
  const auto storeOne = [&] {
    std::int64_t trimmed = -1;
    database->performTransaction([&] {
      trimmed = database->deleteRawEventsOverAbsoluteLimit().value();
      return database->insertRawEvent(event("e", ++timestamp), 1, false).ok();
    });
    return trimmed;
  };
  for (std::int64_t i = 0; i < kBatch; ++i) ASSERT_EQ(storeOne(), 0) << i;
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), kLimit + kBatch - 1);
  EXPECT_EQ(storeOne(), kBatch);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), kLimit);
  EXPECT_EQ(count("SELECT min(timestamp_ms) FROM raw_events"), kBatch * 1000);

  EXPECT_FALSE(database->performTransaction([&] {
    EXPECT_TRUE(database->insertRawEvent(event("undone", 2e6), 1, false));
    return false;
  }));
  EXPECT_EQ(storeOne(), 0);
  {
    auto other = platform::SqliteConnection::open(path().string()).value();
    ASSERT_TRUE(other->execute(
        "INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data) VALUES ('o', 3, 1, x'00'),"
        " ('o', 4, 1, x'00')"));
  }
  // Three rows past the limit now: the batch is due when the next store would make it kBatch.
  for (std::int64_t i = 0; i < kBatch - 4; ++i) ASSERT_EQ(storeOne(), 0) << i;
  EXPECT_EQ(storeOne(), kBatch);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), kLimit);
}

// Rows a batched trim has not deleted yet are out of every read's sight: the upload schedule's
// answers leave them out, and bundling deletes them before it takes the oldest event.
TEST_F(BMSDatabaseTest, RowsPastTheLimitAreNeverReadOrBundled) {
  constexpr std::int64_t kLimit = BMSDatabase::kStoredEventsLimit;
  const auto store = [&](const BMSEvent& stored, std::int64_t fingerprint, bool realtime) {
    EXPECT_TRUE(database->deleteRawEventsOverAbsoluteLimit());
    EXPECT_TRUE(database->insertRawEvent(stored, fingerprint, realtime));
  };
  // The oldest three: another fingerprint, one real-time, one stamped later than all the rest.
  store(event("old", now()), 7, true);
  store(event("old", now() + 5000), 7, false);
  store(event("old", now()), 7, false);
  ASSERT_TRUE(platform::SqliteConnection::open(path().string())
                  .value()
                  ->run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                        " INSERT INTO raw_events (name, timestamp_ms, metadata_fingerprint, data, realtime)"
                        " SELECT 'e', ?, 1, x'00', 0 FROM n",
                        {kLimit - 3, static_cast<std::int64_t>((now() + 1) * 1000)}));
  auto facts = database->uploadDataFacts();
  EXPECT_TRUE(*facts.realtimeRawEvents);
  EXPECT_EQ(*facts.latestRawEventTime, now() + 5000);

  database->performTransaction([&] {
    for (int i = 0; i < 3; ++i) store(event("e", now() + 2), 1, false);
    return true;
  });
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), kLimit + 3);
  facts = database->uploadDataFacts();
  EXPECT_FALSE(*facts.realtimeRawEvents);
  EXPECT_EQ(*facts.latestRawEventTime, now() + 2);
  EXPECT_FALSE(database->containsRealtimeRawEvents().value());

  EXPECT_EQ(database->nextMetadataFingerprintToProcess().value(), 1);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), kLimit);
  EXPECT_FALSE(database->containsRawEventWithMetadataFingerprint(7).value());
  EXPECT_EQ(database->trimmedRawEventCount(), 3);
}

// A process killed in the middle of a burst of transactions leaves a sound file holding whole
// transactions only: each one stores five raw events of its own fingerprint and counts them.
TEST_F(BMSDatabaseTest, KillDuringABurstOfWritesLeavesNoPartialTransaction) {
  database.reset();
  const std::uintmax_t emptySize = std::filesystem::file_size(path());
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    auto opened = BMSDatabase::openAtPath(path(), clock);
    if (!opened) _exit(2);
    auto db = std::move(opened).value();
    for (std::int64_t transaction = 1;; ++transaction) {
      db->performTransaction([&] {
        for (int i = 0; i < 5; ++i)
          (void)db->insertRawEvent(event("burst", i, {{"text", platform::Value(std::string(200, 'x'))}}),
                                   transaction, false);
        auto counts = db->dailyCounts().value();
        counts.incrementCountsForCurrentDay(1, true, false, 5);
        return static_cast<bool>(db->updateDailyCounts(counts));
      });
    }
  }
  // Let the writer get going, then kill it without warning.
  for (int wait = 0; wait < 500; ++wait) {
    usleep(2000);
    if (std::filesystem::file_size(path()) > emptySize + 64 * 1024) break;
  }
  kill(writer, SIGKILL);
  int status = 0;
  waitpid(writer, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  reopen();
  auto integrity = database->store().scalar("PRAGMA integrity_check").value();
  EXPECT_EQ(std::get<std::string>(integrity), "ok");
  const std::int64_t rows = count("SELECT count(*) FROM raw_events");
  EXPECT_GT(rows, 0);
  EXPECT_EQ(rows % 5, 0);
  EXPECT_EQ(
      count("SELECT count(*) FROM (SELECT metadata_fingerprint FROM raw_events GROUP BY metadata_fingerprint"
            " HAVING count(*) != 5)"),
      0);
  EXPECT_EQ(database->dailyCounts()->allEventsCount(), rows);
}

TEST_F(BMSDatabaseTest, ConditionalUserPropertiesKeepEveryFieldAndTheirEvents) {
  BCNAConditionalUserProperty property;
  property.name = "tier";
  property.origin = "bcm";
  property.value = BMSValue::initWithInt64(1);
  property.triggerEventName = "level_up";
  property.triggerTimeout = 60;
  property.timeToLive = 3600;
  property.creationTimestamp = 100.5;
  property.triggeredEvent = event("tier_triggered", 100, {{"level", platform::Value(2)}});
  property.expiredEvent = event("tier_expired", 100);
  ASSERT_TRUE(database->updateConditionalUserProperty(property));
  BCNAConditionalUserProperty other = property;
  other.name = "ratio";
  other.value = BMSValue::initWithDouble(1.0);
  other.triggeredEvent.reset();
  other.expiredEvent.reset();
  ASSERT_TRUE(database->updateConditionalUserProperty(other));
  reopen();

  auto read = database->conditionalUserPropertyWithName("tier").value().value();
  EXPECT_EQ(read.origin, "bcm");
  EXPECT_EQ(read.value, BMSValue::initWithInt64(1));
  EXPECT_EQ(read.triggerEventName, "level_up");
  EXPECT_EQ(read.triggerTimeout, 60);
  EXPECT_EQ(read.timeToLive, 3600);
  EXPECT_EQ(read.creationTimestamp, 100.5);
  EXPECT_FALSE(read.active);
  ASSERT_TRUE(read.triggeredEvent);
  EXPECT_EQ(read.triggeredEvent->name(), "tier_triggered");
  EXPECT_EQ(read.triggeredEvent->parameters().at("level"), BMSValue::initWithInt64(2));
  EXPECT_FALSE(read.timedOutEvent);
  EXPECT_EQ(read.expiredEvent->name(), "tier_expired");
  EXPECT_TRUE(database->conditionalUserPropertyWithName("ratio").value()->value->isDouble());

  read.active = true;
  read.triggeredTimestamp = 130;
  ASSERT_TRUE(database->updateConditionalUserProperty(read));
  auto all = database->conditionalUserProperties().value();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "ratio");
  EXPECT_TRUE(all[1].active);
  EXPECT_EQ(all[1].triggeredTimestamp, 130);

  ASSERT_TRUE(database->deleteConditionalUserPropertyWithName("ratio"));
  EXPECT_FALSE(database->conditionalUserPropertyWithName("ratio").value());
  ASSERT_TRUE(database->reset());
  EXPECT_TRUE(database->conditionalUserProperties().value().empty());

  BCNAConditionalUserProperty valueless = property;
  valueless.value.reset();
  EXPECT_FALSE(database->updateConditionalUserProperty(valueless));
}

TEST_F(BMSDatabaseTest, ASecondSchemaFileKeepsItsRawEventsAndNumbersOnAboveThem) {
  ASSERT_TRUE(database->store().execute("DROP TABLE raw_events"));
  ASSERT_TRUE(database->store().execute(
      "CREATE TABLE raw_events (rowid INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, timestamp_ms "
      "INTEGER NOT NULL, metadata_fingerprint INTEGER NOT NULL, data BLOB NOT NULL, realtime INTEGER NOT "
      "NULL "
      "DEFAULT 0)"));
  for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(database->insertRawEvent(event(name, 5), 7, true));
  ASSERT_TRUE(database->deleteRawEventWithRowID(3));
  ASSERT_TRUE(database->store().execute("PRAGMA user_version = 2"));
  reopen();

  EXPECT_EQ(count("PRAGMA user_version"), 4);
  EXPECT_EQ(
      count("SELECT count(*) FROM sqlite_master WHERE name = 'raw_events' AND sql LIKE '%AUTOINCREMENT%'"),
      0);
  EXPECT_EQ(count("SELECT count(*) FROM sqlite_sequence WHERE name = 'raw_events'"), 0);
  EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'raw_events'"), 1);
  EXPECT_EQ(database->insertRawEvent(event("d", 6), 7, false).value(), 3);
  const auto rows = database->rawEventsWithMetadataFingerprint(7).value();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].rowID(), 2);
  EXPECT_EQ(rows[1].rawEvent().name(), "b");
  EXPECT_TRUE(database->containsRealtimeRawEvents().value());
  // Opening again changes nothing more.
  reopen();
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 3);
}

TEST_F(BMSDatabaseTest, AFileOfTheFirstSchemaGainsTheConditionalPropertiesTable) {
  ASSERT_TRUE(database->store().execute("DROP TABLE conditional_properties"));
  ASSERT_TRUE(database->store().execute("PRAGMA user_version = 1"));
  reopen();
  EXPECT_EQ(count("PRAGMA user_version"), 4);
  EXPECT_TRUE(database->conditionalUserProperties().value().empty());
}

}  // namespace
}  // namespace beacon
