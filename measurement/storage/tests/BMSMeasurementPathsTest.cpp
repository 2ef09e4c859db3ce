#include "measurement/storage/BMSMeasurementPaths.h"

#include <gtest/gtest.h>

#include "measurement/storage/BMSDatabase.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

TEST(BMSMeasurementPaths, DatabaseLivesUnderApplicationSupportAndCanBeMarkedAndDeleted) {
  platform::testing::TestApplication application;
  const std::filesystem::path directory = application.user().dataHome() /
                                          platform::testing::kTestApplicationIdentifier / "Corvane" /
                                          "Measurement";
  EXPECT_EQ(BMSMeasurementDirectoryPath().value(), directory);

  auto database = BMSDatabase::initWithDatabaseName(kBMSMeasurementDatabaseName).value();
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(1));
  EXPECT_TRUE(std::filesystem::exists(directory / kBMSMeasurementDatabaseName));

  platform::Error error;
  EXPECT_TRUE(BMSExcludePathFromBackup(directory, &error));
  EXPECT_TRUE(std::filesystem::exists(directory / "CACHEDIR.TAG"));
  EXPECT_FALSE(BMSExcludePathFromBackup(directory / "missing", &error));
  EXPECT_EQ(error.code, 19002);

  database.reset();
  EXPECT_TRUE(BMSDeleteDatabaseFile(kBMSMeasurementDatabaseName, &error));
  EXPECT_FALSE(std::filesystem::exists(directory / kBMSMeasurementDatabaseName));
  EXPECT_FALSE(std::filesystem::exists(directory / (std::string(kBMSMeasurementDatabaseName) + "-wal")));
  // Deleting what is not there is no failure.
  EXPECT_TRUE(BMSDeleteDatabaseFile(kBMSMeasurementDatabaseName, &error));
}

}  // namespace
}  // namespace beacon
