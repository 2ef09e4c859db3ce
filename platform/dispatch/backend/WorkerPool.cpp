#include "platform/dispatch/backend/WorkerPool.h"

#include "platform/dispatch/backend/BriefLock.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

namespace platform::detail {
namespace {

// The pool whose worker loop runs on this thread, if any.
thread_local const WorkerPool* tWorkingFor = nullptr;

}  // namespace

void WorkerPool::submitAsLastStep(QualityOfService qos, std::function<void()> job) {
  if (tWorkingFor != this) {
    submit(qos, std::move(job));
    return;
  }
  // Every job already waiting has a worker coming for it (woken, watching or new): whichever of them
  // finds this one instead leaves the other to this worker.
  auto lock = lockBriefly(mutex_);
  jobs_[static_cast<std::size_t>(qos)].push_back(std::move(job));
  ++waiting_;
}

void WorkerPool::submit(QualityOfService qos, std::function<void()> job) {
  bool spawn = false;
  bool watched = false;
  {
    auto lock = lockBriefly(mutex_);
    jobs_[static_cast<std::size_t>(qos)].push_back(std::move(job));
    ++waiting_;
    // Idle workers that were already woken still count as idle until they take a job, so compare
    // against every job waiting, not just this one.
    spawn = idle_ < waiting_ && threads_ < kSoftThreadCap;
    if (spawn) ++threads_;
    // Enough watching workers for every waiting job: one of them takes it without being woken. (One
    // that stops watching meanwhile checks for jobs under the lock before it sleeps.)
    watched = watching_.load(std::memory_order_relaxed) >= waiting_;
  }
  if (!spawn) {
    if (!watched) jobArrived_.notify_one();
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

void WorkerPool::watchForJobs() {
  watching_.fetch_add(1, std::memory_order_relaxed);
  const auto deadline = std::chrono::steady_clock::now() + kWatchBeforeSleeping;
  bool arrived = false;
  do {
    for (int poll = 0; poll < 16 && !arrived; ++poll) {
      arrived = waiting_.load(std::memory_order_relaxed) > 0;
      pauseBriefly();
    }
  } while (!arrived && std::chrono::steady_clock::now() < deadline);
  watching_.fetch_sub(1, std::memory_order_relaxed);
}

void WorkerPool::work() {
  tWorkingFor = this;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!hasJobLocked()) {
      ++idle_;
      lock.unlock();
      watchForJobs();
      lock.lock();
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
