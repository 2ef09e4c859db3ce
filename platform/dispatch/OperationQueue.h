#pragma once
// An operation queue holds operations and hands them, one at a time and in the order they were
// added, to a dispatch queue; the next starts only when the previous has returned. While
// suspended it holds new operations back (an operation already started finishes). It can be made
// suspended, so callers can collect work before the thing the work needs exists.
//
// Operations run on a serial queue of the operation queue's own, labelled with its name, or on a
// queue given at creation (the main queue, for operations that must run on the main thread).
// All members may be called from any thread.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/dispatch/Queue.h"

namespace platform {

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
 public:
  enum class Start { Running, Suspended };

  static std::shared_ptr<OperationQueue> make(std::string name, Start start = Start::Running,
                                              QueueRef runOn = nullptr);

  const std::string& name() const { return name_; }

  void addOperation(std::function<void()> operation);
  void suspend();
  void resume();
  bool isSuspended() const;
  // Operations added and not yet finished, the running one included.
  std::size_t operationCount() const;

  // Waits until no operation is waiting or running. A suspended queue holding operations is never
  // done, so this waits for someone to resume it. Called from inside one of this queue's own
  // operations it would wait for itself: ProgrammerError.
  void waitUntilAllOperationsAreFinished();

 private:
  OperationQueue(std::string name, Start start, QueueRef runOn);

  // A list, so that an operation's storage is made and freed outside the lock: the lock's holders
  // then never wait inside the allocator, and callers adding operations never wait long for them.
  using Operations = std::list<std::function<void()>>;

  // Takes the next operation when one may start now (a list of none or one); mutex_ held.
  Operations takeNextLocked();
  void startFirst(Operations& next);
  void start(std::function<void()> operation);
  void finished();

  std::shared_ptr<detail::Runtime> runtime_;
  std::string name_;
  QueueRef queue_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Operations waiting_;
  bool suspended_;
  bool running_ = false;
  // Only ever compared with the reading thread's own ID, which only that thread stores here: no lock.
  std::atomic<std::thread::id> runningOn_;
};

}  // namespace platform
