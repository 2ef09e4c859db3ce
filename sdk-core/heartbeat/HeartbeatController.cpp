#include "sdk-core/heartbeat/HeartbeatController.h"

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "platform/time/SystemClock.h"

namespace beacon {
namespace {

constexpr double kSecondsPerDay = 86400.0;

}  // namespace

platform::Date HeartbeatController::normalizeToDay(platform::Date date) {
  // The reference date is itself a UTC midnight, so whole days counted from it are UTC days.
  return platform::Date{std::floor(date.secondsSinceReferenceDate / kSecondsPerDay) * kSecondsPerDay};
}

HeartbeatController::HeartbeatController(const std::string& id, std::shared_ptr<const platform::Clock> clock)
    : HeartbeatController(HeartbeatStorage::sharedStorage(id),
                          [clock = clock ? std::move(clock) : platform::SystemClock::sharedPointer()] {
                            return clock->now();
                          }) {}

HeartbeatController::HeartbeatController(std::shared_ptr<HeartbeatStorageProtocol> storage,
                                         DateProvider dateSource)
    : storage_(std::move(storage)),
      dateProvider_([dateSource = std::move(dateSource)] { return normalizeToDay(dateSource()); }) {}

void HeartbeatController::log(const std::string& agent) {
  const platform::Date date = dateProvider_();
  storage_->updateAsync(
      [agent, date](std::optional<HeartbeatsBundle> stored) -> std::optional<HeartbeatsBundle> {
        HeartbeatsBundle bundle = stored ? std::move(*stored) : HeartbeatsBundle(kHeartbeatsStorageCapacity);
        std::vector<TimePeriod> due;
        for (const auto& [period, lastAdded] : bundle.lastAddedHeartbeatDates) {
          // A counted day after today was written under a clock that ran ahead; waiting for it
          // would stop heartbeats until then, so today counts and replaces it.
          const double elapsed = date.secondsSinceReferenceDate - lastAdded.secondsSinceReferenceDate;
          if (elapsed >= timeInterval(period) || elapsed < 0) {
            due.push_back(period);
          }
        }
        if (!due.empty()) bundle.append(Heartbeat{agent, date, 0, std::move(due)});
        return bundle;
      });
}

HeartbeatsPayload HeartbeatController::flush() {
  auto flushed =
      storage_->exchangeSync([](std::optional<HeartbeatsBundle> stored) -> std::optional<HeartbeatsBundle> {
        if (!stored) return std::nullopt;
        // The counted days carry over, so a day already counted is not logged a second time.
        return HeartbeatsBundle(kHeartbeatsStorageCapacity, stored->lastAddedHeartbeatDates);
      });
  if (!flushed || !*flushed) return HeartbeatsPayload::emptyPayload();
  return (*flushed)->makePayload();
}

void HeartbeatController::waitForLoggedHeartbeats() {
  storage_->waitForQueuedWork();
}

HeartbeatsPayload HeartbeatController::flushHeartbeatFromToday() {
  const platform::Date today = dateProvider_();
  std::optional<Heartbeat> removed;
  storage_->updateSync([&](std::optional<HeartbeatsBundle> stored) -> std::optional<HeartbeatsBundle> {
    if (stored) removed = stored->removeHeartbeat(today);
    return stored;
  });
  return removed ? removed->makePayload() : HeartbeatsPayload::emptyPayload();
}

}  // namespace beacon
