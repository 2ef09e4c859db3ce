#include "Velloran/viewmodels/ViewModelEnvironment.h"

#include <iostream>

#include "platform/time/SystemClock.h"

namespace velloran {

ViewModelEnvironment ViewModelEnvironment::application() {
  // The shared system clock lives as long as the process; this pointer only refers to it.
  std::shared_ptr<const platform::Clock> clock(std::shared_ptr<void>(), &platform::SystemClock::shared());
  return ViewModelEnvironment{
      .clock = std::move(clock),
      .random = platform::systemRandomSource(),
      .console = std::cout,
      .analytics = AnalyticsService::shared(),
      .mainQueue = platform::mainQueue(),
  };
}

}  // namespace velloran
