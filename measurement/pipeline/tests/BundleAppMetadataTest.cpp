// Bundles are chained: each carries the previous bundle's times and the next index.

#include "measurement/pipeline/BMSBundleAppMetadata.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

TEST(BundleAppMetadata, EachBundleCarriesThePreviousTimesAndTheNextIndex) {
  testing::ScopedEngineServices services;
  platform::testing::TemporaryDirectory folder;
  auto database = BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();

  BMSPBMeasurementBundle first;
  ASSERT_TRUE(BMSUpdateAppMetadataForBundle(*database, first, 10.5, 20.25));
  EXPECT_FALSE(NANOHasField(first, B::kPreviousStartTimestampMillis));
  EXPECT_FALSE(NANOHasField(first, B::kPreviousEndTimestampMillis));
  EXPECT_EQ(NANOGetInt32(first, B::kBundleIndex), 1);

  BMSPBMeasurementBundle second;
  ASSERT_TRUE(BMSUpdateAppMetadataForBundle(*database, second, 30, 40));
  EXPECT_EQ(NANOGetInt64(second, B::kPreviousStartTimestampMillis), 10500);
  EXPECT_EQ(NANOGetInt64(second, B::kPreviousEndTimestampMillis), 20250);
  EXPECT_EQ(NANOGetInt32(second, B::kBundleIndex), 2);

  // Without a kept start the previous end stands in for it.
  ASSERT_TRUE(database->updateAppMetadata(*BMSAppMetadata::initWithLastBundleIndex(7, 0, 50)));
  BMSPBMeasurementBundle third;
  ASSERT_TRUE(BMSUpdateAppMetadataForBundle(*database, third, 60, 70));
  EXPECT_EQ(NANOGetInt64(third, B::kPreviousStartTimestampMillis), 50000);
  EXPECT_EQ(NANOGetInt32(third, B::kBundleIndex), 8);

  ASSERT_TRUE(database->store().execute("DROP TABLE app_metadata"));
  EXPECT_FALSE(BMSUpdateAppMetadataForBundle(*database, third, 60, 70));
  EXPECT_EQ(services.log->lines.back().code, 23111);
}

}  // namespace
}  // namespace beacon
