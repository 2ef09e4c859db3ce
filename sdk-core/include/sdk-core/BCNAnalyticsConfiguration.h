#pragma once
// Carries the analytics on/off switch from the SDK core to the analytics engine: each change is
// posted as "BCNAnalyticsConfigurationSetEnabledNotification" (sender: the shared instance; user
// info: the notification's own name -> the new boolean), and may be persisted for the engine's next
// start as "/corvane/measurement/measurement_enabled_state" (1 on, 2 off).
//
// Threads: any thread; the notification is delivered to unqueued observers on the calling thread.

#include <memory>

namespace beacon {

inline constexpr const char* kBCNAnalyticsConfigurationSetEnabledNotification =
    "BCNAnalyticsConfigurationSetEnabledNotification";
inline constexpr const char* kBCNMeasurementEnabledStateKey =
    "/corvane/measurement/measurement_enabled_state";
inline constexpr int kBCNMeasurementEnabledStateOn = 1;
inline constexpr int kBCNMeasurementEnabledStateOff = 2;

class BCNAnalyticsConfiguration {
 public:
  // The one process-wide instance.
  static const std::shared_ptr<BCNAnalyticsConfiguration>& shared();

  BCNAnalyticsConfiguration(const BCNAnalyticsConfiguration&) = delete;
  BCNAnalyticsConfiguration& operator=(const BCNAnalyticsConfiguration&) = delete;

  // Persists the switch, then posts it.
  void setAnalyticsCollectionEnabled(bool enabled);
  // Persists (and writes the preferences through) only when asked; posts in every case.
  void setAnalyticsCollectionEnabled(bool enabled, bool persistSetting);

 private:
  BCNAnalyticsConfiguration() = default;
};

}  // namespace beacon
