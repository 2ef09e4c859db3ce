#pragma once
// The engine's counters of one day: how many events of each kind were stored on the day numbered
// `day`. A plain value; the database keeps it in its app metadata row. The increments start a new
// day first when the day given differs from the one counted.

#include <cstdint>

namespace beacon {

class BMSDailyCounts {
 public:
  BMSDailyCounts() = default;
  BMSDailyCounts(std::int32_t day, std::int32_t allEvents, std::int32_t publicEvents,
                 std::int32_t conversions, std::int32_t errorEvents, std::int32_t realtime,
                 std::int32_t dcuRealtime);

  std::int32_t day() const { return day_; }
  std::int32_t allEventsCount() const { return allEvents_; }
  std::int32_t publicEventsCount() const { return publicEvents_; }
  std::int32_t conversionsCount() const { return conversions_; }
  std::int32_t errorEventsCount() const { return errorEvents_; }
  std::int32_t realtimeCount() const { return realtime_; }
  std::int32_t dcuRealtimeCount() const { return dcuRealtime_; }

  // Every count 0, the day set.
  void resetWithNewDay(std::int32_t day);
  // All events += count; public events += count when public; conversions += 1 when a conversion.
  void incrementCountsForCurrentDay(std::int32_t day, bool isPublicEvent, bool isConversion,
                                    std::int32_t effectiveEventCount = 1);
  void incrementErrorEventsCountForCurrentDay(std::int32_t day);
  void incrementRealtimeCountsForCurrentDay(std::int32_t day);
  void incrementDCURealtimeCountsForCurrentDay(std::int32_t day);
  // Never below 0.
  void decrementAllEventsCount();

  friend bool operator==(const BMSDailyCounts&, const BMSDailyCounts&) = default;

 private:
  void startDay(std::int32_t day);

  std::int32_t day_ = 0;
  std::int32_t allEvents_ = 0;
  std::int32_t publicEvents_ = 0;
  std::int32_t conversions_ = 0;
  std::int32_t errorEvents_ = 0;
  std::int32_t realtime_ = 0;
  std::int32_t dcuRealtime_ = 0;
};

}  // namespace beacon
