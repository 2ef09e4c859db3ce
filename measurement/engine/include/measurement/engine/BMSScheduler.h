#pragma once
// The engine's worker queue. Subsystems of the engine do their work on it and reach it only through
// the block-ID dispatch below; the block ID ("BMSMeasurement:611") names the call site in log lines.
//
// The worker queue is serial, so state touched only from its blocks needs no other lock. A block
// that throws is logged with its ID and the queue goes on with its next block.

#include <functional>
#include <string>
#include <string_view>

#include "platform/dispatch/Queue.h"

namespace beacon {

class BMSScheduler {
 public:
  // A serial queue with that label, on the background-priority global queue.
  explicit BMSScheduler(std::string workerQueueLabel);

  const platform::QueueRef& workerQueue() const { return workerQueue_; }

  // Runs `block` later on the worker queue. An empty block is logged (30005) and dropped.
  void scheduleOnWorkerQueueBlockID(std::string_view blockID, std::function<void()> block);
  // Runs `block` on the worker queue and waits for it. An empty block is logged (30002); a block that
  // throws is logged (30003); a block that did not finish normally - including a call made from the
  // worker queue itself, which is refused instead of waiting for ever - is logged as failed (30004).
  void dispatchSyncOnWorkerQueueBlockID(std::string_view blockID, const std::function<void()>& block);

  // False, and logged (30001), on the main thread; true elsewhere. Every engine method meant for the
  // worker queue calls it first.
  static bool checkOnBackgroundThreadWithMethodName(std::string_view methodName);

 private:
  platform::QueueRef workerQueue_;
};

}  // namespace beacon
