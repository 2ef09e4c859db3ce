#include "Velloran/analytics/AnalyticsSdkBinding.h"

#include "Velloran/analytics/AbsentAnalyticsSdk.h"

namespace velloran {

std::shared_ptr<AnalyticsSdk> makeBoundAnalyticsSdk() {
  return std::make_shared<AbsentAnalyticsSdk>();
}

}  // namespace velloran
