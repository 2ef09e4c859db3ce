#include "measurement/pipeline/BMSDailyLimits.h"

#include <cmath>
#include <limits>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"

namespace beacon {
namespace {

constexpr std::int64_t kLogEveryOverLimitEvents = 1000;
constexpr std::int64_t kTooManyPublicEventsErrorCode = 16;

std::int32_t clampedToInt32(double value) {
  if (!(value >= std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
  if (value >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

bool isErrorEvent(const BMSEvent& event) {
  return event.name() == "_err";
}

// The excess (count minus limit) at which an over-limit event is logged: the first one and each
// thousandth after it.
bool isLoggedExcess(std::int64_t excess) {
  return excess % kLogEveryOverLimitEvents == 0;
}

platform::Value eventErrorCode(const BMSEvent& event) {
  auto code = event.parameters().find("_err");
  return code == event.parameters().end() ? platform::Value() : BMSPlainValue(code->second);
}

}  // namespace

std::int32_t BMSDayNumber(double nowSince1970, double midnightOffset) {
  return clampedToInt32(std::floor((nowSince1970 - midnightOffset) / 86400.0));
}

std::int32_t BMSEffectiveEventCount(const BMSEvent& event) {
  std::int64_t count = 1;
  for (const auto& [name, value] : event.parameters())
    if (const BMSValueItems* items = value.arrayValue())
      count += static_cast<std::int64_t>(items->elements.size());
  return clampedToInt32(static_cast<double>(count));
}

bool BMSIsRealtimeLimitedEvent(const BMSEvent& event, bool debugMode) {
  const std::string& name = event.name();
  return !debugMode && name != "_iap" && name != "_f" && name != "_dcu" && name != "_fx";
}

bool BMSIsRealtimeDCUEvent(const BMSEvent& event, bool debugMode) {
  return !debugMode && event.name() == "_dcu";
}

std::int32_t BMSDailyLimits::currentDay() const {
  const double offset = environment_.midnightOffset ? environment_.midnightOffset() : 0;
  return BMSDayNumber(environment_.clock->now().unixSeconds(), offset);
}

bool BMSDailyLimits::shouldProcessEvent(const BMSEvent& event, BMSDailyCounts& counts,
                                        bool isPublicEvent) const {
  const std::int32_t day = currentDay();
  if (counts.day() != day) counts.resetWithNewDay(day);
  const bool errorEvent = isErrorEvent(event);
  const auto countEvent = [&] {
    if (errorEvent)
      counts.incrementErrorEventsCountForCurrentDay(day);
    else
      counts.incrementCountsForCurrentDay(day, isPublicEvent, false, BMSEffectiveEventCount(event));
  };

  const std::int64_t maxEvents = remoteConfig_->maxEventsPerDay();
  const std::int64_t excess = std::int64_t{counts.allEventsCount()} - maxEvents;
  if (excess >= 0) {
    if (isLoggedExcess(excess))
      BMSLog(1, 23055, "Data loss. Too many events logged. Name, limit", {event.name(), maxEvents});
    countEvent();
    return false;
  }

  bool keep = true;
  if (errorEvent) {
    const std::int64_t maxErrors = remoteConfig_->maxErrorEventsPerDay();
    const std::int64_t errorExcess = std::int64_t{counts.errorEventsCount()} - maxErrors;
    if (errorExcess >= 0) {
      keep = false;
      if (isLoggedExcess(errorExcess))
        BMSLog(1, 23056, "Too many error events logged. Error code, limit",
               {eventErrorCode(event), maxErrors});
    }
  } else if (isPublicEvent) {
    const std::int64_t maxPublic = remoteConfig_->maxPublicEventsPerDay();
    const std::int64_t publicExcess = std::int64_t{counts.publicEventsCount()} - maxPublic;
    if (publicExcess >= 0) {
      keep = false;
      if (isLoggedExcess(publicExcess))
        BMSLog(1, 23057, "Data loss. Too many public events logged. Name, limit", {event.name(), maxPublic});
      BMSLogErrorEvent(kTooManyPublicEventsErrorCode);
    }
  }
  countEvent();
  if (!keep) counts.decrementAllEventsCount();
  return keep;
}

bool BMSDailyLimits::isRealtimeEvent(BMSEvent& event, const BMSDailyCounts& counts) const {
  const bool debugMode = isDebugMode();
  const bool limited = BMSIsRealtimeLimitedEvent(event, debugMode);
  const std::int64_t maxRealtime = remoteConfig_->maxRealtimeEventCountPerDay();
  const bool realtimeRoomLeft = counts.realtimeCount() < maxRealtime;

  const bool conversion = event.isConversion() || remoteConfig_->isEventCustomConversion(event.name());
  const bool conversionRealtime = conversion && (!limited || realtimeRoomLeft);

  if (event.isRealtime() && limited && !realtimeRoomLeft) {
    BMSLog(4, 23060, "Too many real-time events. Event is no longer real-time. Event name, parameters",
           {event.name(), platform::Value(BMSPlainParameters(event.parameters()))});
    event.setRealtime(false);
  }
  if (event.isRealtime() && BMSIsRealtimeDCUEvent(event, debugMode) &&
      counts.dcuRealtimeCount() >= remoteConfig_->maxRealtimeDCUEventCountPerDay())
    event.setRealtime(false);
  maybeAddDebugAndRealtimeParameters(event);
  return conversionRealtime || event.isRealtime();
}

void BMSDailyLimits::maybeAddDebugAndRealtimeParameters(BMSEvent& event) const {
  if (!isDebugMode()) return;
  event.setRealtime(true);
  event.setDebug(true);
  BMSLog(7, 23073, "Debug mode is enabled. Marking event as debug and real-time. Event name, parameters",
         {event.name(), platform::Value(BMSPlainParameters(event.parameters()))});
}

}  // namespace beacon
