#include "platform/dispatch/backend/WorkerPool.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

namespace platform::detail {

void WorkerPool::submit(QualityOfService qos, std::function<void()> job) {
  bool spawn = false;
  {
    std::lock_guard lock(mutex_);
    jobs_[static_cast<std::size_t>(qos)].push_back(std::move(job));
    ++waiting_;
    // Idle workers that were already woken still count as idle until they take a job, so compare
    // against every job waiting, not just this one.
    spawn = idle_ < waiting_ && threads_ < kSoftThreadCap;
    if (spawn) ++threads_;
  }
  if (!spawn) {
    jobArrived_.notify_one();
    return;
  }
  try {
    std::thread([this] { work(); }).detach();
  } catch (const std::system_error& error) {
    bool stranded;
    {
      std::lock_guard lock(mutex_);
      --threads_;
      stranded = threads_ == 0;
    }
    // With other workers alive the job waits for one of them; with none it would never run.
    if (stranded) {
      std::fprintf(stderr, "dispatch: cannot start a worker thread: %s\n", error.what());
      std::terminate();
    }
    jobArrived_.notify_one();
  }
}

std::function<void()> WorkerPool::takeJobLocked() {
  for (auto queue = jobs_.rbegin(); queue != jobs_.rend(); ++queue) {
    if (queue->empty()) continue;
    auto job = std::move(queue->front());
    queue->pop_front();
    --waiting_;
    return job;
  }
  return nullptr;
}

void WorkerPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!hasJobLocked()) {
      ++idle_;
      const bool arrived = jobArrived_.wait_for(lock, kIdleExit, [this] { return hasJobLocked(); });
      --idle_;
      if (!arrived) {
        --threads_;
        return;
      }
    }
    auto job = takeJobLocked();
    lock.unlock();
    job();
    job = nullptr;  // captured state dies outside the lock too
    lock.lock();
  }
}

}  // namespace platform::detail
