#include "platform/dispatch/OperationQueue.h"

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
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(operation));
    next = takeNextLocked();
  }
  if (next) start(std::move(next));
}

std::function<void()> OperationQueue::takeNextLocked() {
  if (suspended_ || running_ || waiting_.empty()) return nullptr;
  auto next = std::move(waiting_.front());
  waiting_.pop_front();
  running_ = true;
  return next;
}

void OperationQueue::start(std::function<void()> operation) {
  queue_->async([self = shared_from_this(), operation = std::move(operation)] {
    {
      std::lock_guard lock(self->mutex_);
      self->runningOn_ = std::this_thread::get_id();
    }
    operation();
    self->finished();
  });
}

void OperationQueue::finished() {
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    running_ = false;
    runningOn_ = {};
    next = takeNextLocked();
  }
  changed_.notify_all();
  runtime_->stateChanged();
  if (next) start(std::move(next));
}

void OperationQueue::suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

void OperationQueue::resume() {
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    suspended_ = false;
    next = takeNextLocked();
  }
  if (next) start(std::move(next));
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
  if (running_ && runningOn_ == std::this_thread::get_id()) {
    throw ProgrammerError(
        "WaitInsideOperation",
        "operation queue \"" + name_ + "\" cannot wait for its operations from inside one of them");
  }
  runtime_->waitUntil(
      lock, changed_, [this] { return waiting_.empty() && !running_; }, std::nullopt);
}

}  // namespace platform
