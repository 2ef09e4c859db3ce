#include "platform/dispatch/backend/CurrentQueue.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace platform::detail {
namespace {

thread_local std::vector<const Queue*> heldQueues;

[[noreturn]] void endProcess(const Queue& queue, const char* what) {
  std::fprintf(stderr, "dispatch: uncaught exception in a block on queue \"%s\": %s\n", queue.label().c_str(),
               what);
  std::fflush(stderr);
  std::terminate();
}

}  // namespace

QueueScope::QueueScope(const Queue& queue) {
  heldQueues.push_back(&queue);
}

QueueScope::~QueueScope() {
  heldQueues.pop_back();
}

const Queue* innermostQueue() {
  return heldQueues.empty() ? nullptr : heldQueues.back();
}

bool isHeldByThisThread(const Queue& queue) {
  return std::find(heldQueues.begin(), heldQueues.end(), &queue) != heldQueues.end();
}

bool holdsQueueOfKind(Queue::Kind kind) {
  return std::any_of(heldQueues.begin(), heldQueues.end(),
                     [kind](const Queue* queue) { return queue->kind() == kind; });
}

void runDetachedBlock(const Queue& queue, const std::function<void()>& block) noexcept {
  QueueScope scope(queue);
  try {
    block();
  } catch (const std::exception& error) {
    endProcess(queue, error.what());
  } catch (...) {
    endProcess(queue, "(not a std::exception)");
  }
}

std::exception_ptr runCapturingBlock(const Queue& queue, const std::function<void()>& block) noexcept {
  QueueScope scope(queue);
  try {
    block();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

}  // namespace platform::detail
