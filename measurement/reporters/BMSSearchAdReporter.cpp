#include "measurement/reporters/BMSSearchAdReporter.h"

#include <chrono>

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/reporters/BMSAttributionTokenSource.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/json/Json.h"
#include "platform/net/HttpClient.h"
#include "platform/time/StampAge.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

// The reply marks test data with this value in both "adId" and "campaignId".
constexpr const char* kTestDataID = "1234567890";

// A reply field as text: the service sends the IDs as strings, but an integer is taken too.
std::string idText(const platform::Dictionary& reply, const char* key) {
  const auto found = reply.find(key);
  if (found == reply.end()) return {};
  if (const std::string* text = found->second.asString()) return *text;
  if (const std::int64_t* number = found->second.asInteger()) return std::to_string(*number);
  return {};
}

bool isRecorded(const BMSPersistedConfig& persisted) {
  return persisted.searchAdCampaignValue().has_value();
}

}  // namespace

std::shared_ptr<BMSSearchAdReporter> BMSSearchAdReporter::initWithWorkerQueue(
    platform::QueueRef workerQueue, std::shared_ptr<BMSPersistedConfig> persistedConfig, Services services) {
  if (!workerQueue) {
    BMSLog(2, 32000, "Cannot init Search Ad reporter. Queue must be provided");
    return nullptr;
  }
  if (!persistedConfig) {
    BMSLog(2, 32001, "Cannot init Search Ad reporter. Persisted config must be provided");
    return nullptr;
  }
  if (persistedConfig->searchAdRetryCount() >= kMaxRetryCount) return nullptr;
  if (isRecorded(*persistedConfig)) {
    BMSLog(7, 32002, "Search Ad campaign attribution was already reported. Do not start Search Ad Reporter.");
    return nullptr;
  }
  return std::shared_ptr<BMSSearchAdReporter>(
      new BMSSearchAdReporter(std::move(workerQueue), std::move(persistedConfig), std::move(services)));
}

BMSSearchAdReporter::BMSSearchAdReporter(platform::QueueRef workerQueue,
                                         std::shared_ptr<BMSPersistedConfig> persistedConfig,
                                         Services services)
    : workerQueue_(std::move(workerQueue)),
      persistedConfig_(std::move(persistedConfig)),
      services_(std::move(services)),
      searchAdReporterAlarm_(
          std::make_unique<BMSAlarm>(workerQueue_, kBMSSearchAdAlarmName, services_.clock)) {}

BMSSearchAdReporter::~BMSSearchAdReporter() {
  cancelScheduling();
}

double BMSSearchAdReporter::now() const {
  return services_.clock->now().unixSeconds();
}

const platform::ClassEntry* BMSSearchAdReporter::adClientInstance() const {
  return services_.classes ? services_.classes->lookup(kBMSAttributionClassName) : nullptr;
}

void BMSSearchAdReporter::setSearchAdReporterEnabled(bool enabled) {
  const bool wasEnabled = searchAdReporterEnabled_.exchange(enabled);
  if (enabled == wasEnabled) return;
  // An attempt must not go out while collection is off; it resumes when collection comes back.
  if (!enabled && searchAdReporterAlarm_) searchAdReporterAlarm_->cancel();
  if (enabled && started_) scheduleSearchAdReport();
}

void BMSSearchAdReporter::start() {
  if (!adClientInstance()) {
    BMSLog(7, 32014, "AdServices framework is not linked. Search Ad Attribution Reporter is disabled.");
    return;
  }
  if (BMSAEU::isNOD()) {
    BMSLog(7, 32019, "Search Ad Attribution Reporter is disabled on the simulator");
    return;
  }
  started_ = true;
  scheduleSearchAdReport();
}

void BMSSearchAdReporter::scheduleSearchAdReport() {
  if (!searchAdReporterAlarm_) {
    BMSLog(5, 32013, "Search Ad Campaign attribution alarm is already canceled");
    return;
  }
  if (!isSearchAdReporterEnabled()) {
    searchAdReporterAlarm_->cancel();
    return;
  }
  if (isRecorded(*persistedConfig_)) {
    BMSLog(7, 32004, "Search Ad report not scheduled. Search Ad campaign attribution was already reported.");
    cancelScheduling();
    return;
  }
  if (searchAdReporterAlarm_->scheduledTimestamp()) {
    BMSLog(5, 32005, "Search Ad Campaign attribution alarm is already scheduled");
    return;
  }
  if (persistedConfig_->searchAdRetryCount() >= kMaxRetryCount) {
    BMSLog(5, 32007,
           "Search Ad Campaign attribution exceeds the max number of retries. Do not schedule again.");
    cancelScheduling();
    return;
  }
  BMSLog(7, 32006, "Scheduling Search Ad Report timer");
  // One day after the last look-up, on either side of the clock; without one, or with one more than a
  // day away, the delay is negative and the attempt due at once.
  const double delay = kRetryIntervalSeconds - platform::secondsFromStampEitherWay(
                                                   persistedConfig_->lastSearchAdLookUpTimestamp(), now());
  searchAdReporterAlarm_->runAfterDelay(delay, [weakSelf = weak_from_this()] {
    if (const std::shared_ptr<BMSSearchAdReporter> self = weakSelf.lock()) self->maybeLogIAdCampaignEvent();
  });
}

void BMSSearchAdReporter::cancelScheduling() {
  if (searchAdReporterAlarm_) searchAdReporterAlarm_->cancel();
  searchAdReporterAlarm_.reset();
}

void BMSSearchAdReporter::maybeLogIAdCampaignEvent() {
  if (!adClientInstance()) return;
  persistedConfig_->setLastSearchAdLookUpTimestamp(now());
  fetchAttributionDetails();
  scheduleSearchAdReport();
}

void BMSSearchAdReporter::fetchAttributionDetails() {
  // Counted first, so an attempt that fails in any way still uses up one of the ten.
  persistedConfig_->setSearchAdRetryCount(persistedConfig_->searchAdRetryCount() + 1);
  const platform::ClassEntry* attribution = adClientInstance();
  BMSAttributionTokenSource* tokens = attribution ? attribution->facet<BMSAttributionTokenSource>() : nullptr;
  if (!tokens) return;
  const platform::Result<std::string> token = tokens->attributionToken();
  if (!token) {
    BMSLog(1, 32018, "Cannot send request for Search Ad campaign attribution. Error",
           {token.error().debugDescription()});
    return;
  }
  if (!token->empty()) requestAttributionPayloadWithToken(*token);
}

void BMSSearchAdReporter::requestAttributionPayloadWithToken(const std::string& token) {
  platform::HttpRequest request;
  request.url = CVUServiceURL(CVUService::Attribution, kBMSSearchAdAttributionPath);
  request.method = "POST";
  request.headers.set("cache-control", "no-cache");
  request.headers.set("Content-Type", "text/plain");
  request.body.assign(token.begin(), token.end());
  request.timeout = std::chrono::milliseconds(static_cast<std::int64_t>(kRequestTimeoutSeconds * 1000));
  // The reply comes back on the worker queue, where the alarm and the persisted state are used.
  platform::HttpClient::shared()->send(
      std::move(request), workerQueue_,
      [weakSelf = weak_from_this()](platform::Result<platform::HttpResponse> reply) {
        if (const std::shared_ptr<BMSSearchAdReporter> self = weakSelf.lock())
          self->handleAttributionReply(reply);
      });
}

void BMSSearchAdReporter::handleAttributionReply(const platform::Result<platform::HttpResponse>& reply) {
  if (!reply || reply->statusCode < 200 || reply->statusCode > 299) {
    // A refusing server is a failed attempt, never an answer: its body must not be read as "no ad".
    BMSLog(1, 32015, "Cannot send request for Search Ad campaign attribution. Error",
           {reply ? platform::Value("HTTP status " + std::to_string(reply->statusCode))
                  : platform::Value(reply.error().debugDescription())});
    scheduleSearchAdReport();
    return;
  }
  const platform::Result<platform::Value> parsed = platform::parseJson(reply->bodyText());
  const platform::Dictionary* answer = parsed ? parsed->asDictionary() : nullptr;
  if (!answer) {
    BMSLog(
        1, 32017, "Search Ad Reporter failed to parse JSON data. Error",
        {parsed ? platform::Value("not a JSON object") : platform::Value(parsed.error().debugDescription())});
    scheduleSearchAdReport();
    return;
  }
  if (answer->empty()) {
    scheduleSearchAdReport();
    return;
  }
  const std::string campaign = idText(*answer, "campaignId");
  if (campaign == kTestDataID && idText(*answer, "adId") == kTestDataID) {
    BMSLog(7, 32016, "Search Ad Reporter returned test data. Will retry next time.");
    scheduleSearchAdReport();
    return;
  }
  const auto flag = answer->find("attribution");
  const bool attributed = flag != answer->end() && flag->second.isBool() && *flag->second.asBool();
  logCampaignEventWithSearchAdCampaign(attributed, campaign, idText(*answer, "keywordId"));
  cancelScheduling();
}

void BMSSearchAdReporter::logCampaignEventWithSearchAdCampaign(bool isSearchAdCampaign,
                                                               const std::string& campaign,
                                                               const std::string& term) {
  bool newlyRecorded = false;
  {
    std::lock_guard lock(campaignMutex_);
    if (isRecorded(*persistedConfig_)) {
      BMSLog(5, 32008, "Search Ad Campaign is already tracked");
    } else {
      // A NO is recorded too: the answer is final either way.
      persistedConfig_->setSearchAdCampaignValue(platform::Value(isSearchAdCampaign));
      newlyRecorded = true;
    }
  }
  if (!newlyRecorded || !isSearchAdCampaign) return;

  BMSParameters parameters{{"source", platform::Value("Apple")}, {"medium", platform::Value("search")}};
  if (!campaign.empty()) parameters.emplace("campaign", platform::Value(campaign));
  if (!term.empty()) parameters.emplace("term", platform::Value(term));
  if (const std::int64_t firstOpen = persistedConfig_->firstOpenTimestampMilliseconds(); firstOpen >= 2) {
    parameters.emplace("click_timestamp", platform::Value(firstOpen - 1));
  } else {
    BMSLog(5, 32009, "Search Ad Campaign does not have click_timestamp.");
  }
  services_.host->logInternalEvent("auto", "_cmp", parameters);
}

}  // namespace beacon
