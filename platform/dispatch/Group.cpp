#include "platform/dispatch/Group.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/dispatch/backend/Runtime.h"
#include "platform/error/Error.h"

namespace platform {

struct Group::State {
  std::shared_ptr<detail::Runtime> runtime = detail::currentRuntime();
  std::mutex mutex;
  std::condition_variable emptied;
  long count = 0;
  std::vector<std::pair<QueueRef, std::function<void()>>> notifications;
};

Group::Group() : state_(std::make_shared<State>()) {}

void Group::enter() {
  std::lock_guard lock(state_->mutex);
  ++state_->count;
}

void Group::leave() {
  // The woken waiter may destroy the handle this was called on; keep the state alive until done.
  const auto state = state_;
  std::vector<std::pair<QueueRef, std::function<void()>>> due;
  {
    std::lock_guard lock(state->mutex);
    if (state->count == 0)
      throw ProgrammerError("UnbalancedGroupLeave", "Group::leave() without a matching enter()");
    if (--state->count > 0) return;
    due.swap(state->notifications);
  }
  state->emptied.notify_all();
  state->runtime->stateChanged();
  for (auto& [queue, block] : due) queue->async(std::move(block));
}

void Group::async(const QueueRef& queue, std::function<void()> block) {
  if (!block) throw ProgrammerError("NullBlock", "Group::async was given an empty block");
  enter();
  queue->async([group = *this, block = std::move(block)]() mutable {
    block();
    group.leave();
  });
}

void Group::notify(const QueueRef& queue, std::function<void()> block) {
  if (!block) throw ProgrammerError("NullBlock", "Group::notify was given an empty block");
  {
    std::lock_guard lock(state_->mutex);
    if (state_->count > 0) {
      state_->notifications.emplace_back(queue, std::move(block));
      return;
    }
  }
  queue->async(std::move(block));
}

void Group::wait() {
  std::unique_lock lock(state_->mutex);
  state_->runtime->waitUntil(
      lock, state_->emptied, [this] { return state_->count == 0; }, std::nullopt);
}

bool Group::wait(std::chrono::nanoseconds timeout) {
  std::unique_lock lock(state_->mutex);
  return state_->runtime->waitUntil(
      lock, state_->emptied, [this] { return state_->count == 0; }, timeout);
}

}  // namespace platform
