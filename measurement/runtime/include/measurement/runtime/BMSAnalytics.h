#pragma once
// The analytics facade between the public interface (BCNAnalytics) and the measurement engine. A
// class of class-level calls over the current AnalyticsContext's facade state.
//
// Queues: every facade operation runs on the analytics queue. "Queued" work goes through the
// operation queue, which holds it until the start has queued the engine-start block, so nothing
// reaches the engine before it exists and calls reach it in the order they were made. "Dispatched"
// work goes straight onto the analytics queue. The facade's flags are written on the analytics queue.
//
// The facade keeps its own preferences in the suite "BMSAnalyticsSuiteName".

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/audiences/BMSPurchases.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSValue.h"
#include "platform/app/Application.h"
#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/value/Value.h"

namespace beacon {

class BCNAnalyticsConfiguration;

// Takes public events instead of the engine when set: origin, name, parameters (screen parameters
// merged in), time stamp in seconds since 1970.
using BMSLogEventInterceptor = std::function<void(const std::string& origin, const std::string& name,
                                                  const BMSParameters& parameters, double timestamp)>;
// Told of each logged event.
using BMSLogEventListener = std::function<void(const BMSEvent& event)>;
// Identifies one added listener; it does not own the listener.
struct BMSLogEventListenerToken {
  std::uint64_t value = 0;
  friend bool operator==(const BMSLogEventListenerToken&, const BMSLogEventListenerToken&) = default;
};

// Entries of the start options.
inline constexpr const char* kBMSStartOptionConfiguration = "BEACON_ANALYTICS_CONFIGURATION";
inline constexpr const char* kBMSStartOptionCollectionDeactivated = "BEACON_ANALYTICS_COLLECTION_DEACTIVATED";
inline constexpr const char* kBMSStartOptionCollectionEnabled = "BEACON_ANALYTICS_COLLECTION_ENABLED";
inline constexpr const char* kBMSStartOptionLogTag = "app_measurement_log_tag";
inline constexpr const char* kBMSStartOptionSafelistedEvents = "safelisted_events";
inline constexpr const char* kBMSAnalyticsWillStartNotification = "kBCNAnalyticsWillStartNotification";

// Keys of the facade's preferences that other parts of the engine name.
inline constexpr const char* kBMSFacadeConsentKey = "consent_settings";
inline constexpr const char* kBMSFacadeConsent3PKey = "consent_settings_3p";
inline constexpr const char* kBMSFacadeConsentTCFKey = "consent_settings_tcf";

// Keys of setUserData, in the order the engine tries them: the plain ones hold text, the hashed ones
// the digest's bytes.
inline constexpr const char* kBMSUserDataEmailAddressKey = "email_address";
inline constexpr const char* kBMSUserDataPhoneNumberKey = "phone_number";
inline constexpr const char* kBMSUserDataHashedEmailAddressKey = "hashed_email_address";
inline constexpr const char* kBMSUserDataHashedPhoneNumberKey = "hashed_phone_number";

// The facet by which a linked tag manager (the class "CTMManager") is started once with analytics.
class BMSTagManagerInitializer {
 public:
  virtual ~BMSTagManagerInitializer() = default;
  virtual void initializeSharedInstance() = 0;
};

// The options of a start: plain entries (the switches, the log tag, the safelist, consent types) and
// the SDK core's configuration object, which stands under kBMSStartOptionConfiguration.
struct BMSAnalyticsStartOptions {
  platform::Dictionary values;
  std::shared_ptr<BCNAnalyticsConfiguration> configuration;
  bool empty() const { return values.empty() && !configuration; }
};

// Delivers the current session's ID, or 0 and an error of the measurement domain (this code).
inline constexpr std::int64_t kBMSSessionIDErrorCode = 13;
using BMSSessionIDCompletion =
    std::function<void(std::int64_t sessionID, std::optional<platform::Error> error)>;
// Told of each URL the application hands to handleOpenURL.
using BMSOpenURLListener = std::function<void(const std::string& url)>;
// Delivers the user properties the engine holds: name -> string, integer or double.
using BMSUserPropertiesCallback = std::function<void(const platform::Dictionary& properties)>;

// The facade's one instance: the entry by which the SDK's other components (the public interface's
// shared instance, the interop connector) log their events and set their user properties.
class BMSAnalyticsInstance {
 public:
  // For origin "am", an "_aeid" given as a decimal string is logged as its integer.
  void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                  const BMSParameters& parameters) const;
  // Any valid internal name; the origin must be 1 to 32 characters. A null value removes the property.
  void setInternalUserProperty(const platform::Value& value, const std::string& name,
                               const std::string& origin) const;
  // The number of user properties an origin may set, delivered on `queue`. Not gated by the switch.
  void maxUserPropertiesForOrigin(const std::string& origin, platform::QueueRef queue,
                                  std::function<void(std::int64_t)> callback) const;
};

class BMSAnalytics {
 public:
  BMSAnalytics() = delete;

  static const BMSAnalyticsInstance& sharedInstance();

  // --- events: validated on the caller's thread, time-stamped in call order, then queued
  // "app" events with a public name; a refused name becomes an internal "_err" event.
  static void logEventWithName(const std::string& name, const BMSParameters& parameters);
  static void logEventWithOrigin(const std::string& origin, const std::string& name,
                                 const BMSParameters& parameters);
  // No name check: the engine's own events.
  static void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                         const BMSParameters& parameters);
  static void logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                 const BMSParameters& parameters);
  // An internal event at a given time, with the current screen and the interceptor applied.
  static void logInternalEventWithOrigin(const std::string& origin, const std::string& name, double timestamp,
                                         const BMSParameters& parameters);
  // Exactly these arguments, no screen parameters added.
  static void logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                 const BMSParameters& parameters, double timestamp, bool ignoreEnabled,
                                 bool ignoreInterceptor);
  // Takes the engine's own "_err" events once the facade has started.
  static std::shared_ptr<BMSInternalEventLogger> internalEventLogger();
  // Analytics queue only: hands the event to the engine (dropped while there is none), with its
  // place among the events waiting to be stored (given back once the engine has handled it).
  static void logEventOnSerialQueueWithOrigin(std::string origin, bool isPublicEvent, std::string name,
                                              BMSParameters parameters, double timestamp, bool ignoreEnabled,
                                              bool ignoreInterceptor, BMSParameters addedScreenParameters,
                                              std::shared_ptr<const void> backlogPlace = nullptr);

  // --- user properties and the user ID. Values arrive as the caller gave them (null = none) so the
  // type checks can refuse what is not a string or a number.
  static void setUserPropertyString(const platform::Value& value, const std::string& name);
  static void setUserID(const platform::Value& userID);
  static void removeUserAttributeForName(const std::string& name);
  static void setUserAttributeNumber(const platform::Value& number, const std::string& name);
  static void removeInternalUserAttributeForName(const std::string& name);
  static void userPropertiesIncludingInternal(bool includingInternal, platform::QueueRef queue,
                                              BMSUserPropertiesCallback callback);

  // --- consent and event defaults
  // Consent the application sets (key "consent_settings").
  static void setConsent(const platform::Dictionary& consent);
  // The key names the source: "consent_settings_tcf", "consent_settings_3p", else the application.
  static void setConsent(const platform::Dictionary& consent, const std::string& key);
  static void setDefaultEventParameters(const std::optional<BMSParameters>& parameters);
  // The user's e-mail address or phone number for on-device conversion measurement (keys
  // kBMSUserData...). Waits until every operation queued before has reached the analytics queue, then
  // holds later ones back for half a second.
  static void setUserData(const platform::Dictionary& userData);

  // --- sessions and opened URLs (dispatched straight onto the analytics queue)
  // The completion runs on the global default-priority queue.
  static void sessionIDWithCompletion(BMSSessionIDCompletion completion);
  static void setSessionTimeoutInterval(double seconds);
  // A URL the application was opened with: campaigns it names are reported, then the listener told.
  static void handleOpenURL(const std::string& url);
  // A continued activity: the link of one opened in the browser is handled as an opened URL (the
  // open-URL listener is not told).
  static void handleUserActivity(const platform::UserActivity& activity);
  static void setOpenURLListener(BMSOpenURLListener listener);

  // --- data reset: a new app instance ID; the engine throws away what it has collected
  static void resetAnalyticsData();

  // --- purchases
  // Transactions a payment queue reports; those the engine has not seen go to the purchase reporter.
  static void paymentQueueUpdatedTransactions(const std::vector<BMSPaymentTransaction>& transactions);
  // A purchase the application reports itself; handed to the purchase reporter on the caller's thread.
  static void logTransactionWithProductID(const std::string& productID, std::int64_t paymentQuantity,
                                          const std::string& transactionIdentifier,
                                          const std::string& originalTransactionIdentifier,
                                          std::optional<double> transactionDate,
                                          const platform::Bytes& deviceVerification,
                                          const std::string& deviceVerificationUUID,
                                          const std::string& deviceVerificationNonce);

  // --- queues
  static platform::QueueRef queue();
  static void dispatchAsyncOnSerialQueue(std::function<void()> block);
  // True while the caller runs on the analytics queue.
  static bool isCurrentQueueSerialQueue();
  static void queueOperationWithBlock(std::function<void()> block);
  static void queueOperationWithBlockThenWait(std::function<void()> block);
  static void unsuspendOperationQueue();

  // --- waiting for queued work (a quitting application gives the SDK a moment to store it)
  // Runs `completion` on `queue` once the work queued before the call is done: every operation
  // handed through the operation queue to the analytics queue, then whatever those handed the engine
  // finished on its worker queue (events are stored by then). Before the start it waits for the start.
  static void notifyWhenQueuedWorkIsDone(platform::QueueRef queue, std::function<void()> completion);
  // Waits at most `bound` for the same; on the main thread the main queue keeps running meanwhile,
  // so work the engine hands the main thread is not held up. Answers whether it was done in time.
  static bool waitForQueuedWork(std::chrono::nanoseconds bound);
  // The same wait for an application that quits, after which the engine closes its database on its
  // worker queue (BMSMeasurement::closeDatabaseOnWorkerQueue), so that no journal file stays beside
  // it. Answers whether both happened within the bound; a close that comes later still happens.
  static bool closeDatabaseAfterQueuedWork(std::chrono::nanoseconds bound);

  // Seconds since 1970: when the facade was loaded, or when analytics data was last reset.
  static double loadTimestamp();
  static void setLoadTimestamp(double seconds);

  // --- start and the collection switch
  // Runs its once-only part on the calling thread the first time only; origin "ba" is a start made
  // by the SDK app.
  static void startWithAppID(const std::string& appID, const std::string& origin,
                             const BMSAnalyticsStartOptions& options);
  static void setAnalyticsEnabled(bool enabled);
  // The platform's hand-over of a background URL session's events; `handler` runs when they are done.
  static void handleEventsForBackgroundURLSession(const std::string& sessionID,
                                                  std::function<void()> handler);
  static void setAnalyticsEnabled(bool enabled, bool persistSetting);
  // Analytics queue only.
  static bool isEnabled();
  static bool isCollectionDeactivated();
  static void observeNotificationsForAnalyticsConfiguration(
      const std::shared_ptr<BCNAnalyticsConfiguration>& configuration);
  static void handleSetEnabled(const platform::Notification& notification);

  // --- interceptor and listeners (their state lives on the analytics queue)
  // Runs at once when already on the analytics queue, else queued. An empty interceptor clears it.
  static void setLogEventInterceptor(BMSLogEventInterceptor interceptor);
  // Nothing (logged) for an empty listener.
  static std::optional<BMSLogEventListenerToken> addLogEventListener(BMSLogEventListener listener);
  static void removeLogEventListener(std::optional<BMSLogEventListenerToken> token);
  // Whether a listener is added (or queued to be) and not removed: an event is kept for the
  // listeners only then.
  static bool hasLogEventListeners();
  static void notifyEventListeners(const BMSEvent& event);
  static void notifyEventListenersOnSerialQueue(const BMSEvent& event);
  // Analytics queue only.
  static std::optional<BMSLogEventInterceptor> logEventInterceptor();

  // --- identity and queries
  // Nothing while analytics storage is denied; the ID of the last reset when one is pending, else the
  // identity's. Caller's thread.
  static std::optional<std::string> appInstanceID();

  // --- preferences
  static std::int64_t resetRetryCount();
  // A count below 1 removes the key.
  static void setResetRetryCount(std::int64_t count);
  static bool needFirstOpenAfterReset();
  static void setNeedFirstOpenAfterReset(bool value);
  static void removeNeedFirstOpenAfterReset();
  static std::optional<std::string> appInstanceIDAfterReset();
  static void setAppInstanceIDAfterReset(std::optional<std::string> appInstanceID);
  static std::optional<platform::Value> deferredAnalyticsCollection();
  static void setDeferredAnalyticsCollection(std::optional<platform::Value> value);
  static std::optional<platform::Value> deferredResetOnDeniedConsent();
  static void removeDeferredResetOnDeniedConsent();

  // --- persisted consent
  // 100 when none is persisted.
  static std::int64_t persistedConsentSource();
  static platform::Dictionary consentSettings1P();
  static platform::Dictionary consentSettings3P();
  static platform::Dictionary consentSettingsTCF();
  static platform::Dictionary consentSettings1PStart();
  static void removeStartUpConsentSettings();
  static void loadPersistedConsentSettings();
  static void persistConsentSettings(const platform::Dictionary& settings, std::int64_t source);
  static void clearConsent();
};

}  // namespace beacon
