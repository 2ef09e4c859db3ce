#include "installations/BCNInstallations.h"

#include <chrono>
#include <mutex>
#include <vector>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsIDController.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/text/Format.h"
#include "platform/time/SystemClock.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNComponent.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

constexpr std::size_t kAPIKeyLength = 39;
// How long the going of an app waits for its installation's storage and network work under way: a
// request the service has not answered by then is not waited for, and its answer is not stored.
constexpr std::chrono::seconds kWindDownPatience{10};
constexpr const char* kDocumentationLink =
    "https://docs.corvane.example/beacon/installations#registration-token";

[[noreturn]] void raise(const std::string& reason) {
  throw platform::ProgrammerError(kBCNInstallationsErrorDomain, reason);
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

bool isMissing(const std::optional<std::string>& value) {
  return !value || value->empty();
}

struct ClockSetting {
  std::mutex mutex;
  std::shared_ptr<const platform::Clock> clock;
};

ClockSetting& clockSetting() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static ClockSetting& setting = *new ClockSetting;
  return setting;
}

Protocol instanceProviderProtocol() {
  return Protocol::of<BCNInstallationsInstanceProvider>("BCNInstallationsInstanceProvider");
}

class InstallationsLibrary final : public BCNLibrary {
 public:
  std::vector<std::shared_ptr<const BCNComponent>> componentsToRegister() const override {
    return {BCNComponent::componentWithProtocol(
        instanceProviderProtocol(), BCNInstantiationTiming::AlwaysEager, {},
        [](BCNComponentContainer& container, bool& isCacheable) -> std::shared_ptr<Object> {
          std::shared_ptr<BCNApp> app = container.app();
          if (!app) return nullptr;
          isCacheable = true;
          return BCNInstallations::initWithApp(*app);
        })};
  }
};

// A library of the earlier instance-ID generation cannot share the installation with this one.
void assertCompatibleIIDVersion() {
  if (!platform::ClassDirectory::shared().lookup("BCNInstanceID")) return;
  raise(std::string(
            "Beacon Instance ID is not compatible with Beacon 8.x+. Please remove the dependency from the "
            "app. See the documentation at ") +
        kDocumentationLink);
}

}  // namespace

void BCNInstallations::load() {
  const platform::ClassEntry& entry = platform::ClassDirectory::shared().registerClass(
      "BCNInstallations", std::shared_ptr<BCNLibrary>(std::make_shared<InstallationsLibrary>()));
  BCNApp::registerInternalLibrary(entry, kLibraryName);
}

void BCNInstallations::setClock(std::shared_ptr<const platform::Clock> clock) {
  ClockSetting& setting = clockSetting();
  std::lock_guard guard(setting.mutex);
  setting.clock = std::move(clock);
}

std::shared_ptr<const platform::Clock> BCNInstallations::clock() {
  ClockSetting& setting = clockSetting();
  std::lock_guard guard(setting.mutex);
  return setting.clock ? setting.clock : platform::SystemClock::sharedPointer();
}

std::shared_ptr<BCNInstallations> BCNInstallations::installations() {
  std::shared_ptr<BCNApp> app = BCNApp::defaultAppIfConfigured();
  if (!app) {
    raise(
        "The default BeaconApp instance must be configured before the defaultBeaconApp instance can be "
        "initialized. "
        "One way to ensure this is to call `BeaconApp.configure()` in the App  Delegate's "
        "`application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in SwiftUI).");
  }
  return installationsWithApp(*app);
}

std::shared_ptr<BCNInstallations> BCNInstallations::installationsWithApp(const BCNApp& app) {
  return BCNComponentType<BCNInstallations>::instanceForProtocol(instanceProviderProtocol(),
                                                                 *app.container());
}

std::shared_ptr<BCNInstallations> BCNInstallations::initWithApp(const BCNApp& app) {
  std::shared_ptr<const BCNOptions> options = app.options();
  validateAppOptions(*options, app.name());
  return initWithAppOptions(options, app.name(), BCNInstallationsIDController::initWithApp(app), false);
}

std::shared_ptr<BCNInstallations> BCNInstallations::initWithAppOptions(
    std::shared_ptr<const BCNOptions> appOptions, std::string appName,
    std::shared_ptr<BCNInstallationsIDController> controller, bool prefetchAuthToken) {
  validateAppOptions(*appOptions, appName);
  assertCompatibleIIDVersion();
  auto installations =
      std::make_shared<BCNInstallations>(std::move(appOptions), std::move(appName), std::move(controller));
  if (prefetchAuthToken) installations->authTokenWithCompletion([](auto, auto) {});
  return installations;
}

BCNInstallations::BCNInstallations(std::shared_ptr<const BCNOptions> appOptions, std::string appName,
                                   std::shared_ptr<BCNInstallationsIDController> controller)
    : appOptions_(std::move(appOptions)),
      appName_(std::move(appName)),
      installationsIDController_(std::move(controller)) {}

void BCNInstallations::appWillBeDeleted(BCNApp&) {
  (void)installationsIDController_->windDown(kWindDownPatience);
}

void BCNInstallations::validateAppOptions(const BCNOptions& appOptions, const std::string& appName) {
  std::vector<std::string> missing;
  if (appName.empty()) missing.emplace_back("`BeaconApp.name`");
  if (isMissing(appOptions.APIKey())) missing.emplace_back("`BeaconOptions.APIKey`");
  if (isMissing(appOptions.corvaneAppID())) missing.emplace_back("`BeaconOptions.corvaneAppID`");
  if (isMissing(appOptions.projectID())) missing.emplace_back("`BeaconOptions.projectID`");
  if (!missing.empty()) {
    raise(
        platform::format("%@[%@] Could not configure Beacon Installations due to invalid BeaconApp options. "
                         "The following parameters "
                         "are nil or empty: %@. If you use BeaconService-Info.plist please download the most "
                         "recent version from the "
                         "Beacon Console. If you configure Beacon in code, please make sure you specify all "
                         "required parameters.",
                         kBCNLoggerInstallations, "I-BIS008000", joined(missing)));
  }
  validateAPIKey(appOptions.APIKey());
}

void BCNInstallations::validateAPIKey(const std::optional<std::string>& APIKey) {
  const std::string key = APIKey.value_or("");
  std::vector<std::string> problems;
  if (key.size() != kAPIKeyLength)
    problems.push_back(platform::format("API Key length must be %lu characters", kAPIKeyLength));
  if (key.empty() || key[0] != 'A') problems.emplace_back("API Key must start with `A`");
  bool urlSafe = key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
                 std::string::npos;
  if (!urlSafe) problems.emplace_back("API Key must contain only base64 url-safe characters characters");
  if (problems.empty()) return;
  raise(
      platform::format("%@[%@] Could not configure Beacon Installations due to invalid BeaconApp options. "
                       "`BeaconOptions.APIKey` "
                       "doesn't match the expected format: %@. If you use BeaconService-Info.plist please "
                       "download the most recent "
                       "version from the Beacon Console. If you configure Beacon in code, please make sure "
                       "you specify all required "
                       "parameters.",
                       kBCNLoggerInstallations, "I-BIS008000", joined(problems)));
}

void BCNInstallations::installationIDWithCompletion(IDCompletion completion) const {
  installationsIDController_->getInstallationItem().observeOnQueue(
      CVPPromiseClass::defaultDispatchQueue(),
      [completion](const BCNInstallationsItem& item) { completion(item.beaconInstallationID, std::nullopt); },
      [completion](const platform::Error& error) {
        completion(std::nullopt, BCNInstallationsErrorUtil::publicDomainErrorWithError(error));
      });
}

void BCNInstallations::authTokenWithCompletion(AuthTokenCompletion completion) const {
  authTokenForcingRefresh(false, std::move(completion));
}

void BCNInstallations::authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) const {
  installationsIDController_->getAuthTokenForcingRefresh(forceRefresh)
      .observeOnQueue(
          CVPPromiseClass::defaultDispatchQueue(),
          [completion](const BCNInstallationsItem& item) {
            completion(
                BCNInstallationsAuthTokenResult(item.authToken.token.value_or(""),
                                                item.authToken.expirationDate.value_or(platform::Date{})),
                std::nullopt);
          },
          [completion](const platform::Error& error) {
            completion(std::nullopt, BCNInstallationsErrorUtil::publicDomainErrorWithError(error));
          });
}

void BCNInstallations::deleteWithCompletion(DeleteCompletion completion) const {
  installationsIDController_->deleteInstallation().observeOnQueue(
      CVPPromiseClass::defaultDispatchQueue(), [completion](const CVPUnit&) { completion(std::nullopt); },
      [completion](const platform::Error& error) {
        completion(BCNInstallationsErrorUtil::publicDomainErrorWithError(error));
      });
}

}  // namespace beacon
