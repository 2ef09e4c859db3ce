#include "measurement/runtime/BMSDefaultIdentitySupport.h"

#include <chrono>
#include <limits>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "platform/dispatch/Semaphore.h"

namespace beacon {
namespace {

constexpr std::chrono::milliseconds kComponentAnswerWait{10};

std::shared_ptr<BMSIdentitySupport> componentIn(const platform::ClassDirectory& classes) {
  const platform::ClassEntry* entry = classes.lookup(kBMSPlatformIdentitySupportClassName);
  BMSIdentitySupport* facet = entry ? entry->facet<BMSIdentitySupport>() : nullptr;
  // The directory owns the facet for the program's life; the engine only borrows it.
  return facet ? std::shared_ptr<BMSIdentitySupport>(facet, [](BMSIdentitySupport*) {}) : nullptr;
}

}  // namespace

BMSDefaultIdentitySupport& BMSDefaultIdentitySupport::shared() {
  return AnalyticsContext::current().identitySupport();
}

BMSDefaultIdentitySupport::BMSDefaultIdentitySupport(AnalyticsContext& context)
    : component_(componentIn(context.classes())) {
  if (component_) {
    BMSLog(7, 44000, "CorvaneAppMeasurementIdentitySupport dependency is linked.");
    if (component_->hasLimitedAdTracking()) {
      BMSLog(7, 44001, "The AdSupport Framework is linked.");
    } else {
      BMSLog(
          4, 44002,
          "The AdSupport Framework is not currently linked. Some features will not function properly. Learn "
          "more at https://beacon.corvane.example/docs/analytics/identity-support");
    }
  } else {
    BMSLog(4, 44003,
           "CorvaneAppMeasurementIdentitySupport dependency is not currently linked. IDFA will not be "
           "accessible.");
  }
  queue_ = platform::makeSerialQueue("BMSDefaultIdentitySupport");
}

bool BMSDefaultIdentitySupport::hasAppDataConsentStatus() {
  return component_ && component_->hasAppDataConsentStatus();
}

std::uint64_t BMSDefaultIdentitySupport::appDataConsentStatus() {
  return component_ ? component_->appDataConsentStatus() : std::numeric_limits<std::uint64_t>::max();
}

bool BMSDefaultIdentitySupport::hasLimitedAdTracking() {
  return component_ && component_->hasLimitedAdTracking();
}

bool BMSDefaultIdentitySupport::limitedAdTracking() {
  const std::optional<std::string> deviceID = resettableDeviceID();
  return !deviceID || *deviceID == kBMSZeroResettableDeviceID;
}

std::optional<std::string> BMSDefaultIdentitySupport::resettableDeviceID() {
  if (!component_) return std::nullopt;
  platform::Semaphore answered;
  // The block may outlive this call (and this object): it holds what it writes to.
  queue_->async([component = component_, mutex = storedMutex_, stored = storedDeviceID_, answered]() mutable {
    std::optional<std::string> fresh = component->resettableDeviceID();
    {
      std::lock_guard lock(*mutex);
      *stored = std::move(fresh);
    }
    answered.signal();
  });
  (void)answered.wait(kComponentAnswerWait);
  std::lock_guard lock(*storedMutex_);
  return *storedDeviceID_;
}

}  // namespace beacon
