// The facade's data reset: the bookkeeping that survives a crash in the middle of it (the retry
// count, the first open due, the new app instance ID) is written first, then the engine wipes.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"

namespace beacon {

void BMSAnalytics::resetAnalyticsData() {
  setLoadTimestamp(AnalyticsContext::current().nowSince1970());
  setResetRetryCount(resetRetryCount() + 1);
  setNeedFirstOpenAfterReset(true);
  const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared();
  const std::string newAppInstanceID = identity ? identity->randomAppInstanceID() : "";
  if (newAppInstanceID.empty()) {
    BMSLog(1, 25039, "Cannot generate a new app instance ID");
    return;
  }
  // While analytics storage is denied the new ID is neither kept nor handed on.
  std::optional<std::string> passed;
  if (!BMSConsentSettingsUtil::isAnalyticsStorageDenied()) {
    passed = newAppInstanceID;
    setAppInstanceIDAfterReset(newAppInstanceID);
  }
  queueOperationWithBlock([passed] {
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!engine || !engine->resetAnalyticsDataWithAppInstanceID(passed.value_or(""))) {
      // The keys stay: the engine's next start finishes the reset.
      BMSLog(1, 25037, "Failed to reset Analytics data");
      return;
    }
    setResetRetryCount(0);
    if (passed && appInstanceIDAfterReset() == passed) setAppInstanceIDAfterReset(std::nullopt);
  });
}

}  // namespace beacon
