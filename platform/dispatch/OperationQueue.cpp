#include "platform/dispatch/OperationQueue.h"

#include "platform/dispatch/backend/BriefLock.h"
#include "platform/dispatch/backend/Runtime.h"
#include "platform/error/Error.h"

namespace platform {

std::shared_ptr<OperationQueue> OperationQueue::make(std::string name, Start start, QueueRef runOn) {
  return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), start, std::move(runOn)));
}

OperationQueue::OperationQueue(std::string name, Start start, QueueRef runOn)
    : runtime_(detail::currentRuntime()),
      name_(std::move(name)),
      queue_(runOn ? std::move(runOn) : makeSerialQueue(name_)),
      suspended_(start == Start::Suspended) {}

void OperationQueue::addOperation(std::function<void()> operation) {
  if (!operation)
    throw ProgrammerError("NullBlock", "OperationQueue::addOperation was given an empty operation");
  Operations added;
  added.push_back(std::move(operation));
  Operations next;
  {
    auto lock = detail::lockBriefly(mutex_);
    waiting_.splice(waiting_.end(), added);
    next = takeNextLocked();
  }
  startFirst(next);
}

OperationQueue::Operations OperationQueue::takeNextLocked() {
  Operations next;
  if (suspended_ || running_ || waiting_.empty()) return next;
  next.splice(next.end(), waiting_, waiting_.begin());
  running_ = true;
  return next;
}

void OperationQueue::startFirst(Operations& next) {
  if (!next.empty()) start(std::move(next.front()));
}

void OperationQueue::start(std::function<void()> operation) {
  queue_->async([self = shared_from_this(), operation = std::move(operation)] {
    self->runningOn_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    operation();
    self->finished();
  });
}

void OperationQueue::finished() {
  Operations next;
  runningOn_.store({}, std::memory_order_relaxed);
  {
    auto lock = detail::lockBriefly(mutex_);
    running_ = false;
    next = takeNextLocked();
  }
  changed_.notify_all();
  runtime_->stateChanged();
  startFirst(next);
}

void OperationQueue::suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

void OperationQueue::resume() {
  Operations next;
  {
    std::lock_guard lock(mutex_);
    suspended_ = false;
    next = takeNextLocked();
  }
  startFirst(next);
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return waiting_.size() + (running_ ? 1 : 0);
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(mutex_);
  if (running_ && runningOn_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
    throw ProgrammerError(
        "WaitInsideOperation",
        "operation queue \"" + name_ + "\" cannot wait for its operations from inside one of them");
  }
  runtime_->waitUntil(
      lock, changed_, [this] { return waiting_.empty() && !running_; }, std::nullopt);
}

}  // namespace platform
