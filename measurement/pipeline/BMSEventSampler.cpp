#include "measurement/pipeline/BMSEventSampler.h"

#include <cmath>
#include <map>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

std::int32_t accountDay(double seconds, std::int64_t timeZoneOffsetMinutes) {
  return static_cast<std::int32_t>(
      std::trunc((seconds + 60.0 * static_cast<double>(timeZoneOffsetMinutes)) / 86400.0));
}

std::vector<BMSPBEventParam> parametersOf(const BMSPBEvent& event) {
  return NANOGetArray<BMSPBEventParam>(event, EventField::kParams);
}

std::optional<std::int64_t> integerParameter(const BMSPBEvent& event, const std::string& name) {
  for (const auto& parameter : parametersOf(event))
    if (NANOGetString(parameter, EventParamField::kName) == name &&
        NANOHasField(parameter, EventParamField::kIntValue))
      return NANOGetInt64(parameter, EventParamField::kIntValue);
  return std::nullopt;
}

// Adds an integer parameter unless the event has one of that name.
void addParameterIfAbsent(BMSPBEvent& event, const std::string& name, std::int64_t value) {
  auto parameters = parametersOf(event);
  for (const auto& parameter : parameters) {
    if (NANOGetString(parameter, EventParamField::kName) == name) {
      BMSLog(4, 23156, "Event parameter already exists. Parameter name", {name});
      return;
    }
  }
  BMSPBEventParam added;
  NANOSetString(added, EventParamField::kName, name);
  NANOSetInt64(added, EventParamField::kIntValue, value);
  parameters.push_back(std::move(added));
  NANOSetArray(event, EventField::kParams, parameters);
}

}  // namespace

bool BMSEventSampler::canEventBeSampled(const BMSPBEvent& event) const {
  const std::string name = NANOGetString(event, EventField::kName).value_or("");
  if (!remoteConfig_->isEventSamplingEnabled() || !remoteConfig_->eventHasSamplingRate(name)) return false;
  if (remoteConfig_->samplingRateForEvent(name) <= 1) {
    BMSLog(5, 23154, "Invalid sampling rate provided");
    return false;
  }
  return true;
}

std::optional<std::vector<BMSPBEvent>> BMSEventSampler::sampleEvents(const std::vector<BMSPBEvent>& events) {
  auto all = database_->allEventAggregates();
  if (!all) {
    BMSLog(1, 23157, "Unable to query all event aggregates for cache. error",
           {BMSContextFromError(all.error())});
    return std::nullopt;
  }
  std::map<std::string, BMSEventAggregates, std::less<>> cache;
  for (auto& aggregates : *all) cache.emplace(aggregates.name(), std::move(aggregates));

  const std::int64_t timeZoneOffset = remoteConfig_->analyticsAccountTimeZoneOffsetMinutes();
  std::vector<BMSPBEvent> kept;
  for (BMSPBEvent event : events) {
    const auto name = NANOGetString(event, EventField::kName);
    if (!name || name->empty()) {
      BMSLog(2, 23155, "Dropping event at sampling. Event has no name");
      continue;
    }
    const double seconds = static_cast<double>(NANOGetInt64(event, EventField::kTimestampMillis)) / 1000.0;
    const std::int32_t day = accountDay(seconds, timeZoneOffset);
    auto entry = cache.find(*name);
    if (entry == cache.end()) {
      // The name's row went away since the event was written (a reset in between): start one.
      auto fresh = BMSEventAggregates::initWithName(*name, 0, 0, 0, 0);
      if (!fresh) {
        kept.push_back(std::move(event));
        continue;
      }
      entry = cache.emplace(*name, std::move(*fresh)).first;
    }
    BMSEventAggregates& aggregates = entry->second;

    if (!canEventBeSampled(event)) {
      aggregates.lastBundledTimestamp = seconds;
      aggregates.lastBundledDay = day;
      kept.push_back(std::move(event));
      continue;
    }
    const std::int32_t rate = remoteConfig_->samplingRateForEvent(*name);
    aggregates.lastSamplingRate = rate;
    if (isEventBundledAfterRoll(rate)) {
      aggregates.lastSampledComplexEventID.reset();
      aggregates.lastBundledTimestamp = seconds;
      aggregates.lastBundledDay = day;
      addParameterIfAbsent(event, "_sr", rate);
      kept.push_back(std::move(event));
      continue;
    }
    const std::int32_t lastDay =
        aggregates.lastBundledDay != 0
            ? aggregates.lastBundledDay
            : accountDay(
                  static_cast<double>(NANOGetInt64(event, EventField::kPreviousTimestampMillis)) / 1000.0,
                  timeZoneOffset);
    if (lastDay != day) {
      aggregates.lastBundledTimestamp = seconds;
      aggregates.lastBundledDay = day;
      aggregates.lastExemptFromSampling = true;
      addParameterIfAbsent(event, "_sr", rate);
      addParameterIfAbsent(event, "_efs", 1);
      kept.push_back(std::move(event));
    } else if (auto complexEventID = integerParameter(event, "_eid")) {
      aggregates.lastSampledComplexEventID = *complexEventID;
    }
  }

  for (const auto& [name, cached] : cache) {
    auto stored = database_->eventAggregatesWithName(name);
    if (!stored) {
      BMSLog(1, 23151, "Unable to query event aggregates to update database. Name, error",
             {name, BMSContextFromError(stored.error())});
      return std::nullopt;
    }
    BMSEventAggregates updated = stored->has_value() ? **stored : cached;
    if (cached.lastBundledTimestamp != 0) updated.lastBundledTimestamp = cached.lastBundledTimestamp;
    updated.lastSamplingRate = cached.lastSamplingRate;
    updated.lastSampledComplexEventID = cached.lastSampledComplexEventID;
    updated.lastExemptFromSampling = cached.lastExemptFromSampling;
    updated.lastBundledDay = cached.lastBundledDay;
    if (auto written = database_->updateEventAggregates(updated); !written) {
      BMSLog(1, 23152,
             "Failed to update event aggregates after removing removing events due to sampling. Error",
             {BMSContextFromError(written.error())});
      return std::nullopt;
    }
  }
  return kept;
}

}  // namespace beacon
