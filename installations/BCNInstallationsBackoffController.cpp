#include "installations/BCNInstallationsBackoffController.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/time/StampAge.h"
#include "platform/time/SystemClock.h"

namespace beacon {
namespace {

constexpr double kUnrecoverableErrorBackoffTime = 24 * 60 * 60;
constexpr double kMaximumRecoverableErrorBackoffTime = 30 * 60;

}  // namespace

double BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(BCNInstallationsBackoffEvent event,
                                                                      std::int64_t count,
                                                                      platform::RandomSource& random) {
  switch (event) {
    case BCNInstallationsBackoffEvent::UnrecoverableFailure:
      return kUnrecoverableErrorBackoffTime;
    case BCNInstallationsBackoffEvent::RecoverableFailure:
      return recoverableErrorBackoffTimeForAttemptNumber(count, random);
    case BCNInstallationsBackoffEvent::Success:
      break;
  }
  return 0;
}

double BCNInstallationsBackoffEventData::recoverableErrorBackoffTimeForAttemptNumber(
    std::int64_t attempt, platform::RandomSource& random) {
  // 2^attempt overflows nothing that matters: from attempt 11 on the cap applies anyway.
  double exponential = std::ldexp(1.0, static_cast<int>(std::min<std::int64_t>(attempt, 64)));
  return std::min(exponential + randomMilliseconds(random), kMaximumRecoverableErrorBackoffTime);
}

double BCNInstallationsBackoffEventData::randomMilliseconds(platform::RandomSource& random) {
  std::array<std::uint8_t, 4> bytes{};
  random.fill(bytes);
  std::uint32_t value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                        static_cast<std::uint32_t>(bytes[2]) << 16 |
                        static_cast<std::uint32_t>(bytes[3]) << 24;
  return static_cast<double>(value % 1000) * 0.001;
}

BCNInstallationsBackoffController::BCNInstallationsBackoffController()
    : BCNInstallationsBackoffController([] { return platform::SystemClock::shared().now(); }) {}

BCNInstallationsBackoffController::BCNInstallationsBackoffController(CurrentDateProvider currentDateProvider,
                                                                     platform::RandomSource& random)
    : currentDateProvider_(std::move(currentDateProvider)), random_(random) {}

bool BCNInstallationsBackoffController::isNextRequestAllowed() {
  std::lock_guard guard(mutex_);
  if (!lastEventData_) return true;
  // An event registered while the clock ran ahead ends its wait once the clock is set right.
  return platform::secondsSinceStamp(lastEventData_->lastEventDate, currentDateProvider_()) >=
         lastEventData_->backoffTimeInterval;
}

void BCNInstallationsBackoffController::registerEvent(BCNInstallationsBackoffEvent event) {
  std::lock_guard guard(mutex_);
  std::int64_t count =
      lastEventData_ && lastEventData_->eventType == event ? lastEventData_->eventCount + 1 : 1;
  lastEventData_ = BCNInstallationsBackoffEventData{
      event, currentDateProvider_(), count,
      BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(event, count, random_)};
}

std::optional<BCNInstallationsBackoffEventData> BCNInstallationsBackoffController::lastEventData() const {
  std::lock_guard guard(mutex_);
  return lastEventData_;
}

}  // namespace beacon
