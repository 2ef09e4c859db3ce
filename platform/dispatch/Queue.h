#pragma once
// Dispatch queues: the way work moves between threads in this system.
//
// Kinds of queue
//  - Serial queues (makeSerialQueue) run one block at a time, in the order they were submitted. A
//    serial queue stands for an actor: state touched only from its blocks needs no other lock.
//  - Global queues (globalQueue) are concurrent: blocks may run at the same time, in any order.
//  - The main queue (mainQueue) is serial and runs its blocks on the process's main thread, fed by
//    a driver: a pump for tests and command-line tools, the application's event loop in the app
//    (see MainQueue.h).
//
// Who runs what, with the threaded backend (the default)
//  - Blocks of serial and global queues run on an elastic pool of worker threads. The pool starts a
//    thread whenever work is waiting and no worker is idle, so a block that blocks (in sync, on a
//    semaphore, on a group) never starves other queues. Idle workers leave after a few seconds.
//    A serial queue runs a short batch of blocks per turn, then lets other queues' work in.
//  - sync on a serial queue waits until the blocks submitted before it have run, then runs the
//    block on the calling thread while the queue runs nothing else. sync on a global queue runs the
//    block at once on the calling thread. sync on the main queue runs the block on the main thread.
//  - One timer thread keeps the armed deadlines (Timer.h, asyncAfter) in a heap and, when one is
//    due, submits its block to its queue; it never runs user code itself.
//
// With the deterministic backend (DeterministicDispatch.h, for tests) every block runs on the
// test's thread when the test drains, and timers fire when the test advances a ManualClock.
//
// Guarantees user code may rely on
//  - async never runs the block inline, not even on an idle queue.
//  - async takes no lock that user code could hold, so it may be called while holding any mutex.
//  - sync onto a serial queue (or the main queue) from a block already running on it - directly or
//    further up the calling thread's chain of sync calls - throws ProgrammerError instead of
//    waiting for itself forever.
//  - An exception escaping an asynchronously run block (async, asyncAfter, timers, group
//    notifications, operations) is written to standard error and ends the process: nothing could
//    handle it. An exception escaping a sync block reaches the caller of sync.
//
// Queues are shared objects (QueueRef); a queue stays alive while it has work pending.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform {

enum class QualityOfService { Background, Utility, Default };

class Queue;
using QueueRef = std::shared_ptr<Queue>;

namespace detail {
class Runtime;
Runtime& runtimeOf(const Queue& queue);
}  // namespace detail

class Queue : public std::enable_shared_from_this<Queue> {
 public:
  enum class Kind { Serial, Concurrent, Main };

  virtual ~Queue() = default;
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // Empty for a serial queue made without a label.
  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }
  // A serial queue runs with the quality of service of the global queue it targets.
  QualityOfService qualityOfService() const { return qualityOfService_; }

  // Runs `block` later on this queue; never before async returns.
  void async(std::function<void()> block);
  // Runs `block` on this queue once `delay` of monotonic time has passed (at once when not
  // positive, but still never inline).
  void asyncAfter(std::chrono::nanoseconds delay, std::function<void()> block);
  // Runs `block` on this queue and returns when it has finished (see the header comment).
  void sync(const std::function<void()>& block);

  // True while the calling thread runs a block of this queue as its innermost queue.
  bool isCurrent() const;

 protected:
  Queue(std::shared_ptr<detail::Runtime> runtime, std::string label, Kind kind, QualityOfService qos);

  // Backend hooks; the public calls have checked their arguments.
  virtual void enqueue(std::function<void()> block) = 0;
  virtual void runSync(const std::function<void()>& block) = 0;

 private:
  friend detail::Runtime& detail::runtimeOf(const Queue& queue);

  std::shared_ptr<detail::Runtime> runtime_;
  std::string label_;
  Kind kind_;
  QualityOfService qualityOfService_;
};

// A new serial queue. `target`, when given, must be a global queue; the new queue takes its
// quality of service (Default without a target).
QueueRef makeSerialQueue(std::string label, const QueueRef& target = nullptr);
// The process's global queue of the given quality of service (one per backend).
QueueRef globalQueue(QualityOfService qos = QualityOfService::Default);
// The process's main queue (one per backend).
QueueRef mainQueue();

// The label of the queue whose block the calling thread is running, or "" outside any block.
std::string currentQueueLabel();
// True while the calling thread runs a block of a serial queue (not the main queue), as its
// innermost queue or further up its chain of sync calls: while the thread waits, that queue runs
// nothing else.
bool isRunningSerialQueueBlock();
// True on the process's main thread.
bool isMainThread();

}  // namespace platform
