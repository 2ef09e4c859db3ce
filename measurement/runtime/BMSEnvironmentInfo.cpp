#include "measurement/runtime/BMSEnvironmentInfo.h"

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
  std::call_once(deviceModelOnce_, [this] { deviceModel_ = CVUAppEnvironmentUtil::deviceModel(); });
  return deviceModel_;
}

std::string BMSEnvironmentInfo::deviceOSVersion() const {
  return CVUAppEnvironmentUtil::systemVersion();
}

std::optional<std::string> BMSEnvironmentInfo::userDefaultLanguage() const {
  std::optional<std::string> language = platform::preferredLanguage();
  if (!language) return std::nullopt;
  return platform::lowercased(*language);
}

long BMSEnvironmentInfo::timeZoneOffsetMinutes() const {
  return platform::localTimeZoneOffsetSeconds(context_.clock().now()) / 60;
}

}  // namespace beacon
