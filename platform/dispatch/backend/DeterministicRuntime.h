#pragma once
// Internal: the deterministic backend behind DeterministicDispatch (whose header describes the
// behaviour). One mutex guards every FIFO, the round-robin list and the timers; it is never held
// while a block runs.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>

#include "platform/dispatch/backend/Runtime.h"
#include "platform/dispatch/backend/SyncHandoff.h"
#include "platform/dispatch/backend/TimerSchedule.h"
#include "platform/time/ManualClock.h"

namespace platform::detail {

class DeterministicRuntime;

class DeterministicQueue final : public Queue {
 public:
  DeterministicQueue(std::shared_ptr<DeterministicRuntime> runtime, std::string label, Kind kind,
                     QualityOfService qos);

 protected:
  void enqueue(std::function<void()> block) override;
  void runSync(const std::function<void()>& block) override;

 private:
  friend class DeterministicRuntime;
  DeterministicRuntime& deterministic_;
  std::deque<WorkItem> items_;  // guarded by the runtime's mutex
};

class DeterministicRuntime final : public Runtime {
 public:
  explicit DeterministicRuntime(std::shared_ptr<ManualClock> clock);
  // Makes the main and global queues; call once, right after construction.
  void makeSharedQueues();
  // Drops the blocks still waiting and every timer, and lets go of every queue, so nothing keeps
  // this runtime alive in a cycle.
  void shutDown();

  void drain();
  void advance(std::chrono::nanoseconds by);

  const Clock& clock() const override { return *clock_; }
  QueueRef makeSerialQueue(std::string label, QualityOfService qos) override;
  QueueRef globalQueue(QualityOfService qos) override;
  QueueRef mainQueue() override;

  bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 const std::function<bool()>& ready,
                 std::optional<std::chrono::nanoseconds> timeout) override;
  void stateChanged() override;

  void setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver) override;
  void drainMainQueue() override;
  bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) override;

  // For DeterministicQueue.
  void post(DeterministicQueue& queue, WorkItem item);
  void runEarlierBlocks(DeterministicQueue& queue);
  bool isTestThread() const { return std::this_thread::get_id() == testThread_; }

 protected:
  void schedule(std::shared_ptr<TimerState> timer) override;

 private:
  void requireTestThread(const char* operation) const;
  // One step of work on the test thread; each answers whether it did anything.
  bool runOneBlock();
  bool fireDueTimer();
  // Lets virtual time pass up to the next timer and fires it, but not beyond the monotonic
  // reading `limit`; answers whether a timer fired (if not, the clock stands at `limit`, when
  // given).
  bool advanceToNextTimer(std::optional<std::chrono::nanoseconds> limit);
  void run(DeterministicQueue& queue, WorkItem& item);
  std::uint64_t changeCount();
  // Sleeps until another thread posts or changes state after `seen`, or `deadline` passes.
  void sleepForOutsideWork(std::uint64_t seen, std::optional<std::chrono::steady_clock::time_point> deadline);

  const std::shared_ptr<ManualClock> clock_;
  const std::thread::id testThread_;

  std::mutex mutex_;
  std::condition_variable outsideWork_;
  std::uint64_t changes_ = 0;
  std::deque<std::shared_ptr<DeterministicQueue>> ready_;  // queues with blocks, in turn order
  TimerSchedule timers_;
  std::array<std::shared_ptr<DeterministicQueue>, 3> globals_;
  std::shared_ptr<DeterministicQueue> main_;
};

}  // namespace platform::detail
