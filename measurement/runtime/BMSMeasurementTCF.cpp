// The engine's client of the consent a consent-management platform left in the application's
// preferences: made with the components when the configuration enables it, and read again before
// each upload so that consent changed meanwhile goes out with it.

#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "measurement/storage/BMSTCFClient.h"

namespace beacon {

void BMSMeasurement::startTCFClientOnWorkerQueue() {
  if (!remoteConfig_->tcfFeatureEnabled()) return;
  tcfClient_ = std::make_shared<BMSTCFClient>([](const platform::Dictionary& settings) {
    BMSAnalytics::setConsent(settings, kBMSFacadeConsentTCFKey);
  });
  tcfClient_->setIsDMARegion(remoteConfig_->isDMARegion());
  tcfClientSetConsentFromData();
}

void BMSMeasurement::tcfClientSetConsentFromData() {
  if (tcfClient_) tcfClient_->setConsentFromTCFData();
}

}  // namespace beacon
