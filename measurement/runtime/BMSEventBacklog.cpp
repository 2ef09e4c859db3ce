#include "measurement/runtime/BMSEventBacklog.h"

#include <algorithm>

#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "platform/dispatch/Queue.h"

namespace beacon {
namespace {

// Apart from the connector's codes, which end at 25061.
constexpr std::int64_t kRefusedEventsLogCode = 25062;
// Refusals are logged once per this many, like the daily limit's drops.
constexpr std::int64_t kRefusalsPerLogLine = 1000;

}  // namespace

BMSEventBacklog::BMSEventBacklog(std::int64_t bound, std::chrono::nanoseconds patience)
    : bound_(bound),
      patience_(patience),
      state_(std::make_shared<State>(bound, std::clamp<std::int64_t>(bound / 16, 1, kWakeBatch))) {}

void BMSEventBacklog::State::giveBack() {
  stalled.store(false);
  briefStalled.store(false);
  std::int64_t held = returned.fetch_add(1) + 1;
  while (held >= wakeBatch) {
    if (returned.compare_exchange_weak(held, held - wakeBatch)) {
      for (std::int64_t i = 0; i < wakeBatch; ++i) places.signal();
      return;
    }
  }
}

bool BMSEventBacklog::State::takeReturned() {
  std::int64_t held = returned.load();
  while (held > 0) {
    if (returned.compare_exchange_weak(held, held - 1)) return true;
  }
  return false;
}

BMSEventBacklog::Wait BMSEventBacklog::callerWait() {
  if (platform::isRunningSerialQueueBlock()) return Wait::Never;
  return platform::isMainThread() ? Wait::Briefly : Wait::Patiently;
}

BMSEventBacklog::Place BMSEventBacklog::placeTaken() const {
  // The place points at the state it goes back to.
  return Place(state_.get(), [state = state_](const void*) { state->giveBack(); });
}

BMSEventBacklog::Place BMSEventBacklog::freePlace() {
  if (state_->takeReturned() || state_->places.wait(std::chrono::nanoseconds::zero())) return placeTaken();
  return nullptr;
}

BMSEventBacklog::Place BMSEventBacklog::waitForPlace(Wait wait) {
  if (wait == Wait::Never || state_->stalled.load()) return nullptr;
  const bool brief = wait == Wait::Briefly;
  std::atomic<bool>& ranOut = brief ? state_->briefStalled : state_->stalled;
  if (ranOut.load()) return nullptr;
  const std::chrono::nanoseconds timeout =
      brief ? std::min<std::chrono::nanoseconds>(kBriefPatience, patience_) : patience_;
  if (state_->places.wait(timeout) || state_->takeReturned()) return placeTaken();
  ranOut.store(true);
  return nullptr;
}

BMSEventBacklog::Admission BMSEventBacklog::admit(const std::string& name, Wait wait) {
  Place place = freePlace();
  if (!place) place = waitForPlace(wait);
  if (place) return {true, std::move(place)};
  const std::int64_t refused = refused_.fetch_add(1);
  if (refused % kRefusalsPerLogLine == 0) {
    BMSLog(1, kRefusedEventsLogCode, "Data loss. Too many events waiting to be stored. Name, limit",
           {BMSEventNameForDisplay(name), bound_});
  }
  return {false, nullptr};
}

BMSEventBacklog::Admission BMSEventBacklog::letThrough() {
  return {true, freePlace()};
}

}  // namespace beacon
