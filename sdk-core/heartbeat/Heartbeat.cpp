#include "sdk-core/heartbeat/Heartbeat.h"

namespace beacon {

double timeInterval(TimePeriod period) {
  switch (period) {
    case TimePeriod::daily:
      return 86400.0;
  }
  return 86400.0;
}

std::optional<TimePeriod> timePeriodFromRawValue(std::int64_t rawValue) {
  for (TimePeriod period : kAllTimePeriods) {
    if (static_cast<std::int64_t>(period) == rawValue) return period;
  }
  return std::nullopt;
}

HeartbeatsPayload Heartbeat::makePayload() const {
  return HeartbeatsPayload{{{agent, {date}}}, HeartbeatsPayload::kVersion};
}

static_assert(HeartbeatsPayloadConvertible<Heartbeat>);

}  // namespace beacon
