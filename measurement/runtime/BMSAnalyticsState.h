#pragma once
// The analytics facade's process-wide state, held by the AnalyticsContext: its three queues and the
// load time stamp.
//
//  - The analytics queue ("BMSAnalyticsQueue", serial, background priority) runs every facade
//    operation; the flags and listeners of the facade are touched only on it.
//  - The time-stamp queue ("BMSAnalyticsTimestampQueue") is entered only synchronously, by a caller
//    that reads the time and queues its event in one step, so queue order and time order agree.
//  - The operation queue ("BMSAnalyticsOperationQueue", one at a time) is made suspended: operations
//    issued before the engine exists wait in it, and the start resumes it once the engine-start
//    block has entered the analytics queue. Each operation only hands its block to the analytics
//    queue, so blocks run there in the order they were queued.
//
// Thread-safe: any thread may queue work and read or write the load time stamp (under its lock).

#include <functional>
#include <memory>
#include <mutex>

#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"

namespace beacon {

class AnalyticsContext;

inline constexpr const char* kBMSAnalyticsQueueLabel = "BMSAnalyticsQueue";
inline constexpr const char* kBMSAnalyticsTimestampQueueLabel = "BMSAnalyticsTimestampQueue";
inline constexpr const char* kBMSAnalyticsOperationQueueName = "BMSAnalyticsOperationQueue";

class BMSAnalyticsState {
 public:
  // The load time stamp starts at the context's current time.
  explicit BMSAnalyticsState(AnalyticsContext& context);

  const platform::QueueRef& queue() const { return queue_; }
  const platform::QueueRef& timestampQueue() const { return timestampQueue_; }
  platform::OperationQueue& operationQueue() const { return *operationQueue_; }

  void dispatchAsyncOnSerialQueue(std::function<void()> block) const;
  bool isCurrentQueueSerialQueue() const;
  void queueOperationWithBlock(std::function<void()> block) const;
  // Queues the block; when the operation queue is running, waits until every queued operation has
  // handed its block over, then holds the operation queue for half a second (resumed from the
  // analytics queue) so the caller's block gets a head start over later ones.
  void queueOperationWithBlockThenWait(std::function<void()> block) const;
  void unsuspendOperationQueue() const;

  double loadTimestamp() const;
  void setLoadTimestamp(double seconds);

 private:
  platform::QueueRef queue_;
  platform::QueueRef timestampQueue_;
  std::shared_ptr<platform::OperationQueue> operationQueue_;
  mutable std::mutex loadTimestampMutex_;
  double loadTimestamp_;
};

}  // namespace beacon
