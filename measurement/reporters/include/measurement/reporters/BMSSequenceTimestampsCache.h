#pragma once
// For one audience, the times at which each of its sequence filters matched, so that audience
// evaluation can check the order of a sequence's steps and hand the times back in the audience's
// filter result. A plain value, used on one queue at a time.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "measurement/messages/NANOMessage.h"

namespace beacon {

class BMSSequenceTimestampsCache {
 public:
  explicit BMSSequenceTimestampsCache(std::int64_t audienceID) : audienceID_(audienceID) {}

  std::int64_t audienceID() const { return audienceID_; }
  // The filter's times in the order added; nothing for an unknown filter.
  std::optional<std::vector<double>> sequenceTimestampsForFilterID(std::int64_t filterID) const;
  // Appends the time unless the last one has the same whole number of seconds. A time below the last
  // one is logged (42000) and still appended.
  void addEventFilterTimestamp(double timestamp, std::int64_t filterID);
  // The filter's times become this one alone; a time below the last one is logged (42001).
  void setUserPropertyTimestamp(double timestamp, std::int64_t filterID);
  // One message per filter in ascending filter ID, its times sorted ascending.
  std::vector<BMSPBSequenceFilterResultTimestamp> sequenceFilterResultTimestamps() const;

 private:
  std::int64_t audienceID_;
  std::map<std::int64_t, std::vector<double>> allSequenceTimestampsByFilterID_;
};

}  // namespace beacon
