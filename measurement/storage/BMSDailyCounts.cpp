#include "measurement/storage/BMSDailyCounts.h"

#include <limits>

namespace beacon {
namespace {

// Counters saturate: a day never holds 2^31 events, and wrapping to negative would lift every limit.
void add(std::int32_t& counter, std::int32_t amount) {
  const std::int64_t sum = static_cast<std::int64_t>(counter) + amount;
  counter = static_cast<std::int32_t>(sum > std::numeric_limits<std::int32_t>::max()
                                          ? std::numeric_limits<std::int32_t>::max()
                                      : sum < 0 ? 0
                                                : sum);
}

}  // namespace

BMSDailyCounts::BMSDailyCounts(std::int32_t day, std::int32_t allEvents, std::int32_t publicEvents,
                               std::int32_t conversions, std::int32_t errorEvents, std::int32_t realtime,
                               std::int32_t dcuRealtime)
    : day_(day),
      allEvents_(allEvents),
      publicEvents_(publicEvents),
      conversions_(conversions),
      errorEvents_(errorEvents),
      realtime_(realtime),
      dcuRealtime_(dcuRealtime) {}

void BMSDailyCounts::resetWithNewDay(std::int32_t day) {
  *this = BMSDailyCounts(day, 0, 0, 0, 0, 0, 0);
}

void BMSDailyCounts::startDay(std::int32_t day) {
  if (day != day_) resetWithNewDay(day);
}

void BMSDailyCounts::incrementCountsForCurrentDay(std::int32_t day, bool isPublicEvent, bool isConversion,
                                                  std::int32_t effectiveEventCount) {
  startDay(day);
  add(allEvents_, effectiveEventCount);
  if (isPublicEvent) add(publicEvents_, effectiveEventCount);
  if (isConversion) add(conversions_, 1);
}

void BMSDailyCounts::incrementErrorEventsCountForCurrentDay(std::int32_t day) {
  startDay(day);
  add(errorEvents_, 1);
}

void BMSDailyCounts::incrementRealtimeCountsForCurrentDay(std::int32_t day) {
  startDay(day);
  add(realtime_, 1);
}

void BMSDailyCounts::incrementDCURealtimeCountsForCurrentDay(std::int32_t day) {
  startDay(day);
  add(dcuRealtime_, 1);
}

void BMSDailyCounts::decrementAllEventsCount() {
  add(allEvents_, -1);
}

}  // namespace beacon
