#pragma once
// The measurement engine behind the analytics facade. One shared engine per AnalyticsContext, created
// by the first initializeSharedInstance of the process (and never by a later one, even when the
// first had no app ID). The engine then lives as long as its context.
//
// Threads: the class-level calls take the context's engine lock and may come from any thread.
// Everything else of the engine runs on the worker queue of its scheduler; entry points hop there
// with a block ID and hold the engine weakly.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "measurement/audiences/BMSPurchases.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/messages/NANOMessage.h"
#include "measurement/pipeline/BMSRawEventMetadata.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/HttpMessage.h"
#include "platform/notify/NotificationCenter.h"

namespace beacon {

class AnalyticsContext;
class BMSAlarm;
class BMSAudience;
class BMSConditionalUserPropertyController;
class BMSDatabase;
class BMSMonitor;
class BMSPersistedConfig;
class BMSPrivateSetMembershipClient;
class BMSPrivateSetMembershipClientClass;
class BMSRemoteConfig;
class BMSScheduler;
class BMSSearchAdReporter;
class BMSSessionReporter;
class BMSTCFClient;
class CVUNetwork;
class CVUNetworkLoggerDelegate;
struct BMSMeasurementUploadParts;
struct BMSOnDeviceConversionState;

inline constexpr const char* kBMSMeasurementWorkerQueueLabel = "com.corvane.bms.worker";
inline constexpr const char* kBMSMeasurementTimerName = "Measurement timer";

// The facet by which the class of the public analytics interface tells the engine its version.
class BMSTopLevelVersion {
 public:
  virtual ~BMSTopLevelVersion() = default;
  virtual std::string topLevelVersion() const = 0;
};

// Events the listeners never hear of: the ad-exposure events and everything logged under origin "am".
bool BMSIsEventHiddenFromListeners(const BMSEvent& event);

class BMSMeasurement : public std::enable_shared_from_this<BMSMeasurement> {
 public:
  // --- the process-wide engine (of the current context)
  static void initializeSharedInstanceWithAppID(const std::string& appID, bool isAnalyticsCollectionEnabled,
                                                bool isAnalyticsCollectionDeactivated,
                                                std::vector<std::string> safelistedEvents);
  static bool hasSharedInstance();
  // Nullptr before creation (warned about when the public interface is linked in) or without app ID.
  static std::shared_ptr<BMSMeasurement> sharedInstance();
  static std::shared_ptr<BMSMonitor> monitor();
  // The engine's downloaded configuration, or the default one before the engine has it.
  static std::shared_ptr<BMSRemoteConfig> remoteConfig();

  // Creation; nullptr (logged) for an empty app ID.
  static std::shared_ptr<BMSMeasurement> initWithAppID(AnalyticsContext& context, const std::string& appID,
                                                       bool isAnalyticsCollectionEnabled,
                                                       bool isAnalyticsCollectionDeactivated,
                                                       std::vector<std::string> safelistedEvents);
  ~BMSMeasurement();

  bool shouldEnableMeasurement() const;
  // Switches collection on the worker queue.
  void setEnabled(bool enabled);
  void setEnabledOnWorkerQueue(bool enabled);
  bool startMeasurementOnWorkerQueue();
  // Applies the consent settings in force at start (start options, Info.plist, stored TCF and
  // third-party settings, by source priority).
  void setProspectiveConsentSettings();
  void updatePersistedAppIDFromCNPAndAdReach();
  void updateConsentSettingsUtilWithRemoteConfig();
  bool isBeaconRemoteConfigSDKPresent() const;

  // The number of user properties one origin may hold (a fixed 25), delivered on the global
  // background queue.
  static constexpr std::int64_t kMaxUserPropertiesPerOrigin = 25;
  void maxUserPropertiesForOrigin(const std::string& origin,
                                  std::function<void(std::int64_t)> callback) const;

  // --- event and user-property entry points: called from the facade's queue, each takes its
  // arguments along and hops to the worker queue; read-backs answer on a global queue.
  // `heldUntilHandled` goes once the event has been handled on the worker queue (or dropped).
  void logEventWithOrigin(std::string origin, bool isPublicEvent, std::string name, BMSParameters parameters,
                          double timestamp, bool enabled, bool ignoreEnabled, bool ignoreInterceptor,
                          std::optional<BMSLogEventInterceptor> interceptor,
                          BMSParameters addedScreenParameters,
                          std::shared_ptr<const void> heldUntilHandled = nullptr);
  void logEventOnWorkerQueueWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                       BMSParameters parameters, double timestamp, bool enabled,
                                       bool ignoreEnabled, bool ignoreInterceptor,
                                       const std::optional<BMSLogEventInterceptor>& interceptor,
                                       const BMSParameters& addedScreenParameters);
  // Listeners hear the event as it was before the pipeline changed it.
  void logEventOnWorkerQueue(BMSEvent event, bool notifyEventListeners);
  // Nothing clears every default; a null value clears that one.
  void setDefaultEventParameters(std::optional<BMSParameters> parameters);
  void handleSetDefaultEventParametersOnWorkerQueue(const std::optional<BMSParameters>& parameters);
  void setUserAttribute(std::optional<BMSUserAttribute> attribute);
  void setUserAttributeOnWorkerQueue(const BMSUserAttribute& attribute);
  void removeUserAttribute(std::optional<BMSUserAttribute> attribute);
  void removeUserAttributeOnWorkerQueue(const BMSUserAttribute& attribute);
  void userPropertiesIncludingInternal(bool includingInternal, BMSUserPropertiesCallback callback);
  // The stored session ID, unless collection is off or the session has expired; the completion runs
  // on the worker queue.
  void sessionIDWithCompletion(BMSSessionIDCompletion completion);
  void setSessionTimeoutInterval(double seconds);
  // Keeps purchased transactions not reported before, in the order given.
  void filterPurchaseTransactions(std::vector<BMSPaymentTransaction> transactions,
                                  std::function<void(std::vector<BMSPaymentTransaction>)> callback);

  // --- the event processing pipeline (worker queue): from an accepted event to its raw-event row
  // Adds the stored default parameters (not to "_err"), handles the event and tells the listeners.
  void handleInternalEventOnWorkerQueue(BMSEvent event);
  void handleEventOnWorkerQueue(BMSEvent event);
  void writeEventOnWorkerQueue(const BMSEvent& event);
  void writeFilteredEventOnWorkerQueue(BMSEvent event);
  // Makes every event stored so far durable at once. Events handled while more wait behind them share
  // one storage transaction; it commits when the worker queue has run what was queued behind the
  // first of them, or once it holds a hundred (BMSSqliteStore's grouped transactions), whichever
  // comes first. A crash loses at most those uncommitted events, like the events still queued.
  void commitStoredEventsOnWorkerQueue();
  // Nothing when a safelist is in force and the event is not on it.
  // Steps that may change the event take it and hand it on (moved when unchanged).
  std::optional<BMSEvent> eventAfterSafelistingEvent(BMSEvent event) const;
  // False when the event is a subscription purchase seen before.
  bool dedupeSubscriptionEvent(const BMSEvent& event);
  // True when the "_ssr" event repeats the rollouts value already recorded.
  bool shouldDropDuplicatedSessionStartWithRolloutEvent(const BMSEvent& event);
  std::optional<BMSEvent> appExceptionEventWithBeaconFeatureRollouts(BMSEvent event) const;
  void writeSessionStartEventOnWorkerQueue(const BMSEvent& event);
  // False when the lifetime value of a purchase could not be recorded.
  bool updateLifetimeValueWithEvent(const BMSEvent& event);

  // --- user properties in the database, and the engine-kept "_npa" and "_lair" (worker queue)
  // False (logged) when the database fails or the origin's limit is reached.
  bool setUserPropertyInDatabaseOnWorkerQueue(const BMSUserAttribute& property);
  void setPersonalizedAdsUserPropertyOnWorkerQueue();
  // 1 when ads must not be personalised, 0 when they may be, nothing when no source says.
  std::optional<std::int64_t> shouldDisableAdPersonalization();
  void updateAdPersonalizationConsentFromNPAValue(std::optional<std::int64_t> npa);
  void setLastAdvertisingIDResetUserPropertyOnWorkerQueue();
  bool hasUserPropertyUserIDOnWorkerQueue();
  std::optional<std::string> previousFirstOpenCount() const;
  void setPreviousFirstOpenCount(const std::optional<std::string>& count);

  // --- accessors
  const std::string& appID() const { return appID_; }
  const std::vector<std::string>& safelistedEvents() const { return safelistedEvents_; }
  const std::shared_ptr<BMSPersistedConfig>& persistedConfig() const { return persistedConfig_; }
  const std::shared_ptr<BMSScheduler>& scheduler() const { return scheduler_; }
  const std::shared_ptr<BMSAlarm>& alarm() const { return alarm_; }
  std::shared_ptr<BMSIdentity> identity() const;
  std::shared_ptr<BMSRemoteConfig> remoteConfigInstance() const;
  const std::shared_ptr<BMSDatabase>& database() const { return database_; }
  bool shouldUpdateNPAUserProperty() const { return shouldUpdateNPAUserProperty_; }
  void setShouldUpdateNPAUserProperty(bool value) { shouldUpdateNPAUserProperty_ = value; }
  // Worker queue only.
  bool isEnabled() const { return enabled_; }
  bool wasEnabledDuringInitialization() const { return wasEnabledDuringInitialization_; }
  bool isAnalyticsCollectionEnabled() const { return isAnalyticsCollectionEnabled_; }
  bool isAnalyticsCollectionDeactivated() const { return isAnalyticsCollectionDeactivated_; }
  bool didInitializeComponents() const { return didInitializeComponents_.load(); }
  void setDidInitializeComponents(bool value) { didInitializeComponents_.store(value); }
  double initTimestamp() const { return initTimestamp_; }

  // --- reset and data wipe
  // Throws the collected data away and starts over under `appInstanceID` (empty only while analytics
  // storage is denied). Waits for the worker queue, so never call it from there. False (logged) when
  // refused or when the wipe failed.
  bool resetAnalyticsDataWithAppInstanceID(const std::string& appInstanceID);
  // Empties the database in place (or deletes its file when it was never opened), clears the
  // persisted state, monitoring data, configuration and identifiers. Worker queue only.
  bool wipeoutAnalyticsDataAndResetComponents();
  // The CNP app ID in force before the last wipe, for the next first open. Worker queue only.
  const std::optional<std::string>& previousCNPAppID() const { return previousCNPAppID_; }

  // --- app notifications, disk sync and the network log bridge
  // The context's observation of the application's finished launching, made with the context
  // before any engine exists: the screen-view reporter is made then, and a link the application was
  // started with is kept for the engine's first start.
  static platform::ObserverToken subscribeForAppDidFinishLaunchingNotifications(AnalyticsContext& context);
  static void handleAppDidFinishLaunching(AnalyticsContext& context,
                                          const platform::Notification& notification);
  // Observes the app becoming active and resigning active for as long as the engine lives (the last
  // step of the component build). The handlers run on the posting (main) thread, only read the
  // engine and schedule its work, holding it weakly.
  void subscribeForAppForegroundBackgroundNotifications();
  // With the internal blocklist switched on, fetches a configuration a week old or older.
  void handleAppDidBecomeActiveEvent(const platform::Notification& notification);
  // Writes the persisted state to disk at once, then uploads (respecting a back-off) once the facade
  // has started.
  void handleAppWillResignActiveEvent(const platform::Notification& notification);
  // Writes the persisted state to disk now; upload scheduling calls it when it ends without an upload.
  void terminateBackgroundTask();
  // The application ends: the database lets go of its file (BMSDatabase::close). Worker queue.
  void closeDatabaseOnWorkerQueue();
  // The logger delegate of the engine's HTTP client: its lines go to the engine's log. Lives as long
  // as the engine (the client holds it weakly).
  std::shared_ptr<CVUNetworkLoggerDelegate> networkLogBridge() const { return networkLogBridge_; }

  // --- conditional user properties (built with the components; worker queue only)
  const std::shared_ptr<BMSConditionalUserPropertyController>& conditionalUserPropertyController() const {
    return conditionalUserPropertyController_;
  }

  // --- raw-event metadata, bundling, upload and configuration fetch (worker queue; each does
  // nothing before the components are built)
  // The metadata message of events logged now, with these user attributes (and the identity as
  // read in `identity`, one snapshot serving a whole raw-event write).
  BMSPBMeasurementBundle createRawEventMetadataWithUserAttributes(
      const std::vector<BMSUserAttribute>& userAttributes);
  BMSPBMeasurementBundle createRawEventMetadataWithUserAttributes(
      const std::vector<BMSUserAttribute>& userAttributes,
      const std::optional<BMSIdentity::Snapshot>& identity);
  // The identity refreshed and read once for an event written now; none without an identity.
  std::optional<BMSIdentity::Snapshot> identitySnapshotOnWorkerQueue();
  // One bundling pass: true while there may be more to bundle.
  bool bundleRawEvents();
  void updateSchedule();
  void uploadDataOrRegisterAlarm();
  void uploadData();
  // uploadData, except that during a 429/503 back-off it only reschedules: for the upload when the
  // app leaves the foreground.
  void uploadDataRespectingBackoff();
  void fetchRemoteConfig();
  // No request of the engine is on its way.
  bool isNetworkReadyForRequest();
  // Marks a request of the engine other than an upload as on its way (or done).
  void setNetworkRequestPending(bool pending);
  // Seconds since boot; 0 lifts an upload suspension.
  void setSuspendedUploadTimestamp(double secondsSinceBoot);
  // Null before the components are built.
  std::shared_ptr<CVUNetwork> network() const;
  std::shared_ptr<BMSAudience> audience() const;

  // --- reporters (sessions; the screen-view and ad-exposure reporters belong to the context)
  // The session reporter once the components are built, else null. Callers get their own reference,
  // so a wipe that replaces the reporter never pulls it from under them.
  std::shared_ptr<BMSSessionReporter> sessionReporter() const;
  // Makes a new session reporter whose reporting follows the collection switch, and invalidates the
  // one it replaces (at component start, and after a data wipe). Worker queue.
  void resetSessionReporter();

  // --- lifecycle reports (first open, session start, app and OS updates); worker queue
  void reportFirstOpenOnWorkerQueue();
  // With the first open's time in milliseconds minus one as the click time, or none.
  void reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampInMs);
  // Starts a new numbered session when the last one has expired.
  void reportSessionStartOnWorkerQueueWithTimestamp(double timestamp, bool appInBackground);
  void reportAppUpdateOnWorkerQueue();
  void reportOSUpdateOnWorkerQueue();
  // Without a persisted session number, the number of stored session starts becomes it.
  void backfillSessionNumber();
  // While the app is not active: an event with "extend_session" = 1 starts an expired session in the
  // background or extends the live one; an expired session's user properties are removed.
  void processSessionFromEvent(const BMSEvent& event);
  // The start of the hour after the one holding `milliseconds` (an exact hour moves on too).
  static std::int64_t timestampMillisRoundedUpToNextHour(std::int64_t milliseconds);
  static bool isVersionSameAsOriginalVersion();

  // --- consent from the consent-management platform's TCF preferences (worker queue)
  // Null unless the configuration enabled the TCF feature when the components were built.
  const std::shared_ptr<BMSTCFClient>& tcfClient() const { return tcfClient_; }
  // Reads the TCF preferences again and applies them as the facade's TCF consent; nothing without
  // a client.
  void tcfClientSetConsentFromData();

  // --- campaigns from opened URLs
  // The link of a continued activity opened in the browser; nothing (logged) for any other.
  static std::optional<std::string> deepLinkFromUserActivity(const platform::UserActivity& userActivity);
  // The same for an activity as the application's launch notification carries it (a dictionary).
  static std::optional<std::string> deepLinkFromUserActivity(const platform::Value* userActivity);
  // Keeps the link the application was started with (its activity's, else its URL) for the next start.
  static void handleStoredURLAfterAppLaunchWithNotification(AnalyticsContext& context,
                                                            const platform::Notification& notification);
  // A URL opened by the application: handled on the worker queue (refused when called from there).
  void handleNonFirstOpenEventURL(const std::string& url, double eventTimestampInSeconds);
  void handleOpenURL(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                     double eventTimestampInSeconds);
  // Logs "_cmp" ("_cmpx" for an expired click) when the URL's query, with the extra string and
  // number parameters, names a campaign. Worker queue.
  void handleOpenURLOnWorkerQueue(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                  double eventTimestampInSeconds,
                                  const platform::Dictionary& extraParameters);
  static bool isValidCampaignURLParamDictionary(const platform::Dictionary& parameters);
  // Click IDs need the advertising identifier or the user's tracking consent.
  bool shouldAllowClickID();

  // --- on-device conversion measurement: asks the optional component (the class
  // "BMSPrivateSetMembershipClient") whether the user of the given data belongs to a conversion data
  // set; a match becomes the user property "_psmvalue" and the real-time event "_fx". Worker queue,
  // except setUserData. The state lives in one component of the engine, in memory only.
  // The linked component's class, or nullptr.
  BMSPrivateSetMembershipClientClass* PSMClientClass() const;
  // At start: logs whether the component is linked.
  void checkPSMDependencyOnWorkerQueue();
  // The checks a request must pass, the first failing one logged.
  bool shouldRetrievePSMResponse();
  bool shouldRetrievePSMResponseWithEmailAddress(const std::string& emailAddress);
  bool shouldRetrievePSMResponseWithPhoneNumber(const std::string& phoneNumber);
  bool shouldRetrievePSMResponseWithHashedIdentifier(const std::string& hashedIdentifier);
  // Nullptr without the class or an initialiser that fits.
  std::shared_ptr<BMSPrivateSetMembershipClient> PSMClientWithEmailAddress(const std::string& emailAddress);
  std::shared_ptr<BMSPrivateSetMembershipClient> PSMClientWithPhoneNumber(const std::string& phoneNumber);
  std::shared_ptr<BMSPrivateSetMembershipClient> PSMClientWithHashedEmailAddress(const std::string& hashed);
  std::shared_ptr<BMSPrivateSetMembershipClient> PSMClientWithHashedPhoneNumber(const std::string& hashed);
  // The user data of the facade's setUserData (keys kBMSUserData...; hashed values as bytes or hex
  // text): hops to the worker queue.
  void setUserData(const platform::Dictionary& userData);
  void setUserDataOnWorkerQueue(const platform::Dictionary& userData);
  void retrievePSMResponse();
  void maybeSchedulePSMRetry();
  void handlePSMValueOnWorkerQueue(const std::string& value);
  void incrementPSMCountOnWorkerQueueWithName(const std::string& name);
  void maybeDeleteExpiredPSMValueOnWorkerQueue();
  // Both counters of this process back to 0 (the data wipe).
  void resetPSMCounts();
  // Starts the request that waited for the network; false when none waited. The upload calls it
  // after a successful upload.
  bool resumePostponedPSMRequest();

  // --- search-ad attribution (worker queue)
  // Makes and starts the reporter at component start, unless the attribution is finished.
  void startSearchAdReporterOnWorkerQueue();
  // After a data wipe: the reporter's state was cleared with the rest, so the old one (its alarm
  // armed from the old attempts) goes and a new one starts over, switched like collection.
  void restartSearchAdReporterOnWorkerQueue();
  // Follows the collection switch.
  void setSearchAdReporterEnabledOnWorkerQueue(bool enabled);
  // Null before component start and once the attribution is finished.
  const std::shared_ptr<BMSSearchAdReporter>& searchAdReporter() const { return searchAdReporter_; }

  // --- the deferred deep link, asked once per installation from the deep-link service (worker queue)
  bool shouldAllowRequestDeferredDeepLink();
  // At component start, when no stored link was reported: asks now, or after the next configuration
  // fetch when the stored configuration has expired.
  void maybeRequestDeferredDeepLinkOnWorkerQueue();
  void requestDeferredDeepLink();
  // After a configuration fetch: true when a waiting request went out instead of the upload path,
  // which its completion then resumes.
  bool requestDeferredDeepLinkAfterConfigFetch();
  bool shouldRequestDeferredDeepLinkAfterConfigFetch() const {
    return shouldRequestDeferredDeepLinkAfterConfigFetch_;
  }
  // The reply when its "deeplink" is a URL; nothing (logged) otherwise.
  static std::optional<platform::Dictionary> deepLinkInfoFromResponseData(const platform::Bytes& data);
  // Offers the link to the application's delegate on the main queue; a link it takes is reported as a
  // campaign ("cis" = "ddp").
  void handleDeferredDeepLinkInfo(const platform::Dictionary& info);
  // Main thread: whether the application's delegate took the link.
  static bool sendDeepLinkURLToAppDelegateOnMainThread(const std::string& url,
                                                       const platform::Dictionary& extraInfo);

 private:
  struct ReadBackFailures {
    std::int64_t queryCode;
    const char* queryMessage;
    std::int64_t missingCode;
    const char* missingMessage;
  };
  // Sets an "auto" user property and reads it back; false (logged) when it is not stored.
  bool setAndConfirmUserAttribute(const std::string& name, const BMSValue& value, double setTimestamp,
                                  const ReadBackFailures& failures);
  // An "auto" internal event with the current screen parameters, into the pipeline.
  void handleLifecycleEventOnWorkerQueue(const std::string& name, double timestamp, BMSParameters parameters);

  // Enabled, with the components that store events in place.
  bool isCollectingOnWorkerQueue() const;
  bool isNewPurchaseOnWorkerQueue(const BMSPaymentTransaction& transaction);
  // The downloaded event-editing program, when there is one, then the write of the event and of the
  // events the program created.
  void editAndWriteEventOnWorkerQueue(BMSEvent event);
  // The storage transaction of one event: lifetime value, daily limits, raw-event write. An event the
  // limits refuse commits its counters without a row.
  BMSGroupedWork storeEventOnWorkerQueue(BMSEvent& event);
  bool writeRawEventOnWorkerQueue(const BMSEvent& event, bool isPublicEvent, bool isRealtime);
  BMSMeasurement(AnalyticsContext& context, std::string appID, bool isAnalyticsCollectionEnabled,
                 bool isAnalyticsCollectionDeactivated, std::vector<std::string> safelistedEvents);
  void logStartBanner() const;
  // Builds the components on the first successful enabling; false leaves them for the next try.
  bool initializeComponentsOnWorkerQueue();
  // Step of the component build: wipes when the app's identifiers changed or an earlier wipe failed.
  void wipeDataIfIdentifiersChanged();
  // Schedules the commit of the stored events behind the work queued now (once per group).
  void commitStoredEventsBehindQueuedWork();
  // The components' identity, or the context's before the components took it.
  std::shared_ptr<BMSIdentity> currentIdentity() const;
  // The network, audiences, bundler and uploader; false (logged) when one cannot be made.
  bool initializeUploadComponentsOnWorkerQueue();
  // Step of the component build: with the TCF feature on, makes the client, tells it the DMA region
  // and applies the consent it reads.
  void startTCFClientOnWorkerQueue();

  AnalyticsContext& context_;
  const std::string databaseName_;
  std::atomic<bool> didInitializeComponents_ = false;
  std::mutex initializeComponentsLock_;
  std::shared_ptr<BMSPersistedConfig> persistedConfig_;
  std::shared_ptr<BMSScheduler> scheduler_;
  std::shared_ptr<BMSAlarm> alarm_;
  std::shared_ptr<BMSIdentity> identity_;
  std::shared_ptr<BMSDatabase> database_;
  // Builds each raw event's metadata message, reusing the last one while nothing in it changes.
  BMSRawEventMetadataBuilder rawEventMetadataBuilder_;
  // The configuration is read from other threads (the class-level remoteConfig) too.
  mutable std::mutex remoteConfigMutex_;
  std::shared_ptr<BMSRemoteConfig> remoteConfig_;
  std::shared_ptr<BMSConditionalUserPropertyController> conditionalUserPropertyController_;
  std::optional<std::string> previousCNPAppID_;
  const std::shared_ptr<CVUNetworkLoggerDelegate> networkLogBridge_;
  std::vector<platform::ObserverToken> appObservations_;
  bool shouldUpdateNPAUserProperty_ = false;
  // The Info.plist held a boolean ad-personalization default.
  bool foundAdPersonalizationPlistFlag_ = false;
  double initTimestamp_ = 0;
  std::string appID_;
  std::vector<std::string> safelistedEvents_;
  bool enabled_ = false;
  // Worker queue only.
  bool storedEventsCommitScheduled_ = false;
  bool wasEnabledDuringInitialization_ = false;
  bool isAnalyticsCollectionEnabled_;
  bool isAnalyticsCollectionDeactivated_;
  // Worker queue only.
  std::shared_ptr<BMSMeasurementUploadParts> uploadParts_;
  std::shared_ptr<BMSTCFClient> tcfClient_;

  mutable std::mutex sessionReporterMutex_;
  std::shared_ptr<BMSSessionReporter> sessionReporter_;

  // On-device conversion measurement (worker queue only): made on first use.
  BMSOnDeviceConversionState& onDeviceConversion();
  void handlePSMResponseOnWorkerQueue(const std::shared_ptr<BMSPrivateSetMembershipClient>& client,
                                      std::int64_t status, const std::optional<platform::Bytes>& body,
                                      const std::optional<platform::Error>& error);
  std::shared_ptr<BMSOnDeviceConversionState> onDeviceConversion_;
  // Worker queue only.
  std::shared_ptr<BMSSearchAdReporter> searchAdReporter_;
  void makeSearchAdReporter(bool enabled);
  bool shouldRequestDeferredDeepLinkAfterConfigFetch_ = false;
  void handleDeferredDeepLinkResponse(const std::optional<platform::HttpResponse>& response,
                                      const std::optional<platform::Bytes>& data,
                                      const std::optional<platform::Error>& error);
};

// The shared screen-view reporter's activation flag: true once the application has been active.
bool BMSIsAppActive();

}  // namespace beacon
