// A damaged measurement database: found when the file is opened, or by the statement that meets it
// in use (which fails). Either way the file is set aside with one logged line, a new one takes its
// place and collection goes on there.

#include <gtest/gtest.h>

#include <algorithm>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/tests/StorageTestSupport.h"

namespace beacon {
namespace {

constexpr std::int64_t kFileReplaced =
    static_cast<std::int64_t>(BMSSqliteStoreErrorCode::DamagedFileSetAside);
constexpr std::int64_t kFileGone = static_cast<std::int64_t>(BMSSqliteStoreErrorCode::FileGone);

class BMSDatabaseDamageTest : public ::testing::Test, protected testing::DatabaseFixture {
 protected:
  static BMSEvent event(const std::string& name, double timestamp) {
    // Large enough that the table spans several pages.
    return BMSEvent::initWithOrigin("app", true, name, timestamp, 0,
                                    {{"text", platform::Value(std::string(90, 'x'))}})
        .value();
  }
  std::int64_t fingerprint() {
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
    return database->insertIfNotExistsRawEventMetadata(metadata).value();
  }
  std::int64_t queueBundle() {
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetInt64(bundle, MeasurementBundleField::kEndTimestampMillis, 1'700'000'000'000);
    return database->insertBundle(bundle, false).value();
  }
  // Stores one event in a transaction of its own, as the engine does; answers whether it was kept.
  bool storeEvent(const std::string& name) {
    return database->performTransaction([&] {
      const std::int64_t stored = fingerprint();
      return database->insertRawEvent(event(name, 1'700'000'000), stored, false).ok();
    });
  }
  // Stores one event as the engine does while more wait behind it: in the open group.
  bool storeGroupedEvent(const std::string& name) {
    return database->performGroupedTransaction([&] {
      const std::int64_t stored = fingerprint();
      return BMSStoredEventOrRollBack(
          database->insertRawEvent(event(name, 1'700'000'000), stored, false).ok());
    });
  }
  // What bundling does with the stored raw events: read them, queue them, delete them.
  bool bundleAll() {
    return database->performTransaction([&] {
      auto next = database->nextMetadataFingerprintToProcess();
      if (!next || !*next) return false;
      auto rows = database->rawEventsWithMetadataFingerprint(**next);
      if (!rows || rows->empty()) return false;
      return queueBundle() > 0 && database->deleteRawEventsWithMaxRowID(rows->back().rowID()).ok();
    });
  }
  void damage(const std::string& table) { testing::damageTableInUse(*database, path(), table); }
  // Stores one event as the engine does when it is logged: its aggregates row and the user
  // properties are read first, all in the open group. Answers whether it was confirmed.
  bool logEvent(const std::string& name) {
    return database->performGroupedTransaction([&] { return BMSStoredEventOrRollBack(writeEvent(name)); });
  }
  // The writes of one logged event; answers whether they all succeeded.
  bool writeEvent(const std::string& name) {
    auto aggregates = database->eventAggregatesWithName(name);
    if (!aggregates) return false;
    if (!*aggregates &&
        !database->updateEventAggregates(BMSEventAggregates::initWithName(name, 0, 0, 0, 0).value()))
      return false;
    if (!database->userAttributesIncludingInternal(true) || !database->deleteRawEventsOverAbsoluteLimit())
      return false;
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
    auto stored = database->insertIfNotExistsRawEventMetadata(metadata);
    return stored && database->insertRawEvent(event(name, 1'700'000'000), *stored, false).ok();
  }
  // Some rows in the tables an event's storing, bundling and the user properties use.
  void fill() {
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(storeEvent("before"));
    for (int i = 0; i < 20; ++i) queueBundle();
    ASSERT_TRUE(
        database->updateEventAggregates(BMSEventAggregates::initWithName("before", 50, 1, 1, 0).value()));
    ASSERT_TRUE(database->updateUserAttribute(
        BMSUserAttribute::initWithOrigin("app", "colour", BMSValue::initWithStringValue("blau"), 0).value()));
  }
  // Every b-tree of the file but the schema's own: the tables and their indexes.
  std::vector<std::string> trees() {
    std::vector<std::string> names;
    EXPECT_TRUE(database->store().run(
        "SELECT name FROM sqlite_master WHERE rootpage > 0 ORDER BY name", {},
        [&](const platform::SqliteRow& row) { names.push_back(std::get<std::string>(row.column(0))); }));
    return names;
  }
  // The damaged files set aside beside the database.
  std::vector<std::filesystem::path> setAside() const {
    std::vector<std::filesystem::path> found;
    const std::string prefix = path().filename().string() + ".damaged-";
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    return found;
  }
  void startAfresh() {
    database.reset();
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      std::filesystem::remove_all(entry.path());
    reopen();
  }
  std::int64_t replacements() const {
    const std::vector<std::int64_t> codes = engine.log->codes();
    return std::count(codes.begin(), codes.end(), kFileReplaced);
  }

  testing::ScopedEngineServices engine;
};

TEST_F(BMSDatabaseDamageTest, DamagedRawEventsAreReplacedAndLaterEventsAreStoredAndBundled) {
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(storeEvent("before"));
  damage("raw_events");

  // The event that meets the damage is not claimed as kept; the file goes, once, with one line.
  EXPECT_FALSE(storeEvent("lost"));
  EXPECT_EQ(replacements(), 1);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 0);
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts());

  ASSERT_TRUE(storeEvent("after"));
  ASSERT_TRUE(storeEvent("after"));
  EXPECT_EQ(count("SELECT count(*) FROM raw_events WHERE name = 'after'"), 2);
  EXPECT_TRUE(bundleAll());
  EXPECT_EQ(database->queryBundlesWithCountLimit(10, 1 << 20)->size(), 1u);

  reopen();
  ASSERT_TRUE(storeEvent("restarted"));
  EXPECT_TRUE(bundleAll());
  EXPECT_EQ(database->queryBundlesWithCountLimit(10, 1 << 20)->size(), 2u);
  EXPECT_EQ(replacements(), 1);
}

TEST_F(BMSDatabaseDamageTest, DamageMetInAGroupEndsItAndTheNextGroupIsStoredInTheNewFile) {
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(storeEvent("before"));
  damage("raw_events");

  EXPECT_FALSE(storeGroupedEvent("lost"));
  EXPECT_FALSE(database->hasUncommittedGroup());
  EXPECT_EQ(replacements(), 1);
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 0);

  ASSERT_TRUE(storeGroupedEvent("after"));
  ASSERT_TRUE(storeGroupedEvent("after"));
  database->commitGroupedTransactions();
  EXPECT_FALSE(database->hasUncommittedGroup());
  reopen();
  EXPECT_EQ(count("SELECT count(*) FROM raw_events WHERE name = 'after'"), 2);
  EXPECT_EQ(replacements(), 1);
}

TEST_F(BMSDatabaseDamageTest, DamagedQueueIsReplacedAndItsRowIDsAreNeverHandedOutAgain) {
  std::int64_t lastQueued = 0;
  for (int i = 0; i < 200; ++i) lastQueued = queueBundle();
  damage("queue");

  // The reads of the queue fail first; every row ID an upload may still hold stays used up.
  EXPECT_FALSE(database->queryBundlesWithCountLimit(10, 1 << 20));
  EXPECT_EQ(replacements(), 1);
  ASSERT_TRUE(storeEvent("after"));
  ASSERT_TRUE(bundleAll());
  const auto queued = database->queryBundlesWithCountLimit(10, 1 << 20).value();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_GT(queued[0].rowID, lastQueued);
  EXPECT_TRUE(database->isRawEventsTableEmpty().value());

  reopen();
  EXPECT_EQ(database->queryBundlesWithCountLimit(10, 1 << 20)->size(), 1u);
}

TEST_F(BMSDatabaseDamageTest, DamageMetInsideATransactionReplacesTheFileOnlyOnceItIsOver) {
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(storeEvent("before"));
  damage("raw_events");

  const bool committed = database->performTransaction([&] {
    EXPECT_TRUE(database->updateDailyCounts(BMSDailyCounts(19000, 1, 1, 0, 0, 0, 0)));
    EXPECT_FALSE(database->isRawEventsTableEmpty().ok() && database->containsRealtimeRawEvents().ok() &&
                 database->rawEventsWithMetadataFingerprint(1).ok());
    // Still the old file while the transaction is open.
    EXPECT_EQ(replacements(), 0);
    return false;
  });
  EXPECT_FALSE(committed);
  EXPECT_EQ(replacements(), 1);
  EXPECT_EQ(database->dailyCounts().value(), BMSDailyCounts());
  EXPECT_TRUE(storeEvent("after"));
}

TEST_F(BMSDatabaseDamageTest, ADamagedTreeIsSetAsideAtTheRestartAndTheFirstEventLoggedIsKept) {
  const std::vector<std::string> damaged = trees();
  ASSERT_GE(damaged.size(), 12u);
  for (const std::string& tree : damaged) {
    SCOPED_TRACE(tree);
    startAfresh();
    fill();
    database.reset();
    testing::damageTable(path(), tree);
    const std::int64_t linesBefore = replacements();

    reopen();
    EXPECT_TRUE(logEvent("after_restart"));
    database->commitGroupedTransactions();
    reopen();
    EXPECT_EQ(count("SELECT count(*) FROM raw_events WHERE name = 'after_restart'"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 1);
    EXPECT_EQ(replacements() - linesBefore, 1);
    EXPECT_EQ(setAside().size(), 1u);
  }
}

TEST_F(BMSDatabaseDamageTest, TheFileSetAsideKeepsItsRowsAndOnlyTheNewestIsKept) {
  for (int i = 0; i < 550; ++i) queueBundle();
  database.reset();
  testing::damageTable(path(), "events");
  reopen();
  ASSERT_EQ(setAside().size(), 1u);
  const std::filesystem::path first = setAside().front();
  EXPECT_EQ(count("SELECT count(*) FROM queue"), 0);
  {
    auto kept = platform::SqliteConnection::open(first.string()).value();
    EXPECT_EQ(kept->scalar("SELECT count(*) FROM queue").value(), platform::SqlValue(std::int64_t{550}));
  }

  for (int i = 0; i < 7; ++i) ASSERT_TRUE(storeEvent("second"));
  damage("queue");
  EXPECT_FALSE(database->queryBundlesWithCountLimit(10, 1 << 20));
  EXPECT_EQ(replacements(), 2);
  const std::vector<std::filesystem::path> kept = setAside();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_NE(kept.front(), first);
  auto newest = platform::SqliteConnection::open(kept.front().string()).value();
  EXPECT_EQ(newest->scalar("SELECT count(*) FROM raw_events").value(), platform::SqlValue(std::int64_t{7}));
}

TEST_F(BMSDatabaseDamageTest, EventsStoredAfterTheFileIsDeletedInUseGoToANewFileAtItsPlace) {
  fill();
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path().string() + suffix);
  // The group goes first: its work went with the deleted file.
  ASSERT_TRUE(logEvent("after"));
  ASSERT_TRUE(storeEvent("after"));
  database->store().commitGroup();
  EXPECT_EQ(engine.log->codes(), std::vector<std::int64_t>{kFileGone});
  reopen();
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 2);
  EXPECT_TRUE(bundleAll());
}

TEST_F(BMSDatabaseDamageTest, AnotherFileInTheDatabasesPlaceTakesTheEventsStoredAfterIt) {
  ASSERT_TRUE(storeEvent("before"));
  // Set aside with its log and index, as another process of the app does with a file it found damaged.
  const std::filesystem::path moved = path().string() + ".moved";
  for (const char* suffix : {"", "-wal", "-shm"})
    std::filesystem::rename(path().string() + suffix, moved.string() + suffix);
  {
    // Another process of the app makes the file anew.
    auto other = BMSDatabase::openAtPath(path(), clock).value();
    ASSERT_TRUE(other->updateDailyCounts(BMSDailyCounts(19000, 4, 0, 0, 0, 0, 0)));
  }
  ASSERT_TRUE(storeEvent("after"));
  EXPECT_EQ(database->dailyCounts()->allEventsCount(), 4);
  reopen();
  EXPECT_EQ(count("SELECT count(*) FROM raw_events"), 1);

  // A folder in the file's place: nothing more is kept, and nothing goes anywhere else.
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path().string() + suffix);
  std::filesystem::create_directory(path());
  EXPECT_TRUE(storeEvent("unkept"));
  EXPECT_TRUE(std::filesystem::is_empty(path()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 4);  // with .moved*
}

}  // namespace
}  // namespace beacon
