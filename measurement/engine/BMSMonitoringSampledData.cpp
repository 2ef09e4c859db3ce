#include "measurement/engine/BMSMonitoringSampledData.h"

#include <algorithm>

#include "platform/text/Format.h"
#include "platform/time/StampAge.h"

namespace beacon {
namespace {

enum Field : std::size_t { kContext = 0, kPopulation = 1, kKey = 2, kStarted = 3 };

}  // namespace

BMSMonitoringSampledData::BMSMonitoringSampledData(const platform::Array& entry) {
  if (isValidUserDefaultsArrayEntry(entry)) entry_ = entry;
}

bool BMSMonitoringSampledData::isValidUserDefaultsArrayEntry(const platform::Array& entry) {
  return entry.size() == 4 && entry[kContext].isString() && entry[kPopulation].isNumber() &&
         entry[kKey].isString() && entry[kStarted].isDate();
}

platform::Array BMSMonitoringSampledData::sampledDataEntryWithKey(const std::string& key,
                                                                  platform::Date timestamp,
                                                                  const std::string& context,
                                                                  std::int64_t population) {
  return {context, static_cast<long long>(population), key, timestamp};
}

std::string BMSMonitoringSampledData::monitoringURLParamWithKey(const std::string& key,
                                                                std::int64_t population,
                                                                const std::string& context) {
  return context.empty() ? platform::format("%d:%@", population, key)
                         : platform::format("%d:%@:%@", population, key, context);
}

void BMSMonitoringSampledData::insertOrUpdateSampledDataWithKey(const std::string& key,
                                                                const std::string& encodedContext,
                                                                platform::Date now,
                                                                const RandomBelow& randomBelow) {
  if (!entry_) {
    entry_ = sampledDataEntryWithKey(key, now, encodedContext, 1);
    return;
  }
  platform::Array& entry = *entry_;
  const std::int64_t population = std::max<std::int64_t>(entry[kPopulation].integerValue(), 0) + 1;
  entry[kPopulation] = static_cast<long long>(population);
  if (randomBelow(static_cast<std::uint64_t>(population)) == 0) {
    entry[kKey] = key;
    entry[kContext] = encodedContext;
  }
}

std::optional<std::string> BMSMonitoringSampledData::monitoringDataForDispatchWithSamplePeriod(
    double samplePeriodSeconds, double lastSampledTimestampSince1970, platform::Date now) {
  if (!entry_) {
    if (lastSampledTimestampSince1970 > 0 &&
        platform::secondsFromStampEitherWay(lastSampledTimestampSince1970, now.unixSeconds()) >
            samplePeriodSeconds) {
      return "0:";
    }
    return std::nullopt;
  }
  const platform::Array& entry = *entry_;
  const double started = entry[kStarted].asDate()->secondsSinceReferenceDate;
  // A start ahead of the clock (set back since) is as far off as one behind it.
  if (platform::secondsFromStampEitherWay(started, now.secondsSinceReferenceDate) <= samplePeriodSeconds)
    return std::nullopt;
  std::string dispatched = monitoringURLParamWithKey(
      *entry[kKey].asString(), entry[kPopulation].integerValue(), *entry[kContext].asString());
  entry_.reset();
  return dispatched;
}

}  // namespace beacon
