#include "measurement/upload/BMSUploadSchedule.h"

#include <algorithm>
#include <cmath>

namespace beacon {

double BMSNextUploadingTime(const BMSUploadScheduleInputs& in) {
  if (std::fabs(in.latestData) < kBMSTimeEpsilon) return 0;
  // A latest time in the future counts as that far in the past.
  const double latest = in.now - std::fabs(in.latestData - in.now);
  double next = std::fabs(in.now - in.lastSuccessfulUpload) < in.interval
                    ? in.lastSuccessfulUpload + in.interval
                    : latest + in.initialDelay;
  if (in.lastFailedUpload >= latest) {
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
