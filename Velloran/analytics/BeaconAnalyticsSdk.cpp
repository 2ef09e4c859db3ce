#include "Velloran/analytics/BeaconAnalyticsSdk.h"

#include <atomic>
#include <memory>

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNAnalyticsConnector.h"
#include "beacon/Beacon.h"
#include "installations/BCNInstallations.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/engine/BMSValue.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"

namespace velloran {

BeaconAnalyticsSdk::BeaconAnalyticsSdk() {
  beacon::BCNInstallations::load();
  beacon::BCNAnalytics::registerClass();
  beacon::BCNAnalyticsConnector::load();
}

bool BeaconAnalyticsSdk::hasDefaultApp() {
  return beacon::BCNApp::defaultApp() != nullptr;
}

void BeaconAnalyticsSdk::configure() {
  try {
    beacon::BCNApp::configure();
  } catch (const platform::ProgrammerError&) {
    // The SDK has logged what was wrong with the options; the caller sees the failure as the
    // missing default app and tells the user in its own words.
  }
}

void BeaconAnalyticsSdk::setAnalyticsCollectionEnabled(bool enabled) {
  beacon::BCNAnalytics::setAnalyticsCollectionEnabled(enabled);
}

void BeaconAnalyticsSdk::logEventWithName(const std::string& name,
                                          const std::optional<AnalyticsParameters>& parameters) {
  // The SDK's interface takes a dictionary in every case: an event without one carries an empty one.
  beacon::BCNAnalytics::logEventWithName(
      name, parameters ? beacon::BMSParametersFromDictionary(*parameters) : beacon::BMSParameters{});
}

void BeaconAnalyticsSdk::resetAnalyticsData() {
  beacon::BCNAnalytics::resetAnalyticsData();
}

bool BeaconAnalyticsSdk::waitForQueuedWork(std::chrono::milliseconds bound) {
  if (!beacon::BCNApp::isDefaultAppConfigured()) return true;
  auto done = std::make_shared<std::atomic<bool>>(false);
  // The marker reaches the main queue only after every block queued before it on each queue of the
  // road; setting the flag there wakes the pump below at once.
  const auto finish = [done] { platform::mainQueue()->async([done] { done->store(true); }); };
  beacon::BCNAnalytics::queueOperationWithBlock([finish] {
    // On the analytics queue: what the facade handed the engine so far waits on its worker queue.
    const std::shared_ptr<beacon::BMSMeasurement> engine = beacon::BMSMeasurement::sharedInstance();
    if (engine && engine->scheduler()) {
      engine->scheduler()->workerQueue()->async(finish);
    } else {
      finish();
    }
  });
  return platform::runUntil([&done] { return done->load(); }, bound);
}

}  // namespace velloran
