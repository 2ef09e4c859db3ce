#pragma once
// The analytics facade's process-wide state, held by the AnalyticsContext: its three queues, the load
// time stamp, its preferences, its flags and the once-only guards of the start.
//
//  - The analytics queue ("BMSAnalyticsQueue", serial, background priority) runs every facade
//    operation; the flags and listeners of the facade are touched only on it.
//  - The time-stamp queue ("BMSAnalyticsTimestampQueue") is entered only synchronously, by a caller
//    that reads the time and queues its event in one step, so queue order and time order agree.
//  - The operation queue ("BMSAnalyticsOperationQueue", one at a time) is made suspended: operations
//    issued before the engine exists wait in it, and the start resumes it once the engine-start
//    block has entered the analytics queue. Each operation only hands its block to the analytics
//    queue, so blocks run there in the order they were queued.
//  - The event backlog bounds the events on their way through these queues to storage.
//
// Thread-safe: any thread may queue work and read or write the load time stamp (under its lock). The
// flags are written on the analytics queue and atomic, so a reader elsewhere sees a whole value.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSEventBacklog.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/notify/NotificationCenter.h"

namespace beacon {

class AnalyticsContext;
class BMSUserDefaults;

inline constexpr const char* kBMSAnalyticsQueueLabel = "BMSAnalyticsQueue";
inline constexpr const char* kBMSAnalyticsTimestampQueueLabel = "BMSAnalyticsTimestampQueue";
inline constexpr const char* kBMSAnalyticsOperationQueueName = "BMSAnalyticsOperationQueue";
inline constexpr const char* kBMSAnalyticsSuiteName = "BMSAnalyticsSuiteName";

class BMSAnalyticsState {
 public:
  // The load time stamp starts at the context's current time.
  explicit BMSAnalyticsState(AnalyticsContext& context);

  const platform::QueueRef& queue() const { return queue_; }
  const platform::QueueRef& timestampQueue() const { return timestampQueue_; }
  platform::OperationQueue& operationQueue() const { return *operationQueue_; }

  void dispatchAsyncOnSerialQueue(std::function<void()> block) const;
  bool isCurrentQueueSerialQueue() const;
  // The operation hands the block to the analytics queue. Given the block's own closure rather than
  // a std::function, the caller's thread makes one allocation for both.
  template <class Block>
  void queueOperationWithBlock(Block block) const {
    operationQueue_->addOperation(
        [queue = queue_, block = std::move(block)]() mutable { queue->async(std::move(block)); });
  }
  // Queues the block; when the operation queue is running, waits until every queued operation has
  // handed its block over, then holds the operation queue for half a second (resumed from the
  // analytics queue) so the caller's block gets a head start over later ones.
  void queueOperationWithBlockThenWait(std::function<void()> block) const;
  void unsuspendOperationQueue() const;
  // True until the operation queue is first resumed: it then holds every operation until the
  // start, and nothing drains the events waiting in it. A later hold ends by itself.
  bool holdsOperationsUntilStart() const;

  double loadTimestamp() const;
  void setLoadTimestamp(double seconds);

  BMSUserDefaults& defaults() const { return *defaults_; }
  BMSEventBacklog& backlog() { return backlog_; }

  std::atomic<bool> collectionDeactivated = false;
  std::atomic<bool> enabled = false;
  std::once_flag startOnce;
  std::once_flag tagManagerOnce;
  std::once_flag appDelegateProxyOnce;
  // The observation of the SDK core's collection switch; replaced by each start with a configuration.
  platform::ObserverToken configurationObservation;

  // Analytics queue only.
  std::optional<BMSLogEventInterceptor> interceptor;
  // Made on first use; listeners in the order they were added.
  std::optional<std::map<std::uint64_t, BMSLogEventListener>> listeners;
  std::atomic<std::uint64_t> nextListenerToken = 1;
  // Listeners added (or queued to be) and not removed: while there are none, events are not
  // queued for them.
  std::atomic<std::uint64_t> listenerCount = 0;
  // Analytics queue only.
  BMSOpenURLListener openURLListener;

 private:
  platform::QueueRef queue_;
  platform::QueueRef timestampQueue_;
  std::shared_ptr<platform::OperationQueue> operationQueue_;
  mutable std::atomic<bool> operationQueueReleased_ = false;
  std::shared_ptr<BMSUserDefaults> defaults_;
  BMSEventBacklog backlog_;
  mutable std::mutex loadTimestampMutex_;
  double loadTimestamp_;
};

// The facade state of the current analytics context (AnalyticsContext::current()).
BMSAnalyticsState& currentFacade();

}  // namespace beacon
