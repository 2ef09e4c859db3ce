#pragma once
// Reads the consent a consent-management platform left in the application's preferences under the
// industry's "IABTCF_" keys and hands it on as consent settings.
//
// The keys are read only when a consent-management platform is recorded ("IABTCF_CmpSdkID") and
// says the rules apply ("IABTCF_gdprApplies" = 1; numbers stored as text count too). Purposes come
// from "IABTCF_PurposeConsents", one character per purpose, '1' = consent:
//   ad_storage ← purpose 1; ad_user_data ← purposes 1 and 7; ad_personalization ← purposes 3 and 4.
// Analytics storage has no purpose of its own there and is left as it is. Without such data nothing
// is applied.
//
// Threads: the caller's (the engine's worker queue); the preferences are safe from any thread.

#include <functional>
#include <memory>

#include "measurement/engine/BMSUserDefaults.h"
#include "platform/value/Value.h"

namespace beacon {

class BMSTCFClient {
 public:
  // `applyConsent` receives the settings read (type → "granted"/"denied"); the facade stores them
  // as its TCF consent.
  using ConsentSink = std::function<void(const platform::Dictionary& settings)>;

  explicit BMSTCFClient(ConsentSink applyConsent,
                        std::shared_ptr<BMSUserDefaults> preferences = BMSUserDefaults::sharedUserDefaults());

  // Recorded for diagnostics only.
  void setIsDMARegion(bool isDMARegion) { isDMARegion_ = isDMARegion; }
  bool isDMARegion() const { return isDMARegion_; }

  // Reads the TCF keys again and applies what they say; answers the settings applied (empty when
  // there was no applicable TCF data and nothing was applied).
  platform::Dictionary setConsentFromTCFData();

 private:
  ConsentSink applyConsent_;
  std::shared_ptr<BMSUserDefaults> preferences_;
  bool isDMARegion_ = false;
};

}  // namespace beacon
