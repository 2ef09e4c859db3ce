#include "measurement/reporters/BMSSequenceTimestampsCache.h"

#include <algorithm>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/value/Value.h"

namespace beacon {

std::optional<std::vector<double>> BMSSequenceTimestampsCache::sequenceTimestampsForFilterID(
    std::int64_t filterID) const {
  const auto found = allSequenceTimestampsByFilterID_.find(filterID);
  if (found == allSequenceTimestampsByFilterID_.end()) return std::nullopt;
  return found->second;
}

void BMSSequenceTimestampsCache::addEventFilterTimestamp(double timestamp, std::int64_t filterID) {
  std::vector<double>& timestamps = allSequenceTimestampsByFilterID_[filterID];
  if (!timestamps.empty()) {
    if (timestamp < timestamps.back()) {
      BMSLog(5, 42000, "Adding a sequence timestamp less than the last added timestamp");
    }
    if (platform::saturatingInteger(timestamp) == platform::saturatingInteger(timestamps.back())) return;
  }
  timestamps.push_back(timestamp);
}

void BMSSequenceTimestampsCache::setUserPropertyTimestamp(double timestamp, std::int64_t filterID) {
  std::vector<double>& timestamps = allSequenceTimestampsByFilterID_[filterID];
  if (!timestamps.empty() && timestamp < timestamps.back()) {
    BMSLog(5, 42001, "Setting a sequence timestamp less than the last set timestamp");
  }
  timestamps.assign(1, timestamp);
}

std::vector<BMSPBSequenceFilterResultTimestamp> BMSSequenceTimestampsCache::sequenceFilterResultTimestamps()
    const {
  std::vector<BMSPBSequenceFilterResultTimestamp> results;
  for (const auto& [filterID, timestamps] : allSequenceTimestampsByFilterID_) {
    BMSPBSequenceFilterResultTimestamp result;
    NANOSetInt32(result, SequenceFilterResultTimestampField::kFilterID, static_cast<std::int32_t>(filterID));
    if (!timestamps.empty()) {
      std::vector<double> sorted = timestamps;
      std::sort(sorted.begin(), sorted.end());
      NANOSetArray(result, SequenceFilterResultTimestampField::kTimestampsMillis, sorted);
    }
    results.push_back(std::move(result));
  }
  return results;
}

}  // namespace beacon
