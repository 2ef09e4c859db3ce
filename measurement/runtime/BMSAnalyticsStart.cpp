// The facade's start, its collection switch and the SDK core's switch notifications.

#include "measurement/engine/BMSAppDelegateInterceptor.h"
#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSInfoPlistFileUtil.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSIdentifiers.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineStartDecisions.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/dispatch/Queue.h"
#include "sdk-core/BCNAnalyticsConfiguration.h"
#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"
#include "sdk-utilities/network/CVUNetwork.h"

namespace beacon {
namespace {

std::optional<bool> boolOption(const platform::Dictionary& options, const char* key) {
  const auto found = options.find(key);
  if (found == options.end() || !found->second.isNumber()) return std::nullopt;
  return found->second.boolValue();
}

// The safelist when every entry is a valid internal event name; one bad entry drops it whole.
std::optional<std::vector<std::string>> safelistFrom(const platform::Value& value) {
  const platform::Array* entries = value.asArray();
  if (!entries) {
    BMSLog(0, 25034, "Invalid safelisted event parameter. Type must be an array");
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (const platform::Value& entry : *entries) {
    if (!BMSDataTypeValidator::isValidInternalEventName(entry) || !entry.isString()) {
      BMSLog(0, 25035, "Invalid event name for safelisting. Name", {entry});
      return std::nullopt;
    }
    names.push_back(*entry.asString());
  }
  return names;
}

// Refusals before anything starts: an older framework, or another owner of event collection.
bool startIsRefused(AnalyticsContext& context, const std::string& origin) {
  if (context.classExists("BCNADatabase")) {
    BMSLog(1, 25029,
           "Detected an older version of Corvane Analytics for Beacon framework. Data collection will be "
           "disabled. Please upgrade to the latest version of Corvane Analytics for Beacon");
    return true;
  }
  const bool withInterface = context.classExists("BCNAnalytics");
  if (withInterface && origin != kSDKAppOrigin) {
    BMSLog(3, 25026, "Deferring to Beacon for event data collection");
    return true;
  }
  if (const std::optional<std::string> path = BMSInfoPlistFileUtil::beaconServiceInfoPlistPath();
      !withInterface && path && !path->empty()) {
    BMSLog(0, 25027,
           "Deferring to Corvane Analytics for Beacon for event data collection. See "
           "https://beacon.corvane.example/docs/analytics/get-started");
    return true;
  }
  return false;
}

void warnAboutUnlinkedAdReach(AnalyticsContext& context) {
  if (!context.classExists("CVAAdReach") || !BMSInfoPlistFileUtil::dictionaryFromBeaconServiceInfoPlist())
    return;
  const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared();
  const std::optional<std::string> adReach = identity ? identity->appIDFromAdReach() : std::nullopt;
  if (adReach && !adReach->empty()) return;
  BMSLog(3, 25028,
         "AdReach and Beacon are in use in this app, but are not linked. See "
         "https://beacon.corvane.example/docs/analytics/link-adreach");
}

void applyLogTag(const BMSAnalyticsStartOptions& options) {
  if (options.empty()) return;
  const auto tag = options.values.find(kBMSStartOptionLogTag);
  if (tag != options.values.end() && tag->second.isString() && !tag->second.asString()->empty()) {
    BMSMeasurement::monitor()->setLogTag(*tag->second.asString());
  } else {
    BMSLog(2, 25030, "Invalid monitor tag. It must be a non-empty string.");
  }
}

void maybeEnableTagManager(AnalyticsContext& context) {
  const platform::ClassEntry* manager = context.classes().lookup("CTMManager");
  if (BMSTagManagerInitializer* initializer =
          manager ? manager->facet<BMSTagManagerInitializer>() : nullptr) {
    std::call_once(context.facade().tagManagerOnce,
                   [initializer] { initializer->initializeSharedInstance(); });
  }
}

// Installs the app-delegate proxy with the engine's interceptor; once per context, on the main queue.
void createAppDelegateProxy(AnalyticsContext& context) {
  std::call_once(context.facade().appDelegateProxyOnce, [] {
    CVUAppDelegateSwizzler::proxyOriginalDelegate();
    CVUAppDelegateSwizzler::registerAppDelegateInterceptor(BMSAppDelegateInterceptor::sharedInstance());
  });
}

void startOnce(AnalyticsContext& context, const std::string& appID, const std::string& origin,
               const BMSAnalyticsStartOptions& options) {
  if (BMSConsentSettingsUtil::consentSource() == kBMSConsentSourceNone)
    BMSAnalytics::loadPersistedConsentSettings();

  if (const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared()) {
    if (origin == kSDKAppOrigin) {
      const std::optional<std::string> original = identity->appIDFromCNP();
      if (original != appID) {
        identity->setAppIDFromCNP(appID);
        BMSLog(
            1, 25020,
            "Analytics requires Corvane App ID from BeaconService-Info.plist. Your data may be lost. Corvane "
            "App ID has been changed. Original, new ID",
            {original ? platform::Value(*original) : platform::Value(), appID});
      }
    }
    if (origin == kAdReachOrigin) {
      const std::optional<std::string> original = identity->appIDFromAdReach();
      if (original != appID) {
        BMSLog(3, 25031, "AdReach App ID changed. Original, new",
               {original ? platform::Value(*original) : platform::Value(), appID});
        identity->setAppIDFromAdReach(appID);
      }
    }
  }

  BMSEngineServices::setInternalEventLogger(BMSAnalytics::internalEventLogger());
  context.notifications().post(kBMSAnalyticsWillStartNotification);
  BMSIdentifiers::shared().setOrigin(origin);

  BMSAnalyticsState& state = context.facade();
  const bool enabled = boolOption(options.values, kBMSStartOptionCollectionEnabled).value_or(true);
  const bool deactivated = boolOption(options.values, kBMSStartOptionCollectionDeactivated).value_or(false);
  state.collectionDeactivated = deactivated;
  std::vector<std::string> safelist;
  if (const auto found = options.values.find(kBMSStartOptionSafelistedEvents);
      found != options.values.end()) {
    safelist = safelistFrom(found->second).value_or(std::vector<std::string>{});
  }
  const platform::Dictionary startConsent =
      BMSConsentSettingsUtil::consentSettingsFromDictionary(options.values);
  if (!startConsent.empty())
    state.defaults().setObject(platform::Value(startConsent), "consent_settings_on_start");

  // The engine-start block enters the analytics queue before the operation queue lets the work
  // collected so far flow, so that work finds the engine.
  // A context that went before its queues got to these blocks gets no engine and no proxy.
  state.dispatchAsyncOnSerialQueue([weakContext = context.weak_from_this(), appID, enabled, deactivated,
                                    safelist = std::move(safelist)]() mutable {
    const std::shared_ptr<AnalyticsContext> context = weakContext.lock();
    if (!context) return;
    BMSMeasurement::initializeSharedInstanceWithAppID(appID, enabled, deactivated, std::move(safelist));
    if (!CVUAppDelegateSwizzler::isAppDelegateProxyEnabled()) {
      BMSLog(6, 25036, "App Delegate Proxy is disabled");
    } else if (!deactivated) {
      platform::mainQueue()->async([weakContext] {
        if (const std::shared_ptr<AnalyticsContext> context = weakContext.lock())
          createAppDelegateProxy(*context);
      });
    }
    if (std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance()) {
      context->facade().enabled = engine->wasEnabledDuringInitialization();
    }
    maybeEnableTagManager(*context);
  });
  if (options.configuration)
    BMSAnalytics::observeNotificationsForAnalyticsConfiguration(options.configuration);
  state.unsuspendOperationQueue();
}

}  // namespace

void BMSAnalytics::startWithAppID(const std::string& appID, const std::string& origin,
                                  const BMSAnalyticsStartOptions& options) {
  AnalyticsContext& context = AnalyticsContext::current();
  if (startIsRefused(context, origin)) return;
  warnAboutUnlinkedAdReach(context);
  applyLogTag(options);
  std::call_once(context.facade().startOnce, [&] { startOnce(context, appID, origin, options); });
}

void BMSAnalytics::handleEventsForBackgroundURLSession(const std::string& sessionID,
                                                       std::function<void()> handler) {
  CVUNetwork::handleEventsForBackgroundURLSessionID(sessionID, std::move(handler));
}

void BMSAnalytics::setAnalyticsEnabled(bool enabled) {
  setAnalyticsEnabled(enabled, false);
}

void BMSAnalytics::setAnalyticsEnabled(bool enabled, bool persistSetting) {
  dispatchAsyncOnSerialQueue([enabled, persistSetting] {
    if (persistSetting) {
      BMSPersistedConfig::sharedInstance()->setMeasurementEnabledState(
          enabled ? kBMSMeasurementEnabledStateOn : kBMSMeasurementEnabledStateOff);
    }
    BMSAnalyticsState& state = currentFacade();
    if (state.collectionDeactivated && enabled) return;
    state.enabled = enabled;
    if (std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance())
      engine->setEnabled(enabled);
  });
}

bool BMSAnalytics::isEnabled() {
  return currentFacade().enabled;
}

bool BMSAnalytics::isCollectionDeactivated() {
  return currentFacade().collectionDeactivated;
}

void BMSAnalytics::observeNotificationsForAnalyticsConfiguration(
    const std::shared_ptr<BCNAnalyticsConfiguration>& configuration) {
  AnalyticsContext& context = AnalyticsContext::current();
  BMSAnalyticsState& state = context.facade();
  state.configurationObservation.remove();
  if (!configuration) return;
  state.configurationObservation =
      context.notifications().addObserver(kBCNAnalyticsConfigurationSetEnabledNotification,
                                          configuration.get(), nullptr, &BMSAnalytics::handleSetEnabled);
}

void BMSAnalytics::handleSetEnabled(const platform::Notification& notification) {
  const platform::Value* flag = nullptr;
  if (notification.userInfo) {
    const auto found = notification.userInfo->find(kBCNAnalyticsConfigurationSetEnabledNotification);
    if (found != notification.userInfo->end()) flag = &found->second;
  }
  if (!flag || !flag->isNumber()) {
    BMSLog(4, 25000, "Received setEnabled notification without NSNumber",
           {notification.userInfo ? platform::Value(*notification.userInfo) : platform::Value()});
    return;
  }
  // The SDK core has persisted the switch already.
  setAnalyticsEnabled(flag->boolValue(), false);
}

}  // namespace beacon
