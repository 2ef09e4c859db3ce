#include "measurement/upload/BMSUploadSchedule.h"

#include <algorithm>
#include <cmath>

#include "measurement/engine/BMSStampAge.h"

namespace beacon {

double BMSNextUploadingTime(const BMSUploadScheduleInputs& in) {
  if (std::fabs(in.latestData) < kBMSTimeEpsilon) return 0;
  // Data, a success or a failure stamped ahead of the clock counts as now. (Data mirrored into the
  // past instead would leave a failure stamped in the same while newer than the data, and its retry
  // steps used up long ago: nothing would be scheduled until the clock caught up.)
  const double latest = BMSStampNotAfterNow(in.latestData, in.now);
  const double lastSuccess = BMSStampNotAfterNow(in.lastSuccessfulUpload, in.now);
  const double lastFailure = BMSStampNotAfterNow(in.lastFailedUpload, in.now);
  double next =
      BMSStampAge(lastSuccess, in.now) < in.interval ? lastSuccess + in.interval : latest + in.initialDelay;
  if (lastFailure >= latest) {
    double step = in.retryInterval;
    for (std::int64_t k = 0; k < in.retryCount; ++k, step *= 2) {
      next += step;
      if (next > lastFailure) return next;
    }
    return 0;
  }
  return in.debugMode ? std::min(next, latest + in.debugInterval) : next;
}

}  // namespace beacon
