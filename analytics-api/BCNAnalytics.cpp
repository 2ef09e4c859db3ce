#include "analytics-api/BCNAnalytics.h"

#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "sdk-core/BCNAnalyticsStart.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

constexpr const char* kSDKAppOrigin = "ba";
constexpr const char* kLogTag = "[BeaconAnalytics]";

class AnalyticsClassFacets final : public BCNAnalyticsStart, public BMSTopLevelVersion {
 public:
  void startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                              const std::shared_ptr<BCNOptions>& options) override {
    BCNAnalytics::startWithConfiguration(configuration, options);
  }
  std::string topLevelVersion() const override { return BCNAnalytics::topLevelVersion(); }
};

}  // namespace

void BCNAnalytics::registerClass(platform::ClassDirectory& classes) {
  auto facets = std::make_shared<AnalyticsClassFacets>();
  classes.registerClass<BCNAnalyticsStart, BMSTopLevelVersion>(kBCNAnalyticsClassName, facets, facets);
}

void BCNAnalytics::startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                                          const std::shared_ptr<BCNOptions>& options) {
  BMSAnalyticsStartOptions startOptions;
  startOptions.configuration = configuration;
  startOptions.values = {
      {kBMSStartOptionCollectionDeactivated, options->isAnalyticsCollectionDeactivated()},
      {kBMSStartOptionCollectionEnabled, options->isAnalyticsCollectionEnabled()},
      {kBMSStartOptionLogTag, kLogTag},
  };
  BMSAnalytics::startWithAppID(options->corvaneAppID().value_or(""), kSDKAppOrigin, startOptions);
}

void BCNAnalytics::setAnalyticsCollectionEnabled(bool enabled) {
  BMSAnalytics::setAnalyticsEnabled(enabled, true);
}

std::optional<std::string> BCNAnalytics::appInstanceID() {
  return BMSAnalytics::appInstanceID();
}

void BCNAnalytics::setLogEventInterceptor(BMSLogEventInterceptor interceptor) {
  BMSAnalytics::setLogEventInterceptor(std::move(interceptor));
}

std::optional<BMSLogEventListenerToken> BCNAnalytics::addLogEventListener(BMSLogEventListener listener) {
  return BMSAnalytics::addLogEventListener(std::move(listener));
}

void BCNAnalytics::removeLogEventListener(std::optional<BMSLogEventListenerToken> token) {
  BMSAnalytics::removeLogEventListener(token);
}

void BCNAnalytics::notifyEventListeners(const BMSEvent& event) {
  BMSAnalytics::notifyEventListeners(event);
}

void BCNAnalytics::dispatchAsyncOnSerialQueue(std::function<void()> block) {
  BMSAnalytics::dispatchAsyncOnSerialQueue(std::move(block));
}

void BCNAnalytics::queueOperationWithBlock(std::function<void()> block) {
  BMSAnalytics::queueOperationWithBlock(std::move(block));
}

void BCNAnalytics::unsuspendOperationQueue() {
  BMSAnalytics::unsuspendOperationQueue();
}

double BCNAnalytics::loadTimestamp() {
  return BMSAnalytics::loadTimestamp();
}

}  // namespace beacon
