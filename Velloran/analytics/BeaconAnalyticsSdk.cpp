#include "Velloran/analytics/BeaconAnalyticsSdk.h"

#include "analytics-api/BCNAnalytics.h"
#include "beacon/Beacon.h"

namespace velloran {

BeaconAnalyticsSdk::BeaconAnalyticsSdk() {
  beacon::BCNAnalytics::registerClass();
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

void BeaconAnalyticsSdk::logEventWithName(const std::string&, const std::optional<AnalyticsParameters>&) {}

void BeaconAnalyticsSdk::resetAnalyticsData() {}

}  // namespace velloran
