#include "platform/dispatch/backend/TimerSchedule.h"

#include <algorithm>

namespace platform::detail {
namespace {

// std heaps keep the greatest element on top, so "greater" puts the earliest deadline there.
bool monotonicLater(const std::shared_ptr<TimerState>& a, const std::shared_ptr<TimerState>& b) {
  if (a->monotonicDeadline != b->monotonicDeadline) return a->monotonicDeadline > b->monotonicDeadline;
  return a->sequence > b->sequence;
}

bool wallLater(const std::shared_ptr<TimerState>& a, const std::shared_ptr<TimerState>& b) {
  if (a->wallDeadline != b->wallDeadline) return a->wallDeadline > b->wallDeadline;
  return a->sequence > b->sequence;
}

}  // namespace

void TimerSchedule::add(std::shared_ptr<TimerState> timer) {
  Heap& heap = timer->wall ? wall_ : monotonic_;
  heap.push_back(std::move(timer));
  std::push_heap(heap.begin(), heap.end(), heap.back()->wall ? wallLater : monotonicLater);
}

void TimerSchedule::dropCancelled(Heap& heap, bool wallHeap) {
  while (!heap.empty() && heap.front()->isCancelled()) {
    std::pop_heap(heap.begin(), heap.end(), wallHeap ? wallLater : monotonicLater);
    heap.pop_back();
  }
}

std::optional<TimerSchedule::Next> TimerSchedule::next(std::chrono::nanoseconds monotonicNow, Date wallNow) {
  dropCancelled(monotonic_, false);
  dropCancelled(wall_, true);
  std::optional<Next> best;
  for (const Heap* heap : {&monotonic_, &wall_}) {
    if (heap->empty()) continue;
    const auto& candidate = heap->front();
    const auto left = candidate->remaining(monotonicNow, wallNow);
    if (!best || left < best->remaining ||
        (left == best->remaining && candidate->sequence < best->timer->sequence)) {
      best = Next{left, candidate};
    }
  }
  return best;
}

void TimerSchedule::remove(const std::shared_ptr<TimerState>& timer) {
  Heap& heap = timer->wall ? wall_ : monotonic_;
  if (heap.empty() || heap.front() != timer) return;
  std::pop_heap(heap.begin(), heap.end(), timer->wall ? wallLater : monotonicLater);
  heap.pop_back();
}

}  // namespace platform::detail
