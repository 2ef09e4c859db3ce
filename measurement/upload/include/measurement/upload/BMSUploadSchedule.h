#pragma once
// When the next upload should happen, from the last success, the last failure and the latest data:
// one interval after a recent success, else a short delay after the latest data; after a failure
// not older than the latest data, doubling retry steps, and none at all once they are used up.
// Data stamped ahead of the clock counts as now; a success or a failure stamped ahead of it is over
// (platform/time/StampAge.h).
// Pure arithmetic over seconds since 1970; any thread.

#include <cstdint>

namespace beacon {

struct BMSUploadScheduleInputs {
  double now = 0;
  double lastSuccessfulUpload = 0;  // 0: never
  double lastFailedUpload = 0;      // 0: never
  // The latest bundle or raw-event time; 0 when there is no data.
  double latestData = 0;
  // The real-time interval when real-time data waits (or in debug mode), else the normal one.
  double interval = 3600;
  double initialDelay = 15;
  std::int64_t retryCount = 6;
  double retryInterval = 1800;
  bool debugMode = false;
  double debugInterval = 1;
};

// Seconds since 1970 of the next upload; 0 when none is due (no data, or the retries are used up).
double BMSNextUploadingTime(const BMSUploadScheduleInputs& inputs);

// Below this, a time or a delay counts as zero.
inline constexpr double kBMSTimeEpsilon = 2.220446049250313e-16;

}  // namespace beacon
