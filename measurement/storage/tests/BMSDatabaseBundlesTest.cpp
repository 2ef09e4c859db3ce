#include <gtest/gtest.h>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/tests/StorageTestSupport.h"
#include "sdk-utilities/gzip/CVUGzip.h"

namespace beacon {
namespace {

class BMSDatabaseBundlesTest : public ::testing::Test, protected testing::DatabaseFixture {
 protected:
  // A bundle whose encoded form is about `size` bytes, ending at `endMillis`.
  static BMSPBMeasurementBundle bundleOf(std::size_t size, std::int64_t endMillis) {
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetInt64(bundle, MeasurementBundleField::kEndTimestampMillis, endMillis);
    NANOSetString(bundle, MeasurementBundleField::kPlatform, std::string(size, 'p'));
    return bundle;
  }
  static std::int64_t encodedSize(const BMSPBMeasurementBundle& bundle) {
    return static_cast<std::int64_t>(bundle.protoBuffer()->size());
  }
  std::vector<std::int64_t> rowIDs(const std::vector<BMSDatabase::QueuedBundle>& bundles) {
    std::vector<std::int64_t> ids;
    for (const auto& queued : bundles) ids.push_back(queued.rowID);
    return ids;
  }
};

TEST_F(BMSDatabaseBundlesTest, BundlesComeBackDecodedWithTheirEndTime) {
  const auto bundle = bundleOf(10, 1'700'000'123'456);
  const std::int64_t rowID = database->insertBundle(bundle, true).value();
  EXPECT_EQ(database->queryLatestBundleTime().value(), 1'700'000'123.456);
  EXPECT_TRUE(database->containsRealtimeBundles().value());
  auto queued = database->queryBundlesWithCountLimit(10, 1 << 20).value();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].rowID, rowID);
  EXPECT_EQ(queued[0].bundle, bundle);
}

TEST_F(BMSDatabaseBundlesTest, TheRowHoldsTheBundlesBytesGzippedAndRowsOfEitherLevelAreRead) {
  const auto bundle = bundleOf(4000, 7);
  database->insertBundle(bundle, false).value();
  auto stored = database->store().scalar("SELECT data FROM queue");
  ASSERT_TRUE(stored);
  const auto* compressed = std::get_if<platform::Bytes>(&*stored);
  ASSERT_NE(compressed, nullptr);
  ASSERT_GT(compressed->size(), 10u);
  EXPECT_EQ((*compressed)[0], 0x1f);
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(*compressed), bundle.protoBuffer());

  // A row an earlier version compressed at the default level.
  ASSERT_TRUE(database->store().run("INSERT INTO queue (bundle_end_timestamp, data) VALUES (0, ?)",
                                    {*CVUGzip::cvu_dataByGzippingData(*bundle.protoBuffer())}));
  auto queued = database->queryBundlesWithCountLimit(10, 1 << 20).value();
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[0].bundle, bundle);
  EXPECT_EQ(queued[1].bundle, bundle);
}

TEST_F(BMSDatabaseBundlesTest, TheFirstBundleIsAlwaysTakenAndTheFirstThatWouldExceedTheSizeEndsTheList) {
  const auto big = bundleOf(500, 1);
  const auto small = bundleOf(10, 2);
  const std::int64_t first = database->insertBundle(big, false).value();
  const std::int64_t second = database->insertBundle(small, false).value();
  database->insertBundle(big, false).value();
  database->insertBundle(small, false).value();

  // Bigger than the limit on its own, still taken so the queue never gets stuck.
  EXPECT_EQ(rowIDs(database->queryBundlesWithCountLimit(10, 100).value()), std::vector<std::int64_t>{first});
  const std::int64_t firstTwo = encodedSize(big) + encodedSize(small);
  EXPECT_EQ(rowIDs(database->queryBundlesWithCountLimit(10, firstTwo).value()),
            (std::vector<std::int64_t>{first, second}));
  EXPECT_EQ(database->queryBundlesWithCountLimit(3, 1 << 20)->size(), 3u);
  EXPECT_TRUE(database->queryBundlesWithCountLimit(0, 1 << 20)->empty());
}

TEST_F(BMSDatabaseBundlesTest, UndecodableRowsAreDeletedAndCountAgainstNoLimit) {
  const auto bundle = bundleOf(10, 1);
  database->insertBundle(bundle, false).value();
  ASSERT_TRUE(database->store().run("INSERT INTO queue (bundle_end_timestamp, data) VALUES (0, ?)",
                                    {platform::Bytes{1, 2, 3}}));
  const platform::Bytes notABundle = *CVUGzip::cvu_dataByGzippingData(platform::Bytes{0xFF, 0xFF, 0xFF});
  ASSERT_TRUE(
      database->store().run("INSERT INTO queue (bundle_end_timestamp, data) VALUES (0, ?)", {notABundle}));
  const std::int64_t last = database->insertBundle(bundle, false).value();

  auto queued = database->queryBundlesWithCountLimit(2, 1 << 20).value();
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_EQ(queued[1].rowID, last);
  EXPECT_EQ(count("SELECT count(*) FROM queue"), 2);
}

TEST_F(BMSDatabaseBundlesTest, EmptyQueueGivesAnEmptyList) {
  auto queued = database->queryBundlesWithCountLimit(100, 65536);
  ASSERT_TRUE(queued);
  EXPECT_TRUE(queued->empty());
}

}  // namespace
}  // namespace beacon
