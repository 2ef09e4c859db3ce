#pragma once
// Internal: which queues the calling thread is running blocks of. A thread that runs a block of
// queue A which calls sync onto B holds both A and B; the innermost is the current queue.

#include <exception>
#include <functional>

#include "platform/dispatch/Queue.h"

namespace platform::detail {

// Marks the calling thread as running a block of `queue` for the scope's lifetime.
class QueueScope {
 public:
  explicit QueueScope(const Queue& queue);
  ~QueueScope();
  QueueScope(const QueueScope&) = delete;
  QueueScope& operator=(const QueueScope&) = delete;
};

const Queue* innermostQueue();
// True when `queue` is anywhere on the calling thread's chain.
bool isHeldByThisThread(const Queue& queue);
// True when a queue of that kind is anywhere on the calling thread's chain.
bool holdsQueueOfKind(Queue::Kind kind);

// Runs an asynchronously submitted block as `queue`. Nobody could handle an exception escaping
// it, so it is written to standard error and the process ends.
void runDetachedBlock(const Queue& queue, const std::function<void()>& block) noexcept;
// Runs a sync block as `queue` and answers what escaped it, for another thread to rethrow.
std::exception_ptr runCapturingBlock(const Queue& queue, const std::function<void()>& block) noexcept;

}  // namespace platform::detail
