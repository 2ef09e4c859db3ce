// The engine's search-ad attribution: the reporter made at component start, over the worker queue
// and the persisted state, switched with collection.

#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSSearchAdReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {

void BMSMeasurement::startSearchAdReporterOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("startSearchAdReporterOnWorkerQueue");
  makeSearchAdReporter(true);
}

void BMSMeasurement::restartSearchAdReporterOnWorkerQueue() {
  // Dropping the old reporter cancels its alarm; its pending reply finds it gone.
  searchAdReporter_.reset();
  makeSearchAdReporter(enabled_);
}

void BMSMeasurement::makeSearchAdReporter(bool enabled) {
  searchAdReporter_ = BMSSearchAdReporter::initWithWorkerQueue(
      scheduler_->workerQueue(), persistedConfig_,
      {context_.reporterHost(), context_.sharedClock(), &context_.classes()});
  if (!searchAdReporter_) return;
  searchAdReporter_->setSearchAdReporterEnabled(enabled);
  searchAdReporter_->start();
}

void BMSMeasurement::setSearchAdReporterEnabledOnWorkerQueue(bool enabled) {
  if (searchAdReporter_) searchAdReporter_->setSearchAdReporterEnabled(enabled);
}

}  // namespace beacon
