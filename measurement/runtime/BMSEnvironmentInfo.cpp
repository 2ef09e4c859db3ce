#include "measurement/runtime/BMSEnvironmentInfo.h"

#include <cerrno>
#include <cstring>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "platform/locale/UserLocale.h"
#include "platform/process/ProcessInfo.h"
#include "platform/text/Search.h"
#include "platform/time/StampAge.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {

BMSEnvironmentInfo& BMSEnvironmentInfo::shared() {
  return AnalyticsContext::current().environmentInfo();
}

BMSEnvironmentInfo::BMSEnvironmentInfo(AnalyticsContext& context) : context_(context) {}

std::string BMSEnvironmentInfo::deviceModel() {
  std::call_once(deviceModelOnce_, [this] {
    errno = 0;
    deviceModel_ = CVUAppEnvironmentUtil::deviceModel();
    if (deviceModel_.empty()) BMSLog(2, 14000, "Failed to get device model", {std::strerror(errno)});
  });
  return deviceModel_;
}

std::string BMSEnvironmentInfo::deviceOSVersion() {
  std::call_once(deviceOSVersionOnce_, [this] { deviceOSVersion_ = CVUAppEnvironmentUtil::systemVersion(); });
  return deviceOSVersion_;
}

std::optional<std::string> BMSEnvironmentInfo::userDefaultLanguage() const {
  std::optional<std::string> language = platform::preferredLanguage();
  if (!language) {
    // Asked for every event: under a locale that names no language, one line says it.
    if (!languageFailureLogged_.exchange(true)) BMSLog(2, 14001, "Failed to get preferred language");
    return std::nullopt;
  }
  return platform::lowercased(*language);
}

long BMSEnvironmentInfo::timeZoneOffsetMinutes() const {
  constexpr double kKeptSeconds = 1;
  const platform::Date now = context_.clock().now();
  std::optional<std::string> zone = platform::ProcessInfo::environmentValue("TZ");
  std::lock_guard lock(keptOffsetMutex_);
  if (keptOffset_ && keptOffset_->zone == zone &&
      platform::secondsSinceStamp(keptOffset_->readAtSeconds, now.unixSeconds()) < kKeptSeconds)
    return keptOffset_->minutes;
  const long minutes = platform::localTimeZoneOffsetSeconds(now) / 60;
  keptOffset_ = KeptOffset{std::move(zone), now.unixSeconds(), minutes};
  return minutes;
}

}  // namespace beacon
