#include "platform/dispatch/backend/Runtime.h"

#include "platform/dispatch/backend/ThreadedRuntime.h"
#include "platform/dispatch/backend/TimerState.h"

namespace platform::detail {
namespace {

struct CurrentRuntime {
  std::mutex mutex;
  std::shared_ptr<Runtime> runtime;
};

CurrentRuntime& current() {
  static auto* state = new CurrentRuntime();  // leaked: queues may be used during static destruction
  return *state;
}

}  // namespace

std::shared_ptr<TimerState> Runtime::arm(const QueueRef& queue, Deadline deadline,
                                         std::function<void()> block) {
  const auto& time = clock();
  auto timer = deadline.isWallTime()
                   ? std::make_shared<TimerState>(queue, std::move(block), true, std::chrono::nanoseconds(0),
                                                  deadline.wallTime())
                   : std::make_shared<TimerState>(queue, std::move(block), false,
                                                  time.monotonicNow() + deadline.delay(), Date{});
  schedule(timer);
  return timer;
}

const char* globalQueueLabel(QualityOfService qos) {
  switch (qos) {
    case QualityOfService::Background:
      return "global.background";
    case QualityOfService::Utility:
      return "global.utility";
    case QualityOfService::Default:
      break;
  }
  return "global.default";
}

std::shared_ptr<Runtime> currentRuntime() {
  auto& state = current();
  std::lock_guard lock(state.mutex);
  if (!state.runtime) state.runtime = ThreadedRuntime::shared();
  return state.runtime;
}

std::shared_ptr<Runtime> exchangeCurrentRuntime(std::shared_ptr<Runtime> runtime) {
  auto& state = current();
  std::lock_guard lock(state.mutex);
  auto previous = std::move(state.runtime);
  state.runtime = std::move(runtime);
  return previous;
}

}  // namespace platform::detail
