// The engine's reactions to the application's notifications, writing its persisted state to disk,
// and the bridge of its HTTP client's log lines.

#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSPersistedConfig.h"

namespace beacon {

void BMSMeasurement::terminateBackgroundTask() {
  persistedConfig_->synchronizeToDisk();
}

}  // namespace beacon
