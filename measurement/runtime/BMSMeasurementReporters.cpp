// The engine's session reporter and the activation flag of the shared screen-view reporter.

#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {

std::shared_ptr<BMSSessionReporter> BMSMeasurement::sessionReporter() const {
  std::lock_guard lock(sessionReporterMutex_);
  return sessionReporter_;
}

void BMSMeasurement::resetSessionReporter() {
  std::shared_ptr<BMSSessionReporter> replacement = BMSSessionReporter::initWithPersistedConfig(
      persistedConfig_, context_.reporterHost(), context_.sharedClock(), context_.notifications());
  replacement->setReportingEnabled(enabled_);
  std::shared_ptr<BMSSessionReporter> replaced;
  {
    std::lock_guard lock(sessionReporterMutex_);
    replaced = std::exchange(sessionReporter_, std::move(replacement));
  }
  if (replaced) replaced->invalidate();
}

bool BMSIsAppActive() {
  return AnalyticsContext::current().screenViewReporter()->isAppActive();
}

}  // namespace beacon
