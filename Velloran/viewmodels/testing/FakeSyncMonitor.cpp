#include "Velloran/viewmodels/testing/FakeSyncMonitor.h"

#include <utility>

#include "platform/dispatch/Queue.h"

namespace velloran::testing {
namespace {

void completeOnMainQueue(Completion<void> completion, std::optional<platform::Error> failure) {
  platform::mainQueue()->async([completion = std::move(completion), failure = std::move(failure)] {
    if (!completion) return;
    if (failure) {
      completion(*failure);
    } else {
      completion(platform::Result<void>::success());
    }
  });
}

}  // namespace

SyncEvent endedEvent(SyncEvent::Type type, bool succeeded) {
  return SyncEvent{type, succeeded, std::nullopt};
}

SyncEvent failedEvent(SyncEvent::Type type, platform::Error error) {
  SyncEvent event = endedEvent(type, /*succeeded=*/false);
  event.error = std::move(error);
  return event;
}

void FakeSyncMonitor::pullChanges(Completion<void> completion) {
  ++pullCount_;
  if (holdPulls_) {
    heldPulls_.push_back(std::move(completion));
    return;
  }
  completeOnMainQueue(std::move(completion), pullFailure_);
}

void FakeSyncMonitor::releaseHeldPulls() {
  for (Completion<void>& completion : std::exchange(heldPulls_, {}))
    completeOnMainQueue(std::move(completion), pullFailure_);
}

void FakeSyncMonitor::pushChanges(Completion<void> completion) {
  ++pushCount_;
  completeOnMainQueue(std::move(completion), pushFailure_);
}

void FakeSyncMonitor::startObservingRemoteChanges(std::function<void()> completion) {
  platform::mainQueue()->async([completion = std::move(completion)] {
    if (completion) completion();
  });
}

Subscription FakeSyncMonitor::observeEvents(std::function<void(const SyncEvent&)> handler) {
  return events_.connect(std::move(handler));
}

void FakeSyncMonitor::processPersistentHistory(Completion<void> completion) {
  ++historyProcessingCount_;
  if (!historyFailure_) {
    pendingLocal_ = pendingLocal_ || stagedLocal_;
    pendingRemote_ = pendingRemote_ || stagedRemote_;
    stagedLocal_ = stagedRemote_ = false;
  }
  completeOnMainQueue(std::move(completion), historyFailure_);
}

bool FakeSyncMonitor::takePendingLocalChanges() {
  return std::exchange(pendingLocal_, false);
}

bool FakeSyncMonitor::takePendingRemoteChanges() {
  return std::exchange(pendingRemote_, false);
}

void FakeSyncMonitor::stageHistory(bool local, bool remote) {
  stagedLocal_ = local;
  stagedRemote_ = remote;
}

}  // namespace velloran::testing
