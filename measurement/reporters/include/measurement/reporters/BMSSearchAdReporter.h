#pragma once
// Search-ad attribution: finds out, once per installation, whether the app was installed from a
// search ad, and if so logs one campaign event "_cmp" with source "Apple" and medium "search". It
// takes a token from the platform's attribution class (BMSAttributionTokenSource), posts it to the
// attribution service and reads the campaign from the JSON reply. At most ten attempts, one day
// apart; any recorded answer ends the attempts for good. The state lives in the persisted
// configuration, so it carries over launches; creation answers nullptr once there is nothing left
// to do.
//
// Threads: the engine makes, starts and switches the reporter on its worker queue; the alarm fires
// there and the attribution reply is handled there too, so scheduling state is worker-queue only.
// Recording the answer takes the reporter's lock so that only one answer is ever recorded.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "measurement/engine/BMSAlarm.h"
#include "measurement/reporters/BMSReporterHost.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/dispatch/Queue.h"
#include "platform/error/Result.h"
#include "platform/net/HttpMessage.h"
#include "platform/time/Clock.h"

namespace beacon {

class BMSPersistedConfig;

inline constexpr const char* kBMSSearchAdAlarmName = "Search Ad campaign report alarm";
// Where the token is posted, on the attribution service's origin.
inline constexpr const char* kBMSSearchAdAttributionPath = "/api/v1/";

class BMSSearchAdReporter : public std::enable_shared_from_this<BMSSearchAdReporter> {
 public:
  static constexpr std::int64_t kMaxRetryCount = 10;
  static constexpr double kRetryIntervalSeconds = 86400;
  static constexpr double kRequestTimeoutSeconds = 10;

  // What the reporter reaches outside the worker queue and its persisted state.
  struct Services {
    std::shared_ptr<BMSReporterHost> host;
    std::shared_ptr<const platform::Clock> clock;
    // Where the attribution class is looked up.
    platform::ClassDirectory* classes = nullptr;
  };

  // nullptr (logged) without a queue or persisted state; nullptr when the attempts are used up or an
  // answer was recorded before.
  static std::shared_ptr<BMSSearchAdReporter> initWithWorkerQueue(
      platform::QueueRef workerQueue, std::shared_ptr<BMSPersistedConfig> persistedConfig, Services services);
  ~BMSSearchAdReporter();

  // Schedules the first attempt, unless the platform has no attribution class.
  void start();
  void scheduleSearchAdReport();
  // Cancels the alarm and drops it: nothing is scheduled any more.
  void cancelScheduling();
  // The alarm's work: one attempt now, and the next one scheduled.
  void maybeLogIAdCampaignEvent();
  void fetchAttributionDetails();
  void requestAttributionPayloadWithToken(const std::string& token);
  void logCampaignEventWithSearchAdCampaign(bool isSearchAdCampaign, const std::string& campaign,
                                            const std::string& term);
  // The platform's attribution class, or nullptr.
  const platform::ClassEntry* adClientInstance() const;

  bool isSearchAdReporterEnabled() const { return searchAdReporterEnabled_.load(); }
  // Turning the reporter off cancels a pending attempt; turning a started reporter on again
  // schedules the next one.
  void setSearchAdReporterEnabled(bool enabled);

 private:
  BMSSearchAdReporter(platform::QueueRef workerQueue, std::shared_ptr<BMSPersistedConfig> persistedConfig,
                      Services services);
  void handleAttributionReply(const platform::Result<platform::HttpResponse>& reply);
  double now() const;

  const platform::QueueRef workerQueue_;
  const std::shared_ptr<BMSPersistedConfig> persistedConfig_;
  const Services services_;
  std::atomic<bool> searchAdReporterEnabled_ = false;
  // Worker queue only.
  std::unique_ptr<BMSAlarm> searchAdReporterAlarm_;
  bool started_ = false;
  // Guards the read-then-record of the campaign value.
  std::mutex campaignMutex_;
};

}  // namespace beacon
