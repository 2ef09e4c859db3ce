#include "sdk-core/BCNAnalyticsConfiguration.h"

#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesDomain.h"

namespace beacon {

const std::shared_ptr<BCNAnalyticsConfiguration>& BCNAnalyticsConfiguration::shared() {
  static const auto* const instance =
      new std::shared_ptr<BCNAnalyticsConfiguration>(new BCNAnalyticsConfiguration);
  return *instance;
}

void BCNAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool enabled) {
  setAnalyticsCollectionEnabled(enabled, true);
}

void BCNAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool enabled, bool persistSetting) {
  if (persistSetting) {
    const std::shared_ptr<platform::PreferencesDomain> defaults = platform::PreferencesDomain::application();
    // A write the disk refuses still holds for this run; the engine reads the switch in this process.
    (void)defaults->setObject(kBCNMeasurementEnabledStateKey,
                              enabled ? kBCNMeasurementEnabledStateOn : kBCNMeasurementEnabledStateOff);
    defaults->synchronize();
  }
  platform::NotificationCenter::defaultCenter().post(
      kBCNAnalyticsConfigurationSetEnabledNotification, this,
      platform::Dictionary{{kBCNAnalyticsConfigurationSetEnabledNotification, enabled}});
}

}  // namespace beacon
