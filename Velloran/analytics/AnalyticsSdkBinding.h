#pragma once
// Which AnalyticsSdk the running application talks to: the analytics SDK it links
// (BeaconAnalyticsSdk.h). Tests of the application bind a recording double instead
// (Velloran/analytics/testing).

#include <memory>

#include "Velloran/analytics/AnalyticsSdk.h"

namespace velloran {

// A new instance of the bound implementation.
std::shared_ptr<AnalyticsSdk> makeBoundAnalyticsSdk();

}  // namespace velloran
