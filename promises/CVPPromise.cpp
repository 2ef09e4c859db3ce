#include "promises/CVPPromise.h"

#include <mutex>

#include "platform/error/Error.h"

namespace beacon {
namespace {

std::mutex& defaultQueueMutex() {
  static std::mutex mutex;
  return mutex;
}

// Null stands for the main queue of the dispatch backend in place when the queue is asked for.
platform::QueueRef& replacedDefaultQueue() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static platform::QueueRef& queue = *new platform::QueueRef;
  return queue;
}

}  // namespace

platform::QueueRef CVPPromiseClass::defaultDispatchQueue() {
  std::lock_guard lock(defaultQueueMutex());
  return replacedDefaultQueue() ? replacedDefaultQueue() : platform::mainQueue();
}

void CVPPromiseClass::setDefaultDispatchQueue(platform::QueueRef queue) {
  requireArgument(queue != nullptr, "queue");
  std::lock_guard lock(defaultQueueMutex());
  replacedDefaultQueue() = std::move(queue);
}

platform::Group CVPPromiseClass::dispatchGroup() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const platform::Group& group = *new platform::Group;
  return group;
}

void CVPPromiseClass::requireArgument(bool present, const char* name) {
  if (!present) {
    throw platform::ProgrammerError("NSInternalInconsistencyException",
                                    std::string("Invalid parameter not satisfying: ") + name);
  }
}

}  // namespace beacon
