#pragma once
// Internal: the elastic thread pool under the threaded backend's serial and global queues.
//
// A job submitted while no worker is idle gets a new thread (up to a high soft cap), so a job that
// blocks - waiting in sync, on a semaphore or a group - never keeps other queues' work waiting.
// Workers idle for kIdleExit leave. Jobs waiting for a worker are taken highest quality of service
// first, then in submission order. submit() takes only the pool's own lock and never runs the job
// inline. The pool lives as long as the process: workers are detached.

#include <array>
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

  void submit(QualityOfService qos, std::function<void()> job);

 private:
  void work();
  bool hasJobLocked() const { return waiting_ > 0; }
  std::function<void()> takeJobLocked();

  std::mutex mutex_;
  std::condition_variable jobArrived_;
  std::array<std::deque<std::function<void()>>, 3> jobs_;  // by QualityOfService, higher last
  std::size_t waiting_ = 0;
  std::size_t idle_ = 0;
  std::size_t threads_ = 0;
};

}  // namespace platform::detail
