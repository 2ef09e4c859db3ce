#include "Velloran/viewmodels/ViewModelEnvironment.h"

#include <iostream>

#include "platform/time/SystemClock.h"

namespace velloran {

ViewModelEnvironment ViewModelEnvironment::application() {
  return ViewModelEnvironment{
      .clock = platform::SystemClock::sharedPointer(),
      .random = platform::systemRandomSource(),
      .console = std::cout,
      .analytics = AnalyticsService::shared(),
      .mainQueue = platform::mainQueue(),
  };
}

}  // namespace velloran
