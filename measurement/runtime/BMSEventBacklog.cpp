#include "measurement/runtime/BMSEventBacklog.h"

#include <algorithm>

#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "platform/dispatch/Queue.h"

namespace beacon {
namespace {

constexpr std::int64_t kRefusedEventsLogCode = 25060;
// Refusals are logged once per this many, like the daily limit's drops.
constexpr std::int64_t kRefusalsPerLogLine = 1000;

}  // namespace

BMSEventBacklog::BMSEventBacklog(std::int64_t bound, std::chrono::nanoseconds patience)
    : bound_(bound),
      patience_(patience),
      state_(std::make_shared<State>(bound, std::clamp<std::int64_t>(bound / 16, 1, kWakeBatch))) {}

void BMSEventBacklog::State::giveBack() {
  stalled.store(false);
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

bool BMSEventBacklog::callerMayWait() {
  return platform::currentQueueLabel().empty();
}

BMSEventBacklog::Admission BMSEventBacklog::admit(const std::string& name, bool mayWait) {
  const auto givenBack = [state = state_](const void*) { state->giveBack(); };
  // The place points at the state it goes back to.
  if (state_->takeReturned() || state_->places.wait(std::chrono::nanoseconds::zero()))
    return {true, Place(state_.get(), givenBack)};
  if (!mayWait) return {true, nullptr};
  if (!state_->stalled.load() && (state_->places.wait(patience_) || state_->takeReturned()))
    return {true, Place(state_.get(), givenBack)};
  state_->stalled.store(true);
  const std::int64_t refused = refused_.fetch_add(1);
  if (refused % kRefusalsPerLogLine == 0) {
    BMSLog(1, kRefusedEventsLogCode, "Data loss. Too many events waiting to be stored. Name, limit",
           {BMSEventNameForDisplay(name), bound_});
  }
  return {false, nullptr};
}

}  // namespace beacon
