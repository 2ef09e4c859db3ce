#pragma once
// The device facts the engine writes into every upload bundle: device model and operating system
// version (each read once: neither changes under a running process), the user's preferred language
// and the local time zone's offset. Owned by the AnalyticsContext; any thread.

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

namespace beacon {

class AnalyticsContext;

class BMSEnvironmentInfo {
 public:
  // The current context's instance.
  static BMSEnvironmentInfo& shared();
  explicit BMSEnvironmentInfo(AnalyticsContext& context);

  std::string deviceModel();
  std::string deviceOSVersion();
  // Lower-cased ("de-de"); nullopt when the user names no language (logged once: 14001).
  std::optional<std::string> userDefaultLanguage() const;
  // The local zone's offset from GMT in whole minutes, truncated ("-03:30" is -210). Asked for every
  // stored event, and finding the zone looks at the zone file each time: an offset read is answered
  // again for a second of the clock while TZ names the same zone (a changed zone, or the switch to
  // summer time, shows within that second).
  long timeZoneOffsetMinutes() const;

 private:
  AnalyticsContext& context_;
  std::once_flag deviceModelOnce_;
  std::string deviceModel_;
  std::once_flag deviceOSVersionOnce_;
  std::string deviceOSVersion_;
  mutable std::atomic<bool> languageFailureLogged_ = false;
  struct KeptOffset {
    std::optional<std::string> zone;
    double readAtSeconds = 0;
    long minutes = 0;
  };
  mutable std::mutex keptOffsetMutex_;
  mutable std::optional<KeptOffset> keptOffset_;
};

}  // namespace beacon
