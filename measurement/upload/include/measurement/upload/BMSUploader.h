#pragma once
// The engine's road to the analytics service: when to upload (the "Measurement timer"), the upload
// of queued bundles as one gzip-compressed batch, what the answer does to the queue (200 and 204
// delete the sent bundles by row ID; 429 and 503 start a back-off; anything else counts as a failure
// with retries), and the fetch of the downloaded configuration with its conditional GET.
//
// Everything runs on the engine's worker queue: the timer block and the network completions come
// back there, and hold the uploader weakly. Reachability changes arrive from the network (any
// thread) and only schedule work. The bundles stay queued until a confirmed send, so a process that
// dies mid-upload loses nothing: the next one sends them again. Delivery is at least once: the wire
// format carries no upload ID, so a batch the collector took just before the end (or answered after
// the time-out) arrives twice; the sent bundles are deleted the moment the answer comes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/messages/NANOMessage.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "measurement/upload/BMSUploadBatch.h"
#include "platform/time/Clock.h"
#include "sdk-utilities/network/CVUNetwork.h"

namespace beacon {

class BMSUploader : public CVUNetworkReachabilityDelegate, public std::enable_shared_from_this<BMSUploader> {
 public:
  struct Collaborators {
    std::shared_ptr<CVUNetwork> network;
    std::shared_ptr<BMSScheduler> scheduler;
    std::shared_ptr<BMSAlarm> alarm;
    std::shared_ptr<BMSDatabase> database;
    // The engine's configuration (a reset replaces it).
    std::function<std::shared_ptr<BMSRemoteConfig>()> remoteConfig;
    std::shared_ptr<BMSPersistedConfig> persistedConfig;
    std::shared_ptr<const platform::Clock> clock;
    std::function<bool()> isDebugModeEnabled;
    std::int64_t libraryVersion = 0;
    std::int64_t runtimeVersion = 0;

    // One bundling pass; true while there may be more to bundle.
    std::function<bool()> bundleRawEvents;
    // Reads the stored TCF consent again (when the configuration enables TCF).
    std::function<void()> reapplyTCFConsent;
    std::function<BMSUploadConsent()> uploadConsent;
    // Activates a waiting experiment snapshot of the configuration.
    std::function<void()> activateNewSnapshot;
    // Called wherever no upload follows: writes the persisted state to disk.
    std::function<void()> terminateBackgroundTask;

    // Applying a downloaded configuration.
    std::function<std::optional<std::string>()> appIDFromCNP;
    std::function<bool(const std::vector<BMSPBAudience>&)> updateAudiences;
    std::function<void()> updateConsentSettingsUtilWithRemoteConfig;
    std::function<void(bool isDMARegion)> setTCFDMARegion;
    // After a successful upload: starts a request of the engine that waited for the network;
    // false when none waited (the upload then only reschedules).
    std::function<bool()> resumePostponedRequest;
    // After a successful configuration fetch: true when other work took the upload path's turn (and
    // resumes it itself).
    std::function<bool()> afterConfigFetch;
  };

  static std::shared_ptr<BMSUploader> create(Collaborators collaborators);

  // --- scheduling and upload (worker queue)
  void updateSchedule();
  // Seconds since 1970 of the next upload; 0 when none is due.
  double nextUploadingTime();
  bool hasDataToUpload();
  void uploadDataOrRegisterAlarm();
  void uploadData();
  // As uploadData, but during a 429/503 back-off only reschedules: for uploads the app asks for on
  // its own (leaving the foreground), which must not hammer an overloaded service.
  void uploadDataRespectingBackoff();
  bool isNetworkReadyForRequest();
  bool shouldUseBackgroundSession() const { return false; }
  void networkUploadCompletionHandler(const std::optional<platform::HttpResponse>& response,
                                      const std::optional<platform::Error>& error);

  // --- configuration fetch (worker queue)
  void fetchRemoteConfig();
  void networkRemoteConfigFetchCompletionHandler(const std::optional<platform::HttpResponse>& response,
                                                 const std::optional<platform::Bytes>& data,
                                                 const std::optional<platform::Error>& error);
  // Decodes and applies a downloaded configuration inside the enclosing transaction; false refuses it.
  bool applyRemoteConfig(const platform::Bytes& body);

  // --- state
  bool isNetworkRequestPending() const { return networkRequestPending_; }
  // The engine's other requests (on the same network) hold uploads back the same way.
  void setNetworkRequestPending(bool pending) { networkRequestPending_ = pending; }
  double suspendedUploadTimestamp() const { return suspendedUploadTimestamp_; }
  void setSuspendedUploadTimestamp(double secondsSinceBoot) { suspendedUploadTimestamp_ = secondsSinceBoot; }
  const std::vector<std::int64_t>& uploadingBundleIDs() const { return uploadingBundleIDs_; }

  // Reachability changed (any thread): reschedules on the worker queue.
  void reachabilityDidChange() override;

  // Uploads are held this long (seconds of uptime) after sent bundles could not be deleted.
  static constexpr double kSuspensionSeconds = 3600;

 private:
  explicit BMSUploader(Collaborators collaborators) : collaborators_(std::move(collaborators)) {}
  BMSRemoteConfig& config() const;
  double now() const { return collaborators_.clock->now().unixSeconds(); }
  double nextUploadingTime(const BMSDatabase::UploadDataFacts& facts);
  bool hasDataToUpload(const BMSDatabase::UploadDataFacts& facts);
  // Stops scheduling: no timer, no reachability watch, persisted state written.
  void stopScheduling(bool watchReachability);
  // Works the schedule out afresh after a failed answer. The timer armed before it (for data stored
  // while the request was under way) was set without the retry step or back-off the failure brings,
  // and would post early: it goes.
  void rescheduleAfterFailure();
  // When the quiet period after a 429 or 503 ends; nothing when none is running (one stamped ahead
  // of the clock is over).
  std::optional<double> backoffEnd();
  void setUploadInProgressWithBundleIDs(const std::vector<std::int64_t>& bundleIDs);
  void incrementRetryCounter();
  bool removeBundlesFromDatabaseWithIDs(const std::vector<std::int64_t>& bundleIDs);
  void handleSuccessfulUpload(long status);
  void handleFailedUpload(long status, const std::optional<platform::Error>& error);
  // A fetch whose answer brought no usable configuration: paced like a failed upload.
  void handleFailedConfigFetch(long status, const platform::Value& reason);
  void terminateBackgroundTask();

  Collaborators collaborators_;
  std::vector<std::int64_t> uploadingBundleIDs_;
  bool networkRequestPending_ = false;
  double suspendedUploadTimestamp_ = 0;
};

}  // namespace beacon
