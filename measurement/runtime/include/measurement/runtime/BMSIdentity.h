#pragma once
// Who this installation is: the app's IDs from the service configuration file, the app instance ID
// (random, persisted until a reset), the resettable device ID with its MD5 hash, the tracking
// status, the limited-ad-tracking flag, the installation ID, the session stitching token, an
// ephemeral app instance ID, the diversion key and the app's version fields.
//
// All mutable state sits behind the serial queue "BMSIdentityWorkerQueue": reads wait for the queue
// (so a refresh queued before a read is seen by it), writes and refreshes are queued. Reads must not
// be made from that queue itself. Blocks hold the identity weakly. One shared instance per
// AnalyticsContext; any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "measurement/runtime/SessionStitchingToken.h"
#include "platform/dispatch/Queue.h"
#include "platform/value/Value.h"

namespace beacon {

class AnalyticsContext;
class BMSIdentitySupport;
class BMSPersistedConfig;

// Tracking-authorisation status as the engine reports it.
inline constexpr std::uint64_t kBMSTrackingStatusNoLimitedAdTrackingInfo = 6;
inline constexpr std::uint64_t kBMSTrackingStatusUnknown = 5;

class BMSIdentity : public std::enable_shared_from_this<BMSIdentity> {
 public:
  // The two settings of the downloaded configuration the refresh reads.
  struct RefreshSettings {
    double adIDCacheTime = 1;  // seconds between refreshes
    bool gateIDFAOnATTMASEnabled = false;
  };
  struct Collaborators {
    std::shared_ptr<BMSPersistedConfig> persistedConfig;
    BMSIdentitySupport* identitySupport = nullptr;
    std::function<RefreshSettings()> refreshSettings;
    std::function<bool()> isAnalyticsStorageDenied;
    std::function<bool()> isAdStorageDenied;
  };

  // The current context's identity; nullptr (logged) when it cannot be made.
  static std::shared_ptr<BMSIdentity> shared();
  // Nullptr, logged, without a persisted store.
  static std::shared_ptr<BMSIdentity> initWithCollaborators(AnalyticsContext& context,
                                                            Collaborators collaborators);

  static std::int64_t appMeasurementLibraryVersion();
  static std::vector<std::int64_t> numericFieldsFromAppVersionNumeric(std::string_view version);
  std::string randomAppInstanceID() const;

  // What the session stitching token is asked for with.
  struct SessionFacts {
    std::int64_t sessionNumber = 0;
    bool sessionExpired = false;
    // Asked only when the token needs the answer (it may cost a storage read).
    std::function<bool()> userIDAvailable;
  };
  // Every field one event's raw-event write reads, taken in one pass through the queue after a
  // refresh: the same answers as the reads below made one after another, without a hop per field.
  struct Snapshot {
    std::uint64_t appleConsentStatus = kBMSTrackingStatusUnknown;
    bool hasLimitedAdTracking = false;
    bool limitedAdTracking = true;
    std::optional<std::string> resettableDeviceID;
    std::optional<std::string> appInstanceID;  // none while analytics storage is denied
    std::string ephemeralAppInstanceID;
    std::optional<std::string> appIDFromCNP;
    std::optional<std::string> appIDFromAdReach;
    bool shouldSetLastAdvertisingIDResetUserProperty = false;
    // Asked for only with session facts; none while analytics storage is denied.
    std::optional<std::string> sessionStitchingToken;
  };
  Snapshot refreshedSnapshot(const std::optional<SessionFacts>& session);

  // Refreshed reads.
  std::uint64_t appleConsentStatus();
  bool hasLimitedAdTracking();
  bool limitedAdTracking();
  std::optional<std::string> resettableDeviceID();
  std::optional<std::string> appInstanceID();
  std::optional<std::string> hashedResettableDeviceID();

  // Reads without refresh.
  std::optional<std::string> appIDFromCNP();
  std::optional<std::string> appIDFromAdReach();
  bool shouldSetLastAdvertisingIDResetUserProperty();
  std::string diversionKey();
  std::string ephemeralAppInstanceID();
  std::optional<std::string> sessionStitchingTokenWithSessionNumber(std::int64_t sessionNumber,
                                                                    bool sessionExpired,
                                                                    bool userIDAvailable);

  // Queued writes, and their forms for callers already on the queue.
  void setAppInstanceID(const std::string& appInstanceID);
  void setShouldSetLastAdvertisingIDResetUserProperty(bool value);
  void resetSessionStitchingToken();
  void resetEphemeralAppInstanceID();
  void setAppInstanceIDOnWorkerQueue(const std::string& appInstanceID);
  void resetSessionStitchingTokenOnWorkerQueue();
  void resetEphemeralAppInstanceIDOnWorkerQueue();

  // The first non-empty value of the process wins; empty ones are logged and ignored.
  void setAppIDFromCNP(const std::string& appID);
  void setAppIDFromAdReach(const std::string& appID);

  void updateIdentifiers();
  void updateIdentifiersAndWait();

  // Whether the app was installed from the store: its bundle cannot change while it runs.
  bool isFromAppStore() const { return isFromAppStore_; }
  const std::optional<std::string>& appID() const { return appID_; }
  const std::optional<std::string>& appVersion() const { return appVersion_; }
  std::optional<std::int64_t> appVersionMajor() const { return appVersionMajor_; }
  std::optional<std::int64_t> appVersionMinor() const { return appVersionMinor_; }
  std::optional<std::int64_t> appVersionRelease() const { return appVersionRelease_; }
  std::int64_t devCertHash() const { return 0; }
  std::optional<std::string> beaconInstallationID() const;
  void setBeaconInstallationID(std::optional<std::string> installationID);

 private:
  BMSIdentity(AnalyticsContext& context, Collaborators collaborators);
  void readBundleFacts();
  void updateIdentifiersOnQueue();
  // The reads themselves, on the queue.
  std::optional<std::string> appInstanceIDOnQueue() const;
  std::optional<std::string> appInstanceIDOnQueue(bool analyticsStorageDenied) const;
  std::string ephemeralAppInstanceIDOnQueue();
  std::optional<std::string> sessionStitchingTokenOnQueue(const SessionFacts& session,
                                                          bool analyticsStorageDenied);
  // Runs `read` on the queue and waits for it.
  template <class T>
  T readOnQueue(const std::function<T()>& read);
  // Refreshes, then runs `read`, in one pass through the queue.
  template <class T>
  T readRefreshedOnQueue(const std::function<T()>& read);
  void writeOnQueue(std::function<void(BMSIdentity&)> write);
  // The first non-empty ID of the process is stored; later ones are ignored.
  void setAppIDOnce(const std::string& appID, std::atomic<bool>& alreadySet,
                    std::optional<std::string> BMSIdentity::*field);

  AnalyticsContext& context_;
  Collaborators collaborators_;
  platform::QueueRef queue_;

  // Queue-confined.
  std::optional<platform::Date> lastAppInstanceIDUpdateTimestamp_;
  std::uint64_t appleConsentStatus_ = kBMSTrackingStatusUnknown;
  std::optional<std::string> resettableDeviceID_;
  bool limitedAdTracking_ = true;
  std::optional<std::string> appIDFromCNP_;
  std::optional<std::string> appIDFromAdReach_;
  SessionStitchingToken sessionStitchingToken_;
  std::optional<std::string> ephemeralAppInstanceID_;

  // Fixed at creation.
  std::optional<platform::Value> isIDFVCollectionEnabledNumber_;
  bool isFromAppStore_ = false;
  std::optional<std::string> appID_;
  std::optional<std::string> appVersion_;
  std::optional<std::int64_t> appVersionMajor_;
  std::optional<std::int64_t> appVersionMinor_;
  std::optional<std::int64_t> appVersionRelease_;

  std::atomic<bool> appIDFromCNPSet_ = false;
  std::atomic<bool> appIDFromAdReachSet_ = false;
  mutable std::mutex installationIDMutex_;
  std::optional<std::string> beaconInstallationID_;
};

}  // namespace beacon
