#include "measurement/engine/BMSEventAggregates.h"

#include <limits>

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"

namespace beacon {
namespace {

void increment(std::int32_t& counter, std::int64_t overflowCode, std::string_view overflowMessage) {
  if (counter == std::numeric_limits<std::int32_t>::max()) {
    counter = 0;
    BMSLog(5, overflowCode, overflowMessage);
  } else {
    ++counter;
  }
}

}  // namespace

std::optional<BMSEventAggregates> BMSEventAggregates::initWithName(const std::string& name,
                                                                   std::int32_t lifetimeCount,
                                                                   std::int32_t currentBundleCount,
                                                                   std::int32_t currentSessionCount,
                                                                   double lastFireTimestamp) {
  if (!BMSDataTypeValidator::isValidInternalEventName(platform::Value(name))) return std::nullopt;
  if (lifetimeCount < 0 || currentBundleCount < 0 || currentSessionCount < 0) {
    BMSLog(5, 17000, "Failed to create event aggregates object. Received negative count.");
    return std::nullopt;
  }
  BMSEventAggregates aggregates;
  aggregates.name_ = name;
  aggregates.lifetimeCount_ = lifetimeCount;
  aggregates.currentBundleCount_ = currentBundleCount;
  aggregates.currentSessionCount_ = currentSessionCount;
  aggregates.lastFireTimestamp_ = lastFireTimestamp;
  return aggregates;
}

void BMSEventAggregates::incrementLifetimeCount() {
  increment(lifetimeCount_, 17001, "Lifetime count overflow. Lifetime count reset to 0.");
}
void BMSEventAggregates::incrementCurrentBundleCount() {
  increment(currentBundleCount_, 17002, "Bundle count overflow. Bundle count reset to 0.");
}
void BMSEventAggregates::incrementCurrentSessionCount() {
  increment(currentSessionCount_, 17003, "Session count overflow. Session count reset to 0.");
}

}  // namespace beacon
