#pragma once
// The engine's bridge to the optional identity-support component (BMSIdentitySupport.h). Without the
// component it answers neutrally: no consent status (all bits set), no limited-ad-tracking
// information, no device ID, and ad tracking limited.
//
// The component is asked for the device ID only on this object's own serial queue
// "BMSDefaultIdentitySupport", and a caller waits for it at most 10 ms: a slow component yields the
// ID stored by an earlier call (none the first time), and its fresh answer serves the next call.
// The stored ID is guarded by a lock. Owned by the AnalyticsContext; any thread.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "measurement/runtime/BMSIdentitySupport.h"
#include "platform/dispatch/Queue.h"

namespace beacon {

class AnalyticsContext;

class BMSDefaultIdentitySupport final : public BMSIdentitySupport {
 public:
  // The current context's instance.
  static BMSDefaultIdentitySupport& shared();
  // Looks the component up in the context's class directory.
  explicit BMSDefaultIdentitySupport(AnalyticsContext& context);

  static bool iOS14OrAbove() { return true; }
  bool hasComponent() const { return component_ != nullptr; }

  bool hasAppDataConsentStatus() override;
  std::uint64_t appDataConsentStatus() override;
  bool hasLimitedAdTracking() override;
  bool limitedAdTracking() override;
  std::optional<std::string> resettableDeviceID() override;

 private:
  std::shared_ptr<BMSIdentitySupport> component_;
  platform::QueueRef queue_;
  std::shared_ptr<std::mutex> storedMutex_ = std::make_shared<std::mutex>();
  std::shared_ptr<std::optional<std::string>> storedDeviceID_ =
      std::make_shared<std::optional<std::string>>();
};

}  // namespace beacon
