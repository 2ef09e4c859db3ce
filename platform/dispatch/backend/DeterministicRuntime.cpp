#include "platform/dispatch/backend/DeterministicRuntime.h"

#include <algorithm>
#include <stdexcept>

#include "platform/dispatch/backend/CurrentQueue.h"
#include "platform/dispatch/backend/TimerState.h"
#include "platform/error/Error.h"

namespace platform::detail {
namespace {

// How often the pump re-checks its condition while no work arrives.
constexpr std::chrono::milliseconds kPumpSlice{10};

bool runsOneAtATime(const Queue& queue) {
  return queue.kind() != Queue::Kind::Concurrent;
}

}  // namespace

// ---- queue ------------------------------------------------------------------------------------

DeterministicQueue::DeterministicQueue(std::shared_ptr<DeterministicRuntime> runtime, std::string label,
                                       Kind kind, QualityOfService qos)
    : Queue(runtime, std::move(label), kind, qos), deterministic_(*runtime) {}

void DeterministicQueue::enqueue(std::function<void()> block) {
  deterministic_.post(*this, WorkItem{std::move(block), nullptr});
}

void DeterministicQueue::runSync(const std::function<void()>& block) {
  if (kind() == Kind::Concurrent) {
    QueueScope scope(*this);
    block();
    return;
  }
  if (deterministic_.isTestThread()) {
    deterministic_.runEarlierBlocks(*this);
    QueueScope scope(*this);
    block();
    return;
  }
  auto done = std::make_shared<SyncHandoff>();
  deterministic_.post(*this, WorkItem{[&block] { block(); }, done});
  done->wait();
}

// ---- runtime ----------------------------------------------------------------------------------

DeterministicRuntime::DeterministicRuntime(std::shared_ptr<ManualClock> clock)
    : clock_(std::move(clock)), testThread_(std::this_thread::get_id()) {}

void DeterministicRuntime::makeSharedQueues() {
  auto self = std::static_pointer_cast<DeterministicRuntime>(shared_from_this());
  for (auto qos : {QualityOfService::Background, QualityOfService::Utility, QualityOfService::Default}) {
    globals_[static_cast<std::size_t>(qos)] =
        std::make_shared<DeterministicQueue>(self, globalQueueLabel(qos), Queue::Kind::Concurrent, qos);
  }
  main_ = std::make_shared<DeterministicQueue>(self, "main", Queue::Kind::Main, QualityOfService::Default);
}

void DeterministicRuntime::shutDown() {
  std::deque<std::shared_ptr<DeterministicQueue>> ready;
  std::deque<WorkItem> dropped;
  TimerSchedule timers;
  std::array<std::shared_ptr<DeterministicQueue>, 3> globals;
  std::shared_ptr<DeterministicQueue> main;
  {
    std::lock_guard lock(mutex_);
    for (auto& queue : ready_) {
      for (auto& item : queue->items_) dropped.push_back(std::move(item));
      queue->items_.clear();
    }
    ready.swap(ready_);
    std::swap(timers, timers_);
    globals.swap(globals_);
    main.swap(main_);
  }
  // A sync caller on another thread must not wait forever for a block that will never run.
  for (auto& item : dropped) {
    if (item.handoff) {
      item.handoff->signal(
          std::make_exception_ptr(ProgrammerError("DeterministicDispatchGone",
                                                  "the DeterministicDispatch was destroyed before this "
                                                  "sync block ran")));
    }
  }
}

QueueRef DeterministicRuntime::makeSerialQueue(std::string label, QualityOfService qos) {
  return std::make_shared<DeterministicQueue>(
      std::static_pointer_cast<DeterministicRuntime>(shared_from_this()), std::move(label),
      Queue::Kind::Serial, qos);
}

QueueRef DeterministicRuntime::globalQueue(QualityOfService qos) {
  std::lock_guard lock(mutex_);
  return globals_[static_cast<std::size_t>(qos)];
}

QueueRef DeterministicRuntime::mainQueue() {
  std::lock_guard lock(mutex_);
  return main_;
}

void DeterministicRuntime::requireTestThread(const char* operation) const {
  if (!isTestThread()) {
    throw ProgrammerError(
        "DeterministicDispatchThread",
        std::string(operation) + " must be called on the thread that made the DeterministicDispatch");
  }
}

void DeterministicRuntime::post(DeterministicQueue& queue, WorkItem item) {
  {
    std::lock_guard lock(mutex_);
    if (queue.items_.empty()) {
      ready_.push_back(std::static_pointer_cast<DeterministicQueue>(queue.shared_from_this()));
    }
    queue.items_.push_back(std::move(item));
    ++changes_;
  }
  outsideWork_.notify_all();
}

void DeterministicRuntime::schedule(std::shared_ptr<TimerState> timer) {
  {
    std::lock_guard lock(mutex_);
    timers_.add(std::move(timer));
    ++changes_;
  }
  outsideWork_.notify_all();
}

void DeterministicRuntime::stateChanged() {
  {
    std::lock_guard lock(mutex_);
    ++changes_;
  }
  outsideWork_.notify_all();
}

std::uint64_t DeterministicRuntime::changeCount() {
  std::lock_guard lock(mutex_);
  return changes_;
}

void DeterministicRuntime::run(DeterministicQueue& queue, WorkItem& item) {
  if (item.handoff) {
    item.handoff->signal(runCapturingBlock(queue, item.block));
  } else {
    runDetachedBlock(queue, item.block);
  }
}

bool DeterministicRuntime::runOneBlock() {
  std::shared_ptr<DeterministicQueue> queue;
  WorkItem item;
  {
    std::lock_guard lock(mutex_);
    // A serial queue whose block is running further up this thread's stack must wait for it.
    auto runnable = std::find_if(ready_.begin(), ready_.end(), [](const auto& candidate) {
      return !runsOneAtATime(*candidate) || !isHeldByThisThread(*candidate);
    });
    if (runnable == ready_.end()) return false;
    queue = *runnable;
    ready_.erase(runnable);
    item = std::move(queue->items_.front());
    queue->items_.pop_front();
    if (!queue->items_.empty()) ready_.push_back(queue);  // take turns with the other queues
  }
  run(*queue, item);
  return true;
}

void DeterministicRuntime::runEarlierBlocks(DeterministicQueue& queue) {
  std::size_t earlier;
  {
    std::lock_guard lock(mutex_);
    earlier = queue.items_.size();
  }
  for (; earlier > 0; --earlier) {
    WorkItem item;
    {
      std::lock_guard lock(mutex_);
      if (queue.items_.empty()) return;
      item = std::move(queue.items_.front());
      queue.items_.pop_front();
      if (queue.items_.empty()) {
        auto entry = std::find(ready_.begin(), ready_.end(), queue.shared_from_this());
        if (entry != ready_.end()) ready_.erase(entry);
      }
    }
    run(queue, item);
  }
}

bool DeterministicRuntime::fireDueTimer() {
  std::shared_ptr<TimerState> timer;
  {
    std::lock_guard lock(mutex_);
    auto next = timers_.next(clock_->monotonicNow(), clock_->now());
    if (!next || next->remaining.count() > 0) return false;
    timer = std::move(next->timer);
    timers_.remove(timer);
  }
  timer->fire();
  return true;
}

bool DeterministicRuntime::advanceToNextTimer(std::optional<std::chrono::nanoseconds> limit) {
  std::shared_ptr<TimerState> timer;
  std::chrono::nanoseconds step{0};
  const auto now = clock_->monotonicNow();
  {
    std::lock_guard lock(mutex_);
    auto next = timers_.next(now, clock_->now());
    if (next) {
      step = std::max(next->remaining, std::chrono::nanoseconds(0));
      if (!limit || now + step <= *limit) {
        timer = std::move(next->timer);
        timers_.remove(timer);
      }
    }
  }
  if (timer) {
    clock_->advance(step);
    timer->fire();
    return true;
  }
  if (limit && *limit > now) clock_->advance(*limit - now);
  return false;
}

void DeterministicRuntime::drain() {
  requireTestThread("drain");
  while (runOneBlock() || fireDueTimer()) {
  }
}

void DeterministicRuntime::advance(std::chrono::nanoseconds by) {
  requireTestThread("advance");
  if (by.count() < 0) throw std::invalid_argument("virtual time cannot move backwards");
  const auto limit = clock_->monotonicNow() + by;
  drain();
  while (advanceToNextTimer(limit)) drain();
}

bool DeterministicRuntime::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                                     const std::function<bool()>& ready,
                                     std::optional<std::chrono::nanoseconds> timeout) {
  if (!isTestThread()) {
    // Only the test thread runs blocks; anyone else simply waits for it.
    if (!timeout) {
      changed.wait(lock, ready);
      return true;
    }
    return changed.wait_for(lock, *timeout, ready);
  }
  std::optional<std::chrono::nanoseconds> limit;
  if (timeout) limit = clock_->monotonicNow() + *timeout;
  for (;;) {
    const auto seen = changeCount();
    if (ready()) return true;
    lock.unlock();
    bool progressed = runOneBlock() || fireDueTimer() || advanceToNextTimer(limit);
    if (!progressed && limit) {
      lock.lock();
      return ready();
    }
    if (!progressed) sleepForOutsideWork(seen, std::nullopt);
    lock.lock();
  }
}

void DeterministicRuntime::sleepForOutsideWork(
    std::uint64_t seen, std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::unique_lock lock(mutex_);
  const auto changedSince = [&] { return changes_ != seen; };
  if (deadline) {
    outsideWork_.wait_until(lock, *deadline, changedSince);
  } else {
    outsideWork_.wait(lock, changedSince);
  }
}

void DeterministicRuntime::setMainQueueDriver(std::shared_ptr<MainQueueDriver>) {
  throw ProgrammerError("DeterministicMainQueue",
                        "the deterministic backend drains the main queue itself; it takes no driver");
}

void DeterministicRuntime::drainMainQueue() {
  requireTestThread("drainMainQueue");
  auto main = mainQueue();
  if (main && !isHeldByThisThread(*main)) runEarlierBlocks(static_cast<DeterministicQueue&>(*main));
}

bool DeterministicRuntime::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
  requireTestThread("runUntil");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto seen = changeCount();
    drain();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    sleepForOutsideWork(seen, std::min(deadline, now + kPumpSlice));
  }
}

}  // namespace platform::detail
