#pragma once
// The analytics facade between the public interface (BCNAnalytics) and the measurement engine. A
// class of class-level calls over the current AnalyticsContext's facade state.
//
// Queues: every facade operation runs on the analytics queue. "Queued" work goes through the
// operation queue, which holds it until the start has queued the engine-start block, so nothing
// reaches the engine before it exists and calls reach it in the order they were made. "Dispatched"
// work goes straight onto the analytics queue.

#include <functional>

#include "platform/dispatch/Queue.h"

namespace beacon {

class BMSAnalytics {
 public:
  BMSAnalytics() = delete;

  static platform::QueueRef queue();
  static void dispatchAsyncOnSerialQueue(std::function<void()> block);
  // True while the caller runs on the analytics queue.
  static bool isCurrentQueueSerialQueue();
  static void queueOperationWithBlock(std::function<void()> block);
  static void queueOperationWithBlockThenWait(std::function<void()> block);
  static void unsuspendOperationQueue();

  // Seconds since 1970: when the facade was loaded, or when analytics data was last reset.
  static double loadTimestamp();
  static void setLoadTimestamp(double seconds);
};

}  // namespace beacon
