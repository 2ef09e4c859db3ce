#include "platform/dispatch/Queue.h"

#include <pthread.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/dispatch/backend/CurrentQueue.h"
#include "platform/dispatch/backend/Runtime.h"
#include "platform/error/Error.h"

namespace platform {
namespace {

void requireBlock(const std::function<void()>& block, const char* operation) {
  if (!block) throw ProgrammerError("NullBlock", std::string(operation) + " was given an empty block");
}

// Whether this thread is the main thread, asked of the kernel once per thread (two system calls):
// unknown (-1), no (0) or yes (1). A forked child asks again, its one thread being its main thread.
thread_local int tIsMainThread = -1;

void forgetMainThreadInChild() {
  tIsMainThread = -1;
}

}  // namespace

Queue::Queue(std::shared_ptr<detail::Runtime> runtime, std::string label, Kind kind, QualityOfService qos)
    : runtime_(std::move(runtime)), label_(std::move(label)), kind_(kind), qualityOfService_(qos) {}

void Queue::async(std::function<void()> block) {
  requireBlock(block, "async");
  enqueue(std::move(block));
}

void Queue::asyncAfter(std::chrono::nanoseconds delay, std::function<void()> block) {
  requireBlock(block, "asyncAfter");
  if (delay.count() <= 0) {
    enqueue(std::move(block));
    return;
  }
  runtime_->arm(shared_from_this(), Deadline::after(delay), std::move(block));
}

void Queue::sync(const std::function<void()>& block) {
  requireBlock(block, "sync");
  if (kind_ != Kind::Concurrent && detail::isHeldByThisThread(*this)) {
    throw ProgrammerError("SyncOnCurrentQueue",
                          "sync onto queue \"" + label_ +
                              "\" refused: the calling thread is running a block of that "
                              "queue already and would wait for itself forever");
  }
  runSync(block);
}

bool Queue::isCurrent() const {
  return detail::innermostQueue() == this;
}

namespace detail {
Runtime& runtimeOf(const Queue& queue) {
  return *queue.runtime_;
}
}  // namespace detail

QueueRef makeSerialQueue(std::string label, const QueueRef& target) {
  if (target && target->kind() != Queue::Kind::Concurrent) {
    throw ProgrammerError(
        "InvalidTargetQueue",
        "serial queue \"" + label + "\" can only target a global queue, not \"" + target->label() + "\"");
  }
  const auto qos = target ? target->qualityOfService() : QualityOfService::Default;
  return detail::currentRuntime()->makeSerialQueue(std::move(label), qos);
}

QueueRef globalQueue(QualityOfService qos) {
  return detail::currentRuntime()->globalQueue(qos);
}

QueueRef mainQueue() {
  return detail::currentRuntime()->mainQueue();
}

std::string currentQueueLabel() {
  const Queue* queue = detail::innermostQueue();
  return queue ? queue->label() : std::string();
}

bool isRunningSerialQueueBlock() {
  return detail::holdsQueueOfKind(Queue::Kind::Serial);
}

bool isMainThread() {
  [[maybe_unused]] static const int registered = pthread_atfork(nullptr, nullptr, &forgetMainThreadInChild);
  if (tIsMainThread < 0) tIsMainThread = gettid() == getpid() ? 1 : 0;
  return tIsMainThread == 1;
}

}  // namespace platform
