#include "measurement/upload/BMSUploadSchedule.h"

#include <algorithm>
#include <cmath>

#include "platform/time/StampAge.h"

namespace beacon {

double BMSNextUploadingTime(const BMSUploadScheduleInputs& in) {
  if (std::fabs(in.latestData) < kBMSTimeEpsilon) return 0;
  // Data stamped ahead of the clock counts as now: it waits no longer than new data would.
  const double latest = std::min(in.latestData, in.now);
  // A success or a failure stamped ahead of the clock is over: no interval after it, and as a
  // failure older than any data, no retry steps.
  double next = platform::secondsSinceStamp(in.lastSuccessfulUpload, in.now) < in.interval
                    ? in.lastSuccessfulUpload + in.interval
                    : latest + in.initialDelay;
  if (platform::secondsSinceStamp(in.lastFailedUpload, in.now) <= in.now - latest) {
    double step = in.retryInterval;
    for (std::int64_t k = 0; k < in.retryCount; ++k, step *= 2) {
      next += step;
      if (next > in.lastFailedUpload) return next;
    }
    return 0;
  }
  return in.debugMode ? std::min(next, latest + in.debugInterval) : next;
}

}  // namespace beacon
