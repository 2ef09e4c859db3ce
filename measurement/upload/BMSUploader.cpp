#include "measurement/upload/BMSUploader.h"

#include <algorithm>
#include <cmath>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/upload/BMSUploadSchedule.h"
#include "platform/time/StampAge.h"

namespace beacon {
namespace {

constexpr const char* kUploadTimerBlockID = "BMSMeasurement:1762";
constexpr const char* kReachabilityBlockID = "BMSMeasurement:1034";
// An armed upload time was worked out from a reading of the clock a moment before the next one;
// within this it is the same time, and the timer stays armed instead of being set again after every
// stored event.
constexpr double kSameUploadTime = 0.001;

bool isSuccess(long status) {
  return status == 200 || status == 204;
}

bool isOverload(long status) {
  return status == 429 || status == 503;
}

}  // namespace

std::shared_ptr<BMSUploader> BMSUploader::create(Collaborators collaborators) {
  return std::shared_ptr<BMSUploader>(new BMSUploader(std::move(collaborators)));
}

BMSRemoteConfig& BMSUploader::config() const {
  return *collaborators_.remoteConfig();
}

void BMSUploader::terminateBackgroundTask() {
  if (collaborators_.terminateBackgroundTask) collaborators_.terminateBackgroundTask();
}

void BMSUploader::stopScheduling(bool watchReachability) {
  if (watchReachability) {
    collaborators_.network->setReachabilityDelegate(weak_from_this());
  } else {
    collaborators_.network->setReachabilityDelegate({});
  }
  collaborators_.alarm->cancel();
  terminateBackgroundTask();
}

void BMSUploader::rescheduleAfterFailure() {
  collaborators_.alarm->cancel();
  updateSchedule();
}

void BMSUploader::reachabilityDidChange() {
  collaborators_.scheduler->scheduleOnWorkerQueueBlockID(kReachabilityBlockID, [weakSelf = weak_from_this()] {
    if (auto self = weakSelf.lock()) self->updateSchedule();
  });
}

void BMSUploader::updateSchedule() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("updateSchedule");
  if (suspendedUploadTimestamp_ != 0) {
    const double held =
        platform::secondsSinceStamp(suspendedUploadTimestamp_, collaborators_.clock->secondsSinceBoot());
    if (held < kSuspensionSeconds) {
      BMSLog(3, 23023, "Upload has been suspended. Will update scheduling later. Seconds",
             {kSuspensionSeconds - held});
      stopScheduling(false);
      return;
    }
    suspendedUploadTimestamp_ = 0;
  }
  // Worked out again after every stored event, from the database's kept answers.
  const BMSDatabase::UploadDataFacts facts = collaborators_.database->uploadDataFacts();
  const bool hasData = hasDataToUpload(facts);
  double next = hasData ? nextUploadingTime(facts) : 0;
  if (!hasData) {
    if (collaborators_.activateNewSnapshot) collaborators_.activateNewSnapshot();
    BMSLog(8, 23024, "No data to upload. Upload task will not be scheduled");
    stopScheduling(false);
    return;
  }
  if (std::fabs(next) < kBMSTimeEpsilon) {
    BMSLog(8, 23025, "No next uploading time. Upload task will not be scheduled");
    stopScheduling(false);
    return;
  }
  if (!collaborators_.network->isNetworkConnected()) {
    BMSLog(8, 23026, "No network. Upload task will not be scheduled");
    stopScheduling(true);
    return;
  }
  collaborators_.network->setReachabilityDelegate({});
  if (const std::optional<double> quietUntil = backoffEnd()) next = std::max(next, *quietUntil);

  if (const auto scheduled = collaborators_.alarm->scheduledTimestamp();
      scheduled && scheduled->unixSeconds() != 0 && scheduled->unixSeconds() <= next + kSameUploadTime) {
    BMSLog(8, 23027, "Do not schedule an upload task. Task already exists. Will be executed in seconds",
           {scheduled->unixSeconds() - now()});
    return;
  }
  double delay = next - now();
  if (std::fabs(delay) < kBMSTimeEpsilon) delay = 0.001;
  // A time already past means at once; the timer takes no negative delay.
  delay = std::max(delay, 0.0);
  collaborators_.alarm->runAfterDelay(delay, [weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->collaborators_.scheduler->scheduleOnWorkerQueueBlockID(kUploadTimerBlockID, [weakSelf] {
      if (auto self = weakSelf.lock()) self->uploadData();
    });
  });
  BMSLog(8, 23028, "Upload task scheduled to be executed in approx. (s)", {delay});
}

double BMSUploader::nextUploadingTime() {
  return nextUploadingTime(collaborators_.database->uploadDataFacts());
}

double BMSUploader::nextUploadingTime(const BMSDatabase::UploadDataFacts& facts) {
  const BMSRemoteConfig& settings = config();
  const BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  BMSUploadScheduleInputs inputs;
  inputs.now = now();
  inputs.lastSuccessfulUpload = persisted.lastSuccessfulUploadTimestamp();
  inputs.lastFailedUpload = persisted.lastFailedUploadTimestamp();

  if (!facts.latestRawEventTime)
    BMSLog(5, 23029, "Failed to query latest raw event time. Error",
           {BMSContextFromError(facts.latestRawEventTime.error())});
  if (!facts.latestBundleTime)
    BMSLog(5, 23030, "Failed to query latest bundle time. Error",
           {BMSContextFromError(facts.latestBundleTime.error())});
  inputs.latestData = std::max(facts.latestRawEventTime.valueOr(0), facts.latestBundleTime.valueOr(0));
  if (std::fabs(inputs.latestData) < kBMSTimeEpsilon) return 0;

  inputs.debugMode = collaborators_.isDebugModeEnabled && collaborators_.isDebugModeEnabled();
  bool realtime = inputs.debugMode;
  if (!realtime) {
    if (!facts.realtimeBundles)
      BMSLog(5, 23031, "Failed to query for real-time bundle indicator. Error",
             {BMSContextFromError(facts.realtimeBundles.error())});
    realtime = facts.realtimeBundles.valueOr(false);
  }
  if (!realtime) {
    if (!facts.realtimeRawEvents)
      BMSLog(5, 23032, "Failed to query for real-time raw event indicator. Error",
             {BMSContextFromError(facts.realtimeRawEvents.error())});
    realtime = facts.realtimeRawEvents.valueOr(false);
  }
  inputs.interval = realtime ? settings.uploadingRealTimeInterval() : settings.uploadingInterval();
  inputs.initialDelay = settings.uploadingInitialDelayInterval();
  inputs.retryCount = settings.uploadingRetryCount();
  inputs.retryInterval = settings.uploadingRetryInterval();
  inputs.debugInterval = settings.uploadingDebugModeInterval();
  return BMSNextUploadingTime(inputs);
}

bool BMSUploader::hasDataToUpload() {
  return hasDataToUpload(collaborators_.database->uploadDataFacts());
}

bool BMSUploader::hasDataToUpload(const BMSDatabase::UploadDataFacts& facts) {
  if (!facts.queueEmpty) {
    BMSLog(1, 23117, "Failed to check if queue table is empty. Error",
           {BMSContextFromError(facts.queueEmpty.error())});
    return false;
  }
  if (!*facts.queueEmpty) return true;
  if (!facts.rawEventsEmpty) {
    BMSLog(1, 23118, "Failed to check if raw events table is empty. Error",
           {BMSContextFromError(facts.rawEventsEmpty.error())});
    return false;
  }
  return !*facts.rawEventsEmpty;
}

void BMSUploader::uploadDataOrRegisterAlarm() {
  if (collaborators_.network->isNetworkConnected() && hasDataToUpload()) {
    uploadData();
  } else {
    updateSchedule();
  }
}

std::optional<double> BMSUploader::backoffEnd() {
  const double backoff = collaborators_.persistedConfig->lastBackoffTimestamp();
  const double interval = config().uploadingBackoffInterval();
  if (std::fabs(backoff) <= kBMSTimeEpsilon || platform::secondsSinceStamp(backoff, now()) >= interval)
    return std::nullopt;
  return backoff + interval;
}

void BMSUploader::uploadDataRespectingBackoff() {
  if (backoffEnd()) {
    updateSchedule();
  } else {
    uploadData();
  }
}

bool BMSUploader::isNetworkReadyForRequest() {
  const bool networkBusy = collaborators_.network->hasUploadInProgress();
  if (!networkRequestPending_) return !networkBusy;
  if (!networkBusy) BMSLog(1, 23041, "Analytics is uploading but network is not uploading");
  return false;
}

void BMSUploader::uploadData() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("uploadData");
  if (suspendedUploadTimestamp_ > 0) {
    updateSchedule();
    return;
  }
  BMSLog(8, 23033, "Starting data upload");
  if (!isNetworkReadyForRequest()) {
    BMSLog(8, 23034, "Network operation is pending. Ignoring upload request");
    return;
  }
  if (!collaborators_.network->isNetworkConnected()) {
    BMSLog(7, 23035, "Network not connected, ignoring upload request");
    updateSchedule();
    return;
  }
  BMSRemoteConfig& settings = config();
  if (!settings.isExpired()) {
    for (std::int64_t pass = 0; pass < settings.maxBundlesCreatedPerIteration(); ++pass)
      if (!collaborators_.bundleRawEvents()) break;
  }
  auto queried = collaborators_.database->queryBundlesWithCountLimit(settings.uploadMaxBundlesLimit(),
                                                                     settings.uploadMaxSizeLimitBytes());
  if (!queried) {
    BMSLog(1, 23036, "Failed to query bundles. Error", {BMSContextFromError(queried.error())});
    terminateBackgroundTask();
    return;
  }
  if (queried->empty()) {
    if (collaborators_.activateNewSnapshot) collaborators_.activateNewSnapshot();
    BMSLog(8, 23037, "No data to upload");
    if (settings.isExpired()) {
      fetchRemoteConfig();
    } else {
      terminateBackgroundTask();
    }
    return;
  }

  const std::string url = settings.uploadURL();
  if (settings.tcfFeatureEnabled() && collaborators_.reapplyTCFConsent) collaborators_.reapplyTCFConsent();
  const BMSUploadConsent consent = collaborators_.uploadConsent();
  BMSQueuedBundles bundles = std::move(*queried);
  BMSApplyUploadConsent(bundles, consent);

  const double started = now();
  const double lastSuccess = collaborators_.persistedConfig->lastSuccessfulUploadTimestamp();
  if (lastSuccess != 0)
    BMSLog(8, 23038, "Uploading events. Elapsed time since last successful upload (s)",
           {std::fabs(started - lastSuccess)});

  BMSUploadBatchSettings batchSettings;
  batchSettings.uploadTimeMillis = platform::saturatingInteger(started * 1000.0);
  batchSettings.libraryVersion = collaborators_.libraryVersion;
  batchSettings.dataControls = settings.dataControls();
  batchSettings.identifiers = consent.identifiers;
  batchSettings.checksumEnabled = settings.checksumEnabled();
  batchSettings.DMAConsentEnabled = consent.DMAConsentEnabled;
  BMSUploadBatch upload = BMSMakeUploadBatch(BMSBundlesOfFirstAppAndDevice(bundles), batchSettings);
  if (upload.rowIDs.empty()) {
    // Nothing may be posted; the bundles wait for the next scheduled pass.
    setUploadInProgressWithBundleIDs(upload.rowIDs);
    updateSchedule();
    return;
  }
  const std::optional<platform::Bytes> body = upload.batch.protoBuffer();
  if (!body) {
    // Bundles read back from the queue always encode again; should one not, it counts as a failed
    // send so its retry count rises towards the stale limit instead of blocking the queue.
    setUploadInProgressWithBundleIDs(upload.rowIDs);
    handleFailedUpload(0, bms_errorWithCode(23039, "The batch cannot be encoded"));
    return;
  }
  BMSLog(7, 23039, "Measurement data sent to network. Timestamp (ms), data",
         {batchSettings.uploadTimeMillis, static_cast<std::int64_t>(upload.rowIDs.size())});

  setUploadInProgressWithBundleIDs(upload.rowIDs);
  collaborators_.persistedConfig->setLastFailedUploadTimestamp(started);
  networkRequestPending_ = true;
  collaborators_.network->setTimeoutInterval(settings.networkTimeout());
  const auto sessionID = collaborators_.network->postURL(
      url, platform::HttpHeaders{}, *body, collaborators_.scheduler->workerQueue(),
      shouldUseBackgroundSession(),
      [weakSelf = weak_from_this()](const std::optional<platform::HttpResponse>& response,
                                    const std::optional<platform::Bytes>&,
                                    const std::optional<platform::Error>& error) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->networkRequestPending_ = false;
        self->networkUploadCompletionHandler(response, error);
      });
  if (!sessionID || sessionID->empty()) {
    BMSLog(2, 23040, "Unable to create network session.");
    uploadingBundleIDs_.clear();
  }
}

void BMSUploader::setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs) {
  if (bundleIDs.empty()) {
    BMSLog(2, 23046, "Bundle list is empty. Cancelling upload");
  } else if (!uploadingBundleIDs_.empty()) {
    BMSLog(2, 23047, "Set uploading progress before finishing the previous upload");
  } else {
    uploadingBundleIDs_ = bundleIDs;
  }
}

void BMSUploader::incrementRetryCounter() {
  if (uploadingBundleIDs_.empty()) return;
  if (auto counted = collaborators_.database->incrementRetryCounterForBundlesWithIDs(uploadingBundleIDs_);
      !counted)
    BMSLog(2, 23166, "Failed to update the bundles' retry counts. Error",
           {BMSContextFromError(counted.error())});
}

bool BMSUploader::removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs) {
  if (auto deleted = collaborators_.database->deleteBundlesWithRowIDs(bundleIDs); !deleted) {
    BMSLog(1, 23122, "Failed to delete bundles from database. Error", {BMSContextFromError(deleted.error())});
    return false;
  }
  return true;
}

void BMSUploader::networkUploadCompletionHandler(const std::optional<platform::HttpResponse>& response,
                                                 const std::optional<platform::Error>& error) {
  const long status = response ? response->statusCode : 0;
  if (isSuccess(status)) {
    handleSuccessfulUpload(status);
  } else {
    handleFailedUpload(status, error);
  }
}

void BMSUploader::handleSuccessfulUpload(long status) {
  BMSLog(7, 23044, "Successful upload. Got network response. Code, size",
         {static_cast<std::int64_t>(status)});
  // The sent bundles go first: until they are gone, a process that ends sends them once more.
  const bool deleted = removeBundlesFromDatabaseWithIDs(uploadingBundleIDs_);
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  persisted.setLastSuccessfulUploadTimestamp(now());
  persisted.setLastFailedUploadTimestamp(0);
  persisted.setLastBackoffTimestamp(0);
  updateSchedule();
  if (!deleted) {
    BMSLog(1, 23045, "Unable to delete uploaded bundles. Uploads will be suspended for seconds",
           {kSuspensionSeconds});
    suspendedUploadTimestamp_ = collaborators_.clock->secondsSinceBoot();
  } else {
    suspendedUploadTimestamp_ = 0;
  }
  uploadingBundleIDs_.clear();
  if (collaborators_.network->isNetworkConnected() && hasDataToUpload()) {
    uploadData();
  } else if (!config().isExpired()) {
    if (!collaborators_.resumePostponedRequest || !collaborators_.resumePostponedRequest()) updateSchedule();
  } else {
    uploadData();
  }
}

void BMSUploader::handleFailedUpload(long status, const std::optional<platform::Error>& error) {
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  persisted.setLastFailedUploadTimestamp(now());
  if (isOverload(status)) persisted.setLastBackoffTimestamp(now());
  BMSLog(7, 23043, "Network upload failed. Will retry later. Code, error",
         {static_cast<std::int64_t>(status), BMSContextFromError(error)});
  incrementRetryCounter();
  uploadingBundleIDs_.clear();
  rescheduleAfterFailure();
}

}  // namespace beacon
