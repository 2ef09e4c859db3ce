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
  // The local zone's offset from GMT in whole minutes, truncated ("-03:30" is -210).
  long timeZoneOffsetMinutes() const;

 private:
  AnalyticsContext& context_;
  std::once_flag deviceModelOnce_;
  std::string deviceModel_;
  std::once_flag deviceOSVersionOnce_;
  std::string deviceOSVersion_;
  mutable std::atomic<bool> languageFailureLogged_ = false;
};

}  // namespace beacon
