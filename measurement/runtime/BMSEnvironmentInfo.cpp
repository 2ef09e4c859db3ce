#include "measurement/runtime/BMSEnvironmentInfo.h"

#include <cerrno>
#include <cstring>
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"

#include "platform/locale/UserLocale.h"
#include "platform/text/Search.h"
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
  return platform::localTimeZoneOffsetSeconds(context_.clock().now()) / 60;
}

}  // namespace beacon
