// One app: its construction, its data-collection switch and the core checks of configure.

#include "sdk-core/BCNApp.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/text/Format.h"
#include "sdk-core/ApplicationNotifications.h"
#include "sdk-core/BCNAnalyticsStart.h"
#include "sdk-core/BCNBundleUtil.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNConfiguration.h"
#include "sdk-core/BCNHeartbeatLogger.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-core/CoreError.h"

namespace beacon {
namespace {

// Both bundle-ID and app-ID complaints point the developer at the file and the console.
constexpr const char* kBundleIDMismatchMessage =
    "The project's Bundle ID is inconsistent with either the Bundle ID in '%@.%@', or the Bundle ID in the "
    "options "
    "if you are using a customized options. To ensure that everything can be configured correctly, you may "
    "need to "
    "make the Bundle IDs consistent. To continue with this plist file, you may change your app's bundle "
    "identifier "
    "to '%@'. Or you can download a new configuration file that matches your bundle identifier from %@ and "
    "replace "
    "the current one.";
constexpr const char* kInvalidAppIDMessage =
    "The CORVANE_APP_ID either in the plist file '%@.%@' or the one set in the customized options is "
    "invalid. If "
    "you are using the plist file, use the iOS version of bundle identifier to download the file, and do not "
    "manually edit the CORVANE_APP_ID. You may change your app's bundle identifier to '%@'. Or you can "
    "download a "
    "new configuration file that matches your bundle identifier from %@ and replace the current one.";

// The Info.plist default of the data-collection switch, read once per process.
const std::optional<bool>& plistDataCollectionSwitch() {
  static const std::optional<bool> value = []() -> std::optional<bool> {
    const platform::Value* stored =
        platform::Bundle::main()->objectForInfoDictionaryKey(kBCNDataCollectionDefaultEnabledPlistKey);
    if (stored && stored->isNumber()) return stored->boolValue();
    return std::nullopt;
  }();
  return value;
}

std::shared_ptr<BCNOptions> lockedCopy(const BCNOptions& options) {
  std::shared_ptr<BCNOptions> copy = options.copy();
  copy->setEditingLocked(true);
  return copy;
}

}  // namespace

BCNApp::BCNApp(Passkey, const std::string& name, const std::shared_ptr<BCNOptions>& options)
    : name_(name),
      isDefaultApp_(name == kBCNDefaultAppName),
      options_(lockedCopy(*options)),
      heartbeatLogger_(std::make_shared<BCNHeartbeatLogger>(options_->corvaneAppID().value_or(""))) {}

BCNApp::~BCNApp() = default;

std::shared_ptr<BCNApp> BCNApp::create(const std::string& name, const std::shared_ptr<BCNOptions>& options) {
  auto app = std::make_shared<BCNApp>(Passkey{}, name, options);
  // The container holds its app weakly, so it can only be made once the app is shared.
  app->container_ = BCNComponentContainer::initWithApp(app);
  return app;
}

std::shared_ptr<BCNOptions> BCNApp::options() const {
  return lockedCopy(*options_);
}

bool BCNApp::configureCore() {
  const std::optional<std::string> expectedBundleID = options_->bundleID();
  if (expectedBundleID &&
      !BCNBundleUtil::hasBundleIdentifierPrefix(*expectedBundleID, BCNBundleUtil::relevantBundles())) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000008", kBundleIDMismatchMessage, kBCNServiceInfoFileName,
                      kBCNServiceInfoFileType, expectedBundleID, kBCNConsoleLink);
  }

  if (!validateAppID(options_->corvaneAppID().value_or(""))) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000009", kInvalidAppIDMessage, kBCNServiceInfoFileName,
                      kBCNServiceInfoFileType, expectedBundleID, kBCNConsoleLink);
    return false;
  }

  if (isDefaultApp_) {
    const platform::ClassEntry* analytics = platform::ClassDirectory::shared().lookup(kBCNAnalyticsClassName);
    if (auto* start = analytics ? analytics->facet<BCNAnalyticsStart>() : nullptr) {
      start->startWithConfiguration(BCNConfiguration::shared().analyticsConfiguration(), options_);
    }
  }

  std::weak_ptr<BCNApp> weakSelf = weak_from_this();
  didBecomeActiveObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      kApplicationDidBecomeActiveNotification, nullptr, nullptr, [weakSelf](const platform::Notification&) {
        if (std::shared_ptr<BCNApp> app = weakSelf.lock()) app->appDidBecomeActive();
      });
  return true;
}

void BCNApp::appDidBecomeActive() {
  if (isDataCollectionDefaultEnabled()) heartbeatLogger_->log();
}

void BCNApp::windDown() {
  container_->removeAllComponents();
  container_->removeAllCachedInstances();
  heartbeatLogger_->waitForLoggedHeartbeats();
}

std::string BCNApp::dataCollectionKey() const {
  return platform::format(kBCNGlobalDataCollectionEnabledKeyFormat, name_);
}

bool BCNApp::isDataCollectionDefaultEnabled() const {
  const std::optional<platform::Value> stored =
      platform::PreferencesDomain::application()->objectForKey(dataCollectionKey());
  if (stored && stored->isNumber()) return stored->boolValue();
  return plistDataCollectionSwitch().value_or(true);
}

void BCNApp::setDataCollectionDefaultEnabled(bool enabled) {
  // A write the disk refuses still holds for this run; the preferences layer keeps it in memory.
  (void)platform::PreferencesDomain::application()->setObject(dataCollectionKey(), enabled);
  if (isDefaultApp_ && !options_->isAnalyticsCollectionExplicitlySet()) {
    BCNConfiguration::shared().analyticsConfiguration()->setAnalyticsCollectionEnabled(enabled, false);
  }
}

platform::Error BCNApp::errorForMissingOptions() {
  return platform::Error(
      kBCNErrorDomainCore, -100, "Unable to parse BeaconService-Info.plist in order to configure services.",
      {{kBCNErrorRecoverySuggestionKey, "Check formatting and location of BeaconService-Info.plist."}});
}

platform::Error BCNApp::errorForInvalidAppID() {
  return platform::Error(
      kBCNErrorDomainCore, -101, "Unable to validate Corvane App ID",
      {{kBCNErrorRecoverySuggestionKey,
        "Check formatting and location of BeaconService-Info.plist or CorvaneAppID set in the "
        "customized options."}});
}

}  // namespace beacon
