#pragma once
// Internal: the elastic thread pool under the threaded backend's serial and global queues.
//
// A job submitted while no worker is idle gets a new thread (up to a high soft cap), so a job that
// blocks - waiting in sync, on a semaphore or a group - never keeps other queues' work waiting.
// An idle worker watches for a job for kWatchBeforeSleeping, then sleeps; workers idle for
// kIdleExit leave. Jobs waiting for a worker are taken highest quality of service
// first, then in submission order. submit() takes only the pool's own lock and never runs the job
// inline. The pool lives as long as the process: workers are detached.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/dispatch/Queue.h"

namespace platform::detail {

class WorkerPool {
 public:
  static constexpr std::size_t kSoftThreadCap = 512;
  static constexpr std::chrono::seconds kIdleExit{5};
  static constexpr std::chrono::microseconds kWatchBeforeSleeping{100};

  void submit(QualityOfService qos, std::function<void()> job);
  // For the last thing a job does on one of this pool's workers, e.g. a serial queue handing its
  // next batch back to the pool: no other worker is woken, because the calling worker takes a job
  // as soon as it returns (a woken worker would start cold, and this one go to sleep). Called
  // anywhere else it is submit().
  void submitAsLastStep(QualityOfService qos, std::function<void()> job);

 private:
  void work();
  bool hasJobLocked() const { return waiting_ > 0; }
  // An idle worker watches for a job for a moment before it sleeps: waking a sleeping thread costs
  // the submitting thread a system call and often its processor, for tens of microseconds. The moment
  // spans the gaps of work that arrives tens of thousands of times a second, one piece at a time
  // (events handed from queue to queue): shorter, every piece would wake a worker.
  void watchForJobs();
  std::function<void()> takeJobLocked();

  std::mutex mutex_;
  std::condition_variable jobArrived_;
  std::array<std::deque<std::function<void()>>, 3> jobs_;  // by QualityOfService, higher last
  std::atomic<std::size_t> waiting_ = 0;   // changed under mutex_; watched without it by idle workers
  std::size_t idle_ = 0;                   // watching or sleeping
  std::atomic<std::size_t> watching_ = 0;  // idle and not yet asleep
  std::size_t threads_ = 0;
};

}  // namespace platform::detail
