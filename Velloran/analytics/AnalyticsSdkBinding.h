#pragma once
// Which AnalyticsSdk the running application talks to. This is the one place that changes when the
// SDK's analytics road is linked into the application.

#include <memory>

#include "Velloran/analytics/AnalyticsSdk.h"

namespace velloran {

// A new instance of the bound implementation; today the SDK without an options file
// (AbsentAnalyticsSdk.h), because the application does not link the SDK's analytics yet.
std::shared_ptr<AnalyticsSdk> makeBoundAnalyticsSdk();

}  // namespace velloran
