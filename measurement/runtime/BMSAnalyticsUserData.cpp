// The facade's hand-over of the user's data for on-device conversion measurement.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {

void BMSAnalytics::setUserData(const platform::Dictionary& userData) {
  queueOperationWithBlockThenWait([userData] {
    if (!isEnabled()) {
      BMSLog(4, 25044, "Analytics is disabled. User data not set.");
      return;
    }
    if (const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance())
      engine->setUserData(userData);
  });
}

}  // namespace beacon
