#pragma once
// The AnalyticsSdk of the running application: the analytics SDK itself, reached through its public
// headers only.
//
//  - hasDefaultApp() asks the SDK for its default app (which logs, as the SDK does, when there is
//    none).
//  - configure() configures the default app from the bundle's "BeaconService-Info.plist". The SDK
//    treats a missing or unusable options file as a programmer error and throws; here that is an
//    ordinary outcome the caller reads from hasDefaultApp() afterwards, so the exception ends in
//    this call and nothing else happens.
//  - the collection switch, events and the data reset go to the SDK's analytics interface, which
//    queues them. The interface knows no event without a parameter dictionary: such an event goes
//    with an empty one.
//  - waitForQueuedWork() is the SDK's own wait for its queued analytics work, which keeps the main
//    queue running meanwhile, so SDK work that needs the main thread still runs;
//    closeDatabaseAfterQueuedWork() is that wait followed by the close of the SDK's database.
//
// Making the first instance announces the SDK's libraries the application links - installations and
// analytics - to the SDK core, so that configuring the default app makes the installations client
// and starts analytics; further instances announce nothing new. Main thread only, like
// every AnalyticsSdk.

#include "Velloran/analytics/AnalyticsSdk.h"

namespace velloran {

class BeaconAnalyticsSdk final : public AnalyticsSdk {
 public:
  BeaconAnalyticsSdk();

  bool hasDefaultApp() override;
  void configure() override;
  void setAnalyticsCollectionEnabled(bool enabled) override;
  void logEventWithName(const std::string& name,
                        const std::optional<AnalyticsParameters>& parameters) override;
  void resetAnalyticsData() override;
  bool waitForQueuedWork(std::chrono::milliseconds bound) override;
  bool closeDatabaseAfterQueuedWork(std::chrono::milliseconds bound) override;
};

}  // namespace velloran
