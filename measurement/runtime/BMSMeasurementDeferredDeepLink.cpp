// The deferred deep link: once per installation the engine asks the deep-link service which link the
// user followed before installing, offers that link to the application's delegate, and reports it as
// a campaign when the delegate takes it. Failed requests are repeated at later starts up to the
// configured limit.

#include <algorithm>
#include <string>

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/app/Application.h"
#include "platform/bundle/Bundle.h"
#include "platform/json/Json.h"
#include "platform/net/Url.h"
#include "platform/process/ProcessInfo.h"
#include "sdk-utilities/network/CVUNetwork.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

constexpr const char* kDeferredDeepLinkPath = "/adreach/conversion/app/deeplink";
constexpr const char* kDeferredDeepLinkEnabledKey = "CORVANE_ANALYTICS_DEFERRED_DEEP_LINK_ENABLED";
constexpr const char* kDebugDeferredDeepLinkArgument = "-DebugDeferredDeepLink";

// The app's own switch in its Info.plist: only a number (or boolean) that is true turns it on.
bool isEnabledInInfoPlist() {
  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  const platform::Value* value =
      bundle ? bundle->objectForInfoDictionaryKey(kDeferredDeepLinkEnabledKey) : nullptr;
  return value && value->isNumber() && value->boolValue();
}

bool hasDebugArgument() {
  const std::vector<std::string> arguments = platform::ProcessInfo::arguments();
  return std::find(arguments.begin(), arguments.end(), kDebugDeferredDeepLinkArgument) != arguments.end();
}

// The consent parts of the query, when the configuration asks for consent-aware requests.
std::string consentQuery(const BMSRemoteConfig& config) {
  if (!config.DMAConsentEnabled()) return {};
  std::string query;
  if (const std::string signals = BMSConsentSettingsUtil::consentSignals(); !signals.empty())
    query += "&ccs=" + platform::percentEncodeQueryValue(signals);
  query += config.isDMARegion() ? "&dma=1" : "&dma=0";
  if (BMSConsentSettingsUtil::isAdUserDataDenied()) {
    query += "&dma_cps=-";
  } else if (const std::set<std::string> services = config.corePlatformServices();
             config.isDMARegion() && !services.empty()) {
    std::string names;
    for (const std::string& service : services) names += service;
    query += "&dma_cps=" + platform::percentEncodeQueryValue(names);
  }
  if (const std::optional<bool> personalization = BMSConsentSettingsUtil::adPersonalization())
    query += *personalization ? "&npa=0" : "&npa=1";
  return query;
}

const std::string* textField(const platform::Dictionary& dictionary, const char* key) {
  const auto found = dictionary.find(key);
  return found == dictionary.end() ? nullptr : found->second.asString();
}

}  // namespace

bool BMSMeasurement::shouldAllowRequestDeferredDeepLink() {
  const std::shared_ptr<BMSRemoteConfig> config = remoteConfigInstance();
  if (!config->isDeferredDeepLinkEnabled()) {
    BMSLog(5, 23193, "Deferred Deep Link feature disabled");
    return false;
  }
  if (!isEnabledInInfoPlist()) return false;
  if (persistedConfig_->deferredDeepLinkRetrievalComplete()) {
    BMSLog(7, 23194, "Already retrieved Deferred Deep Link. Skipping");
    return false;
  }
  if (persistedConfig_->deferredDeepLinkRetryCount() >= config->maxDeferredDeepLinkRetryCount()) {
    BMSLog(3, 23195, "Failed to retrieve Deferred Deep Link. Reached retry limit");
    persistedConfig_->setDeferredDeepLinkRetrievalComplete(platform::Value(1));
    return false;
  }
  if (BMSConsentSettingsUtil::isAdStorageDenied()) {
    BMSLog(3, 23252,
           "IDFA unavailable to retrieve Deferred Deep Link due to denied ad storage consent. Skipping");
    return false;
  }
  if (identity_->hasLimitedAdTracking() && !identity_->limitedAdTracking()) {
    BMSLog(7, 23197, "Deferred Deep Link feature enabled");
    return true;
  }
  BMSLog(3, 23196, "IDFA unavailable to retrieve Deferred Deep Link. Skipping");
  return false;
}

void BMSMeasurement::maybeRequestDeferredDeepLinkOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("maybeRequestDeferredDeepLinkOnWorkerQueue");
  if (!shouldAllowRequestDeferredDeepLink()) return;
  // The consent parts of the request come from the configuration: an expired one is renewed first.
  if (remoteConfigInstance()->isExpired() && remoteConfigInstance()->DMAConsentEnabled()) {
    shouldRequestDeferredDeepLinkAfterConfigFetch_ = true;
  } else {
    requestDeferredDeepLink();
  }
}

bool BMSMeasurement::requestDeferredDeepLinkAfterConfigFetch() {
  if (!shouldRequestDeferredDeepLinkAfterConfigFetch_ || !remoteConfigInstance()->DMAConsentEnabled())
    return false;
  shouldRequestDeferredDeepLinkAfterConfigFetch_ = false;
  requestDeferredDeepLink();
  return true;
}

void BMSMeasurement::requestDeferredDeepLink() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("requestDeferredDeepLink");
  const std::shared_ptr<BMSRemoteConfig> config = remoteConfigInstance();
  const std::shared_ptr<CVUNetwork> client = network();
  std::string url =
      CVUServiceURL(CVUService::DeepLink, kDeferredDeepLinkPath) +
      "?sdk_version=" + std::to_string(BMSIdentity::appMeasurementLibraryVersion()) +
      "&rdid=" + platform::percentEncodeQueryValue(identity_->resettableDeviceID().value_or("")) +
      "&id_type=idfa&bundleid=" + platform::percentEncodeQueryValue(identity_->appID().value_or("")) +
      "&retry=" + std::to_string(persistedConfig_->deferredDeepLinkRetryCount());
  if (!BMSAEU::isFAS() && hasDebugArgument()) url += "&ddl_test=1";
  url += consentQuery(*config);
  if (!platform::Url::parse(url)) {
    BMSLog(3, 23198, "URL to retrieve Deferred Deep Link is invalid");
    return;
  }
  // Without a network nothing is sent or counted: the next launch asks again.
  if (!client) return;
  setNetworkRequestPending(true);
  client->setTimeoutInterval(config->networkTimeout());
  client->getURL(url, std::nullopt, scheduler_->workerQueue(), false,
                 [weakSelf = weak_from_this()](const std::optional<platform::HttpResponse>& response,
                                               const std::optional<platform::Bytes>& data,
                                               const std::optional<platform::Error>& error) {
                   const std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
                   if (!self) return;
                   self->setNetworkRequestPending(false);
                   self->handleDeferredDeepLinkResponse(response, data, error);
                 });
}

void BMSMeasurement::handleDeferredDeepLinkResponse(const std::optional<platform::HttpResponse>& response,
                                                    const std::optional<platform::Bytes>& data,
                                                    const std::optional<platform::Error>& error) {
  const long status = response ? response->statusCode : 0;
  if (!error && (status == 200 || status == 204 || status == 304)) {
    persistedConfig_->setDeferredDeepLinkRetrievalComplete(platform::Value(0));
    if (const std::optional<platform::Dictionary> info =
            deepLinkInfoFromResponseData(data.value_or(platform::Bytes()))) {
      BMSLog(7, 23200, "Successfully retrieved Deferred Deep Link");
      handleDeferredDeepLinkInfo(*info);
    }
  } else {
    BMSLog(1, 23199, "Failed to retrieve Deferred Deep Link. Will retry on next launch. Code, error",
           {platform::Value(static_cast<std::int64_t>(status)),
            platform::Value(error ? error->debugDescription() : std::string())});
    persistedConfig_->setDeferredDeepLinkRetryCount(persistedConfig_->deferredDeepLinkRetryCount() + 1);
  }
  // Uploads wait for this request (it may have taken the configuration fetch's turn): resume them.
  updateSchedule();
}

std::optional<platform::Dictionary> BMSMeasurement::deepLinkInfoFromResponseData(
    const platform::Bytes& data) {
  if (data.empty()) {
    BMSLog(8, 23201, "Deferred Deep Link response is empty");
    return std::nullopt;
  }
  const platform::Result<platform::Value> parsed =
      platform::parseJson({reinterpret_cast<const char*>(data.data()), data.size()});
  if (!parsed) {
    BMSLog(1, 23202, "Failed to parse Deferred Deep Link from JSON. Error",
           {parsed.error().debugDescription()});
    return std::nullopt;
  }
  const platform::Dictionary* info = parsed->asDictionary();
  if (!info) return std::nullopt;
  const std::string* link = textField(*info, "deeplink");
  if (!link || !platform::Url::parse(*link)) return std::nullopt;
  return *info;
}

void BMSMeasurement::handleDeferredDeepLinkInfo(const platform::Dictionary& info) {
  const std::string* link = textField(info, "deeplink");
  if (!link) return;
  // Only what the reply carries: an absent click ID stays absent.
  platform::Dictionary extraParameters{{"cis", "ddp"}};
  for (const char* clickID : {"cclid", "cbraid"}) {
    if (const std::string* value = textField(info, clickID)) extraParameters.emplace(clickID, *value);
  }
  platform::Dictionary extraInfo;
  if (const auto timestamp = info.find("timestamp"); timestamp != info.end())
    extraInfo.emplace("timestamp", timestamp->second);
  BMSLog(8, 23203, "Sending Deferred Deep Link to app delegate");
  const double eventTimestamp = context_.nowSince1970();
  platform::mainQueue()->async(
      [weakSelf = weak_from_this(), url = *link, extraParameters, extraInfo, eventTimestamp] {
        const std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
        if (!self) return;
        if (!sendDeepLinkURLToAppDelegateOnMainThread(url, extraInfo)) {
          BMSLog(3, 23204, "App delegate not configured to handle Deferred Deep Link");
          return;
        }
        self->scheduler_->scheduleOnWorkerQueueBlockID(
            "BMSMeasurement:368", [weakSelf, url, extraParameters, eventTimestamp] {
              if (const std::shared_ptr<BMSMeasurement> engine = weakSelf.lock())
                engine->handleOpenURLOnWorkerQueue(url, std::nullopt, eventTimestamp, extraParameters);
            });
      });
}

bool BMSMeasurement::sendDeepLinkURLToAppDelegateOnMainThread(const std::string& url,
                                                              const platform::Dictionary& extraInfo) {
  platform::Application& application = platform::Application::shared();
  const std::shared_ptr<platform::ApplicationDelegate> delegate = application.delegate();
  return delegate && delegate->openURL(application, url, extraInfo).value_or(false);
}

}  // namespace beacon
