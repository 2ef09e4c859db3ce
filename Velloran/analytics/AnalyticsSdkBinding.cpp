#include "Velloran/analytics/AnalyticsSdkBinding.h"

#include "Velloran/analytics/BeaconAnalyticsSdk.h"

namespace velloran {

std::shared_ptr<AnalyticsSdk> makeBoundAnalyticsSdk() {
  return std::make_shared<BeaconAnalyticsSdk>();
}

}  // namespace velloran
