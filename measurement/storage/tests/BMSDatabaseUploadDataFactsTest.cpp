// The upload schedule's answers about the raw events and the queue are kept from one question to the
// next (it asks after every stored event); every way those tables can change shows in the next answer.

#include <gtest/gtest.h>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/tests/StorageTestSupport.h"

namespace beacon {
namespace {

class UploadDataFactsTest : public ::testing::Test, protected testing::DatabaseFixture {
 protected:
  const double t0 = clock->now().unixSeconds();

  std::int64_t raw(BMSDatabase& into, double offset, bool realtime) {
    const BMSEvent event = BMSEvent::initWithOrigin("app", true, "e", t0 + offset, 0, {}).value();
    return into.insertRawEvent(event, 1, realtime).value();
  }
  std::int64_t raw(double offset, bool realtime) { return raw(*database, offset, realtime); }
  std::int64_t bundle(double offset, bool realtime) {
    BMSPBMeasurementBundle queued;
    NANOSetInt64(queued, MeasurementBundleField::kEndTimestampMillis,
                 static_cast<std::int64_t>((t0 + offset) * 1000));
    return database->insertBundle(queued, realtime).value();
  }
  // Latest times as seconds after t0.
  std::string facts() {
    const BMSDatabase::UploadDataFacts facts = database->uploadDataFacts();
    auto table = [&](bool empty, double latest, bool realtime) {
      if (empty) return std::string("none");
      return "latest " + std::to_string(static_cast<std::int64_t>(latest - t0)) +
             (realtime ? " realtime" : "");
    };
    return "queue " + table(*facts.queueEmpty, *facts.latestBundleTime, *facts.realtimeBundles) + "; raw " +
           table(*facts.rawEventsEmpty, *facts.latestRawEventTime, *facts.realtimeRawEvents);
  }
};

TEST_F(UploadDataFactsTest, KeptAnswersNeverOutliveAChange) {
  EXPECT_EQ(facts(), "queue none; raw none");
  const std::int64_t first = raw(100, false);
  EXPECT_EQ(facts(), "queue none; raw latest 100");
  raw(50, true);
  EXPECT_EQ(facts(), "queue none; raw latest 100 realtime");
  EXPECT_FALSE(database->performTransaction([&] {
    raw(300, false);
    EXPECT_EQ(facts(), "queue none; raw latest 300 realtime");
    return false;
  }));
  EXPECT_EQ(facts(), "queue none; raw latest 100 realtime");

  auto other = BMSDatabase::openAtPath(path(), clock).value();
  const std::int64_t others = raw(*other, 400, false);
  EXPECT_EQ(facts(), "queue none; raw latest 400 realtime");
  const std::int64_t queued = bundle(500, true);
  EXPECT_EQ(facts(), "queue latest 500 realtime; raw latest 400 realtime");
  ASSERT_TRUE(database->deleteBundlesWithRowIDs({queued}));
  EXPECT_EQ(facts(), "queue none; raw latest 400 realtime");
  ASSERT_TRUE(database->deleteRawEventWithRowID(others));
  EXPECT_EQ(facts(), "queue none; raw latest 100 realtime");
  ASSERT_TRUE(database->deleteRawEventsWithMaxRowID(first));
  EXPECT_EQ(facts(), "queue none; raw latest 50 realtime");

  // Sixty-one days on, the real-time event is stale.
  clock->setNow(platform::Date::fromUnixSeconds(t0 + 61 * 86400));
  raw(61 * 86400, false);
  EXPECT_EQ(facts(), "queue none; raw latest 5270400 realtime");
  ASSERT_TRUE(database->maybeDeleteStaleData());
  EXPECT_EQ(facts(), "queue none; raw latest 5270400");
  ASSERT_TRUE(database->reset());
  EXPECT_EQ(facts(), "queue none; raw none");

  // The oldest raw event leaves the limit's sight, and takes the real-time mark and the latest time
  // with it, once the table holds more than the limit (the trim deletes it with its batch later).
  raw(61 * 86400 + 100, true);
  ASSERT_TRUE(other->store().run(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) INSERT INTO raw_events"
      " (name, timestamp_ms, metadata_fingerprint, data, realtime) SELECT 'e', ?, 1, x'00', 0 FROM n",
      {BMSDatabase::kStoredEventsLimit - 2, static_cast<std::int64_t>(t0 * 1000)}));
  EXPECT_EQ(facts(), "queue none; raw latest 5270500 realtime");
  ASSERT_EQ(database->deleteRawEventsOverAbsoluteLimit().value(), 0);
  raw(61 * 86400 + 10, false);
  EXPECT_EQ(facts(), "queue none; raw latest 5270500 realtime");
  ASSERT_EQ(database->deleteRawEventsOverAbsoluteLimit().value(), 0);
  raw(61 * 86400 + 20, false);
  EXPECT_EQ(facts(), "queue none; raw latest 5270420");
}

}  // namespace
}  // namespace beacon
