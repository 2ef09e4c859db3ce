#pragma once
// The monitor's privacy-reduced sample of recent problems: at most one entry - [encoded context,
// population, monitoring key, start time] - chosen by reservoir sampling among the monitorable
// messages since the entry was started, so every message of a period is equally likely to be the
// one kept whatever the message rate.
//
// Not thread-safe: the monitor keeps it on its own queue.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace beacon {

class BMSMonitoringSampledData {
 public:
  // Answers a uniform random integer below `bound` (bound > 0).
  using RandomBelow = std::function<std::uint64_t(std::uint64_t bound)>;

  BMSMonitoringSampledData() = default;
  // Keeps the entry only when isValidUserDefaultsArrayEntry accepts it.
  explicit BMSMonitoringSampledData(const platform::Array& entry);

  // Exactly four elements: string, number, string, date.
  static bool isValidUserDefaultsArrayEntry(const platform::Array& entry);
  static platform::Array sampledDataEntryWithKey(const std::string& key, platform::Date timestamp,
                                                 const std::string& context, std::int64_t population);
  // "population:key", or "population:key:context" when the context is not empty.
  static std::string monitoringURLParamWithKey(const std::string& key, std::int64_t population,
                                               const std::string& context);

  // Starts an entry with population 1, or counts one more message and, with probability
  // 1/population, makes this message the one kept (the start time stays).
  void insertOrUpdateSampledDataWithKey(const std::string& key, const std::string& encodedContext,
                                        platform::Date now, const RandomBelow& randomBelow);
  // The dispatch text for the upload path (see the monitor), removing a dispatched entry.
  std::optional<std::string> monitoringDataForDispatchWithSamplePeriod(double samplePeriodSeconds,
                                                                       double lastSampledTimestampSince1970,
                                                                       platform::Date now);
  std::optional<platform::Array> sampledData() const { return entry_; }

 private:
  std::optional<platform::Array> entry_;
};

}  // namespace beacon
