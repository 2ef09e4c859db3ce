#pragma once
// The SDK as it behaves when the bundle carries no options file: configure() leaves no default app
// behind, so the collection switch and the reset are never reached, and events are dropped.
//
// The application binds this until the SDK's analytics road is linked. Stateless; main thread only
// like every AnalyticsSdk.

#include "Velloran/analytics/AnalyticsSdk.h"

namespace velloran {

class AbsentAnalyticsSdk final : public AnalyticsSdk {
 public:
  bool hasDefaultApp() override { return false; }
  void configure() override {}
  void setAnalyticsCollectionEnabled(bool) override {}
  void logEventWithName(const std::string&, const std::optional<AnalyticsParameters>&) override {}
  void resetAnalyticsData() override {}
};

}  // namespace velloran
