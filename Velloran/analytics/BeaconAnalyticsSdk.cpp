#include "Velloran/analytics/BeaconAnalyticsSdk.h"

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNAnalyticsConnector.h"
#include "beacon/Beacon.h"
#include "installations/BCNInstallations.h"
#include "measurement/engine/BMSValue.h"

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
  return beacon::BCNAnalytics::waitForQueuedWork(bound);
}

bool BeaconAnalyticsSdk::closeDatabaseAfterQueuedWork(std::chrono::milliseconds bound) {
  return beacon::BCNAnalytics::closeDatabaseAfterQueuedWork(bound);
}

}  // namespace velloran
