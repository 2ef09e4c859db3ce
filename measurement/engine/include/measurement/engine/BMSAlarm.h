#pragma once
// A named one-shot timer that runs a block once on a given queue. Arming it again replaces the
// pending firing, so it never fires twice for one arming; the block runs after the alarm has
// disarmed itself, so the block may arm it again. Destroying the alarm cancels it.
//
// Threads: safe to arm, cancel and read from any queue - the session reporter drives its alarm from
// the main queue and the worker queue. A firing that was already on its way when the alarm was
// re-armed or cancelled is recognised as stale and dropped.

#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/time/Clock.h"
#include "platform/value/Value.h"

namespace beacon {

class BMSAlarm {
 public:
  // An empty name becomes "Timer". `clock` gives the wall time the firing is set for.
  BMSAlarm(platform::QueueRef queue, std::string name,
           std::shared_ptr<const platform::Clock> clock = nullptr);
  ~BMSAlarm();
  BMSAlarm(const BMSAlarm&) = delete;
  BMSAlarm& operator=(const BMSAlarm&) = delete;

  const std::string& name() const { return name_; }
  const platform::QueueRef& queue() const { return queue_; }

  // Fires `block` on the queue `delaySeconds` from now (a negative delay counts as 0). An empty block
  // is logged (2000) and leaves a pending firing armed.
  void runAfterDelay(double delaySeconds, std::function<void()> block);
  // Drops the pending firing; does nothing when idle.
  void cancel();
  bool hasActiveTimer() const;
  // When the armed timer fires; empty when idle.
  std::optional<platform::Date> scheduledTimestamp() const;

 private:
  struct State;

  const platform::QueueRef queue_;
  const std::string name_;
  const std::shared_ptr<const platform::Clock> clock_;
  const std::shared_ptr<State> state_;
};

}  // namespace beacon
