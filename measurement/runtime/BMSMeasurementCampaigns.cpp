// Campaign URLs: an opened URL whose query names a campaign becomes the internal event "_cmp" (or
// "_cmpx"), with the query's campaign keys mapped to event parameters; a "cbraid" click ID is also
// kept as a user property. A link stored before the first open is reported once, with the first open.

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "measurement/engine/BMSDeepLinkStore.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/engine/BMSStringUtil.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "sdk-core/ApplicationNotifications.h"

namespace beacon {
namespace {

// URL query key → event parameter.
constexpr std::array<std::pair<std::string_view, std::string_view>, 18> kCampaignParameters{{
    {"aclid", "aclid"},
    {"anid", "anid"},
    {"utm_campaign", "campaign"},
    {"cis", "_cis"},
    {"utm_content", "content"},
    {"cp1", "cp1"},
    {"pclid", "pclid"},
    {"cclid", "cclid"},
    {"cbraid", "cbraid"},
    {"utm_medium", "medium"},
    {"utm_source", "source"},
    {"csrid", "csrid"},
    {"utm_term", "term"},
    {"utm_id", "campaign_id"},
    {"utm_creative_format", "creative_format"},
    {"utm_marketing_tactic", "marketing_tactic"},
    {"utm_source_platform", "source_platform"},
    {"sfmc_id", "sfmc_id"},
}};

// A URL is a campaign URL when one of these has a non-empty value.
constexpr std::array<std::string_view, 9> kRequiredCampaignKeys{
    "utm_campaign", "cclid", "utm_medium", "utm_source", "cbraid", "utm_id", "pclid", "csrid", "sfmc_id"};

// Click IDs that need the advertising identifier or the user's tracking consent.
constexpr std::array<std::string_view, 3> kConsentedClickIDs{"cclid", "pclid", "csrid"};

constexpr std::uint64_t kTrackingAuthorized = 3;
constexpr const char* kNotSet = "(not set)";

// The query of a URL's text: after the first "?", up to a "#".
std::string_view queryOf(std::string_view url) {
  const std::size_t question = url.find('?');
  if (question == std::string_view::npos) return {};
  std::string_view query = url.substr(question + 1);
  return query.substr(0, query.find('#'));
}

const std::string* nonEmptyText(const platform::Dictionary& parameters, std::string_view key) {
  const auto found = parameters.find(key);
  if (found == parameters.end()) return nullptr;
  const std::string* text = found->second.asString();
  return text && !text->empty() ? text : nullptr;
}

}  // namespace

bool BMSMeasurement::isValidCampaignURLParamDictionary(const platform::Dictionary& parameters) {
  return std::any_of(kRequiredCampaignKeys.begin(), kRequiredCampaignKeys.end(),
                     [&](std::string_view key) { return nonEmptyText(parameters, key) != nullptr; });
}

bool BMSMeasurement::shouldAllowClickID() {
  const std::optional<std::string> deviceID = identity_->resettableDeviceID();
  return (deviceID && !deviceID->empty()) || identity_->appleConsentStatus() == kTrackingAuthorized;
}

void BMSMeasurement::handleNonFirstOpenEventURL(const std::string& url, double eventTimestampInSeconds) {
  if (platform::currentQueueLabel() == scheduler_->workerQueue()->label()) {
    BMSLog(2, 23163, "Do not call handleNonFirstOpenOpenURL on the measurement worker queue");
    return;
  }
  handleOpenURL(url, std::nullopt, eventTimestampInSeconds);
}

void BMSMeasurement::handleOpenURL(const std::string& url, std::optional<std::int64_t> clickTimestampInMs,
                                   double eventTimestampInSeconds) {
  if (url.empty()) return;
  scheduler_->scheduleOnWorkerQueueBlockID(
      "BMSMeasurement:446", [weakSelf = weak_from_this(), url, clickTimestampInMs, eventTimestampInSeconds] {
        if (const std::shared_ptr<BMSMeasurement> self = weakSelf.lock()) {
          self->handleOpenURLOnWorkerQueue(url, clickTimestampInMs, eventTimestampInSeconds, {});
        }
      });
}

void BMSMeasurement::handleOpenURLOnWorkerQueue(const std::string& url,
                                                std::optional<std::int64_t> clickTimestampInMs,
                                                double eventTimestampInSeconds,
                                                const platform::Dictionary& extraParameters) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("handleOpenURLOnWorkerQueue");
  platform::Dictionary urlParameters;
  BMSParameters numbers;
  for (const auto& [key, value] : extraParameters) {
    if (value.isString()) {
      urlParameters.insert_or_assign(key, value);
    } else if (value.isInteger() || value.isDouble()) {
      numbers.insert_or_assign(key, value);
    }
  }
  for (auto& [key, value] : BMSDictionaryWithHttpArgumentsString(queryOf(url))) {
    urlParameters.insert_or_assign(key, std::move(value));
  }
  if (urlParameters.empty()) {
    BMSLog(7, 23000, "Deep Link Web URL query is empty");
    return;
  }
  if (!isValidCampaignURLParamDictionary(urlParameters)) {
    BMSLog(3, 23001, "Deep Link does not contain valid required params. URL params",
           {platform::Value(urlParameters)});
    return;
  }

  const bool allowClickID = shouldAllowClickID();
  BMSParameters parameters;
  for (const auto& [key, name] : kCampaignParameters) {
    const std::string* text = nonEmptyText(urlParameters, key);
    if (!text) continue;
    if (!allowClickID &&
        std::find(kConsentedClickIDs.begin(), kConsentedClickIDs.end(), key) != kConsentedClickIDs.end()) {
      continue;
    }
    parameters.insert_or_assign(std::string(name), platform::Value(*text));
  }
  parameters.merge(numbers);
  if (clickTimestampInMs)
    parameters.insert_or_assign("click_timestamp", platform::Value(*clickTimestampInMs));

  // A campaign opened before the recorded first open counts from the first open.
  const double eventTimestamp =
      std::max(static_cast<double>(persistedConfig_->firstOpenTimestampMilliseconds()) / 1000,
               eventTimestampInSeconds);
  if (const std::string* clickID = nonEmptyText(urlParameters, "cbraid")) {
    if (std::optional<BMSUserAttribute> property = BMSUserAttribute::initWithOrigin(
            "auto", "_cbraid", BMSValue::initWithStringValue(*clickID), eventTimestamp)) {
      setUserPropertyInDatabaseOnWorkerQueue(*property);
    }
  }
  const auto clickFlag = parameters.find("_cc");
  const std::optional<BMSValue> flag =
      clickFlag == parameters.end() ? std::nullopt : BMSValueFromObject(clickFlag->second);
  const bool expiredClick = flag && flag->isInt64() && flag->int64Value() == 1;
  // Listeners hear of the event once: the pipeline tells them of every internal event it handles.
  if (std::optional<BMSEvent> event = BMSEvent::initWithOrigin("auto", false, expiredClick ? "_cmpx" : "_cmp",
                                                               eventTimestamp, 0, parameters)) {
    handleInternalEventOnWorkerQueue(*event);
  }
}

void BMSMeasurement::reportStoredCampaignEventOnWorkerQueue(std::optional<std::int64_t> clickTimestampInMs) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("reportStoredCampaignEventOnWorkerQueue");
  BMSUserDefaults& preferences = *BMSUserDefaults::sharedUserDefaults();
  const std::optional<platform::Value> stored = preferences.objectForKey(kBMSStoredDeepLinkKey);
  const std::string* storedURL = stored ? stored->asString() : nullptr;
  if (!storedURL || storedURL->empty()) return;
  const std::optional<platform::Value> storedAt = preferences.objectForKey(kBMSStoredDeepLinkTimestampKey);
  const double storedSeconds = storedAt && storedAt->isNumber() ? storedAt->doubleValue() : 0;

  std::string url = *storedURL;
  platform::Dictionary extraParameters;
  if (BMSIsStoredDeepLinkExpired(preferences, remoteConfigInstance()->attributionCacheTTLInterval(),
                                 context_.clock())) {
    // Too old to attribute: the campaign is reported without its source.
    url = kNotSet;
    extraParameters = {{"utm_source", kNotSet}, {"utm_medium", kNotSet}, {"_cc", std::int64_t{1}}};
  } else {
    extraParameters = {
        {"_cc", BMSPreviousHourStartMillis(platform::saturatingInteger(storedSeconds * 1000))}};
  }
  BMSClearStoredDeepLink(preferences);
  handleOpenURLOnWorkerQueue(url, clickTimestampInMs, storedSeconds, extraParameters);
}

std::optional<std::string> BMSMeasurement::deepLinkFromUserActivity(
    const platform::UserActivity& userActivity) {
  const std::optional<std::string>& url = userActivity.webpageURL;
  if (userActivity.activityType == kUserActivityTypeBrowsingWeb && url && !url->empty()) return *url;
  platform::Dictionary description{{kUserActivityTypeKey, userActivity.activityType}};
  if (url) description.insert_or_assign(kUserActivityWebpageURLKey, *url);
  BMSLog(3, 23006, "User Activity does not have Deep Link. User Activity", {std::move(description)});
  return std::nullopt;
}

std::optional<std::string> BMSMeasurement::deepLinkFromUserActivity(const platform::Value* userActivity) {
  const platform::Dictionary* activity = userActivity ? userActivity->asDictionary() : nullptr;
  if (!activity) {
    BMSLog(7, 23003, "User Activity is empty. User Activity",
           {userActivity ? *userActivity : platform::Value()});
    return std::nullopt;
  }
  const auto field = [&](const char* key) -> const std::string* {
    const auto found = activity->find(key);
    return found == activity->end() ? nullptr : found->second.asString();
  };
  platform::UserActivity typed;
  if (const std::string* type = field(kUserActivityTypeKey)) typed.activityType = *type;
  if (const std::string* url = field(kUserActivityWebpageURLKey)) typed.webpageURL = *url;
  return deepLinkFromUserActivity(typed);
}

void BMSMeasurement::handleStoredURLAfterAppLaunchWithNotification(
    AnalyticsContext& context, const platform::Notification& notification) {
  if (!notification.userInfo) return;
  const platform::Dictionary& options = *notification.userInfo;
  const auto entry = [](const platform::Dictionary& dictionary, const char* key) -> const platform::Value* {
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : &found->second;
  };
  std::optional<std::string> link;
  if (const platform::Value* activities = entry(options, kApplicationLaunchOptionsUserActivityDictionaryKey);
      activities && activities->asDictionary()) {
    link = deepLinkFromUserActivity(
        entry(*activities->asDictionary(), kApplicationLaunchOptionsUserActivityKey));
  }
  if (!link || link->empty()) {
    const platform::Value* url = entry(options, kApplicationLaunchOptionsURLKey);
    if (url && url->asString()) link = *url->asString();
  }
  if (link && !link->empty())
    BMSStoreDeepLink(*BMSUserDefaults::sharedUserDefaults(), *link, context.clock());
}

}  // namespace beacon
