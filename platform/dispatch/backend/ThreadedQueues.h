#pragma once
// Internal: the threaded backend's queues (see Queue.h for who runs what).

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/backend/SyncHandoff.h"
#include "platform/dispatch/backend/WorkerPool.h"

namespace platform::detail {

// Blocks run in order, one at a time: on a pool worker in batches of kBatch, or on a sync caller's
// thread when the caller's turn comes. Ownership of the queue passes between them; `active_`
// says someone owns it, and while nobody does the FIFO is empty.
class ThreadedSerialQueue final : public Queue {
 public:
  static constexpr int kBatch = 16;

  ThreadedSerialQueue(std::shared_ptr<Runtime> runtime, WorkerPool& pool, std::string label,
                      QualityOfService qos);

 protected:
  void enqueue(std::function<void()> block) override;
  void runSync(const std::function<void()>& block) override;

 private:
  void scheduleDrain();
  std::function<void()> drainJob();
  void drainBatch();
  // The owner is done: hand the queue to a pool worker when work is waiting, else go idle.
  void releaseOwnership();

  WorkerPool& pool_;
  std::mutex mutex_;
  std::deque<WorkItem> items_;  // a handoff item is a sync caller waiting for the queue
  bool active_ = false;
};

// Every block goes to the pool on its own; sync runs on the caller's thread at once.
class ThreadedGlobalQueue final : public Queue {
 public:
  ThreadedGlobalQueue(std::shared_ptr<Runtime> runtime, WorkerPool& pool, std::string label,
                      QualityOfService qos);

 protected:
  void enqueue(std::function<void()> block) override;
  void runSync(const std::function<void()>& block) override;

 private:
  WorkerPool& pool_;
};

// Blocks run on the main thread when drain() is called there, by the driver or the pump.
class ThreadedMainQueue final : public Queue {
 public:
  // How often a pump re-checks its condition when no main-queue work arrives.
  static constexpr std::chrono::milliseconds kPumpSlice{10};

  explicit ThreadedMainQueue(std::shared_ptr<Runtime> runtime);

  void setDriver(std::shared_ptr<MainQueueDriver> driver);
  void drain();
  bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout);

 protected:
  void enqueue(std::function<void()> block) override;
  void runSync(const std::function<void()>& block) override;

 private:
  void post(WorkItem item);

  std::mutex mutex_;
  std::condition_variable workArrived_;
  std::deque<WorkItem> items_;  // a handoff item carries a block a sync caller waits for
  std::shared_ptr<MainQueueDriver> driver_;
  bool drainRequested_ = false;
};

}  // namespace platform::detail
