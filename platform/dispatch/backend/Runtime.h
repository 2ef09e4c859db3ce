#pragma once
// Internal: what a dispatch backend provides. The public classes delegate here; the process has
// one current runtime, which objects capture when they are made.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/time/Clock.h"

namespace platform::detail {

class Runtime : public std::enable_shared_from_this<Runtime> {
 public:
  virtual ~Runtime() = default;

  virtual const Clock& clock() const = 0;

  virtual QueueRef makeSerialQueue(std::string label, QualityOfService qos) = 0;
  virtual QueueRef globalQueue(QualityOfService qos) = 0;
  virtual QueueRef mainQueue() = 0;

  // Resolves `deadline` against clock() and arms a timer that runs `block` on `queue`.
  std::shared_ptr<TimerState> arm(const QueueRef& queue, Deadline deadline, std::function<void()> block);

  // Blocks until `ready()` holds (answering true) or `timeout` has passed (answering ready()).
  // `lock` holds the mutex guarding what ready() reads; it is released while waiting, and the
  // state's owner notifies `changed` and then calls stateChanged() after changing it.
  virtual bool waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                         const std::function<bool()>& ready,
                         std::optional<std::chrono::nanoseconds> timeout) = 0;
  virtual void stateChanged() = 0;

  virtual void setMainQueueDriver(std::shared_ptr<MainQueueDriver> driver) = 0;
  virtual void drainMainQueue() = 0;
  virtual bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) = 0;

 protected:
  virtual void schedule(std::shared_ptr<TimerState> timer) = 0;
};

// "global.background", "global.utility", "global.default".
const char* globalQueueLabel(QualityOfService qos);

// The runtime new objects belong to: the threaded one unless a test installed another.
std::shared_ptr<Runtime> currentRuntime();
// Makes `runtime` current (nullptr: the threaded one) and answers the one it replaces.
std::shared_ptr<Runtime> exchangeCurrentRuntime(std::shared_ptr<Runtime> runtime);

}  // namespace platform::detail
