#pragma once
// Internal: the real backend - worker pool, timer thread, real clocks. One per process, made on
// first use and never destroyed (its threads are detached and may outlive static destruction).

#include <array>
#include <memory>

#include "platform/dispatch/backend/Runtime.h"
#include "platform/dispatch/backend/ThreadedQueues.h"
#include "platform/dispatch/backend/TimerThread.h"
#include "platform/dispatch/backend/WorkerPool.h"

namespace platform::detail {

class ThreadedRuntime final : public Runtime {
 public:
  static std::shared_ptr<ThreadedRuntime> shared();

  const Clock& clock() const override;
  QueueRef makeSerialQueue(std::string label, QualityOfService qos) override;
  QueueRef globalQueue(QualityOfService qos) override;
  QueueRef mainQueue() override;

  bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 const std::function<bool()>& ready,
                 std::optional<std::chrono::nanoseconds> timeout) override;
  void stateChanged() override {}

  void setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver) override;
  void drainMainQueue() override;
  bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) override;

 protected:
  void schedule(std::shared_ptr<TimerState> timer) override;

 private:
  ThreadedRuntime();
  void makeSharedQueues();

  WorkerPool pool_;
  TimerThread timers_;
  std::array<QueueRef, 3> globals_;
  std::shared_ptr<ThreadedMainQueue> main_;
};

}  // namespace platform::detail
