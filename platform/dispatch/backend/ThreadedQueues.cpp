#include "platform/dispatch/backend/ThreadedQueues.h"

#include "platform/dispatch/backend/BriefLock.h"
#include "platform/dispatch/backend/CurrentQueue.h"
#include "platform/error/Error.h"

namespace platform::detail {

// ---- serial -----------------------------------------------------------------------------------

ThreadedSerialQueue::ThreadedSerialQueue(std::shared_ptr<Runtime> runtime, WorkerPool& pool,
                                         std::string label, QualityOfService qos)
    : Queue(std::move(runtime), std::move(label), Kind::Serial, qos), pool_(pool) {}

void ThreadedSerialQueue::enqueue(std::function<void()> block) {
  bool start;
  {
    auto lock = lockBriefly(mutex_);
    items_.push_back(WorkItem{std::move(block), nullptr});
    start = !active_;
    active_ = true;
  }
  if (start) scheduleDrain();
}

void ThreadedSerialQueue::runSync(const std::function<void()>& block) {
  std::shared_ptr<SyncHandoff> turn;
  {
    auto lock = lockBriefly(mutex_);
    if (active_) {
      turn = std::make_shared<SyncHandoff>();
      items_.push_back(WorkItem{nullptr, turn});
    } else {
      active_ = true;
    }
  }
  if (turn) turn->wait();
  struct Release {
    ThreadedSerialQueue& queue;
    ~Release() { queue.releaseOwnership(); }
  } release{*this};
  QueueScope scope(*this);
  block();
}

void ThreadedSerialQueue::scheduleDrain() {
  pool_.submit(qualityOfService(), drainJob());
}

std::function<void()> ThreadedSerialQueue::drainJob() {
  return [self = std::static_pointer_cast<ThreadedSerialQueue>(shared_from_this())] { self->drainBatch(); };
}

void ThreadedSerialQueue::drainBatch() {
  for (int done = 0; done < kBatch; ++done) {
    WorkItem item;
    {
      auto lock = lockBriefly(mutex_);
      if (items_.empty()) {
        active_ = false;
        return;
      }
      item = std::move(items_.front());
      items_.pop_front();
    }
    if (item.handoff) {
      item.handoff->signal();  // the sync caller owns the queue now and releases it when done
      return;
    }
    runDetachedBlock(*this, item.block);
  }
  // Other queues' work waiting for a worker goes first; else this worker goes on with the next batch.
  pool_.submitAsLastStep(qualityOfService(), drainJob());
}

void ThreadedSerialQueue::releaseOwnership() {
  bool more;
  {
    auto lock = lockBriefly(mutex_);
    more = !items_.empty();
    active_ = more;
  }
  if (more) scheduleDrain();
}

// ---- global -----------------------------------------------------------------------------------

ThreadedGlobalQueue::ThreadedGlobalQueue(std::shared_ptr<Runtime> runtime, WorkerPool& pool,
                                         std::string label, QualityOfService qos)
    : Queue(std::move(runtime), std::move(label), Kind::Concurrent, qos), pool_(pool) {}

void ThreadedGlobalQueue::enqueue(std::function<void()> block) {
  pool_.submit(qualityOfService(),
               [self = shared_from_this(), block = std::move(block)] { runDetachedBlock(*self, block); });
}

void ThreadedGlobalQueue::runSync(const std::function<void()>& block) {
  QueueScope scope(*this);
  block();
}

// ---- main -------------------------------------------------------------------------------------

ThreadedMainQueue::ThreadedMainQueue(std::shared_ptr<Runtime> runtime)
    : Queue(std::move(runtime), "main", Kind::Main, QualityOfService::Default) {}

void ThreadedMainQueue::setDriver(std::shared_ptr<MainQueueDriver> driver) {
  bool pending;
  {
    std::lock_guard lock(mutex_);
    driver_ = driver;
    pending = driver && !items_.empty();
    drainRequested_ = pending;
  }
  if (pending) driver->scheduleDrain();
}

void ThreadedMainQueue::post(WorkItem item) {
  std::shared_ptr<MainQueueDriver> wake;
  {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
    if (driver_ && !drainRequested_) {
      drainRequested_ = true;
      wake = driver_;
    }
  }
  workArrived_.notify_all();
  if (wake) wake->scheduleDrain();
}

void ThreadedMainQueue::enqueue(std::function<void()> block) {
  post(WorkItem{std::move(block), nullptr});
}

void ThreadedMainQueue::runSync(const std::function<void()>& block) {
  if (isMainThread()) {
    drain();  // the blocks submitted before this call come first
    QueueScope scope(*this);
    block();
    return;
  }
  auto done = std::make_shared<SyncHandoff>();
  post(WorkItem{[&block] { block(); }, done});
  done->wait();
}

void ThreadedMainQueue::drain() {
  if (!isMainThread()) {
    throw ProgrammerError("MainQueueOffMainThread", "the main queue can only be drained on the main thread");
  }
  if (isHeldByThisThread(*this)) {
    // A nested event loop inside a main-queue block asked for a turn. Blocks never nest, so give the
    // request back: the outer drain schedules a fresh turn when it finishes.
    std::lock_guard lock(mutex_);
    drainRequested_ = false;
    return;
  }
  std::deque<WorkItem> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(items_);
    drainRequested_ = false;
  }
  for (auto& item : batch) {
    if (item.handoff) {
      item.handoff->signal(runCapturingBlock(*this, item.block));
    } else {
      runDetachedBlock(*this, item.block);
    }
    item.block = nullptr;
  }
  // Blocks posted meanwhile wait for the next turn, so an event loop gets to run in between.
  std::shared_ptr<MainQueueDriver> wake;
  {
    std::lock_guard lock(mutex_);
    if (driver_ && !items_.empty() && !drainRequested_) {
      drainRequested_ = true;
      wake = driver_;
    }
  }
  if (wake) wake->scheduleDrain();
}

bool ThreadedMainQueue::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const bool insideMainBlock = isHeldByThisThread(*this);
  for (;;) {
    drain();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::unique_lock lock(mutex_);
    workArrived_.wait_for(lock, std::min<std::chrono::nanoseconds>(kPumpSlice, deadline - now),
                          [&] { return !insideMainBlock && !items_.empty(); });
  }
}

}  // namespace platform::detail
