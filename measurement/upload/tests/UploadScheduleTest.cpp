// When the next upload is due: after a recent success, after the latest data, through the doubling
// retry steps after a failure, and in debug mode.

#include "measurement/upload/BMSUploadSchedule.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace beacon {
namespace {

constexpr double kNow = 1'700'000'000;

BMSUploadScheduleInputs inputs() {
  BMSUploadScheduleInputs in;
  in.now = kNow;
  in.latestData = kNow - 100;
  return in;
}

TEST(UploadScheduleTest, NoDataMeansNoUpload) {
  BMSUploadScheduleInputs in = inputs();
  in.latestData = 0;
  EXPECT_EQ(BMSNextUploadingTime(in), 0);
}

TEST(UploadScheduleTest, ARecentSuccessSpacesUploadsByOneInterval) {
  BMSUploadScheduleInputs in = inputs();
  in.lastSuccessfulUpload = kNow - 600;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 600 + 3600);
  in.lastSuccessfulUpload = kNow - 3600;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 15);
}

TEST(UploadScheduleTest, AFailureWalksTheDoublingRetryStepsUntilTheyAreUsedUp) {
  BMSUploadScheduleInputs in = inputs();
  const double base = kNow - 100 + 15;
  // A failure that has just happened.
  const auto failedAt = [&](double when) {
    in.lastFailedUpload = when;
    in.now = std::max(kNow, when);
  };
  failedAt(kNow - 50);
  EXPECT_EQ(BMSNextUploadingTime(in), base + 1800);
  failedAt(base + 1800);
  EXPECT_EQ(BMSNextUploadingTime(in), base + 1800 + 3600);
  failedAt(base + 1800 + 3600 + 7200);
  EXPECT_EQ(BMSNextUploadingTime(in), base + 1800 + 3600 + 7200 + 14400);
  // Six steps in all: 1800 x 63 seconds after the base, nothing more is scheduled.
  failedAt(base + 1800 * 63);
  EXPECT_EQ(BMSNextUploadingTime(in), 0);
  in.retryCount = 7;
  EXPECT_EQ(BMSNextUploadingTime(in), base + 1800 * 127);
}

// Stamped while the clock ran ahead, read after it was set right: data counts as now, while a
// success or a failure is over - no interval after it and no retry steps.
TEST(UploadScheduleTest, DataAheadOfTheClockCountsAsNowASuccessOrFailureAheadIsOver) {
  BMSUploadScheduleInputs in = inputs();
  in.latestData = kNow + 40;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow + 15);
  in.latestData = kNow - 100;
  in.lastFailedUpload = kNow + 365 * 86400;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 15);
  // Data and failure both from a year ahead: the upload goes after the initial delay.
  in.latestData = kNow + 365 * 86400 - 60;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow + 15);
  in.latestData = kNow - 100;
  in.lastFailedUpload = 0;
  in.lastSuccessfulUpload = kNow + 1;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 15);
  // A failure after data that is newer still walks its retry steps, even with the success ahead.
  in.lastFailedUpload = kNow - 50;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 15 + 1800);
}

TEST(UploadScheduleTest, AFailureOlderThanTheLatestDataIsForgotten) {
  BMSUploadScheduleInputs in = inputs();
  in.lastFailedUpload = kNow - 101;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 15);
}

TEST(UploadScheduleTest, DebugModeCapsTheWaitAfterTheLatestData) {
  BMSUploadScheduleInputs in = inputs();
  in.debugMode = true;
  in.lastSuccessfulUpload = kNow - 5;
  in.interval = 10;
  EXPECT_EQ(BMSNextUploadingTime(in), kNow - 100 + 1);
}

}  // namespace
}  // namespace beacon
