#include <atomic>

#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Semaphore.h"

namespace beacon {
namespace {

BMSAnalyticsState& facade() {
  return AnalyticsContext::current().facade();
}

}  // namespace

platform::QueueRef BMSAnalytics::queue() {
  return facade().queue();
}

void BMSAnalytics::dispatchAsyncOnSerialQueue(std::function<void()> block) {
  facade().dispatchAsyncOnSerialQueue(std::move(block));
}

bool BMSAnalytics::isCurrentQueueSerialQueue() {
  return facade().isCurrentQueueSerialQueue();
}

void BMSAnalytics::queueOperationWithBlock(std::function<void()> block) {
  facade().queueOperationWithBlock(std::move(block));
}

void BMSAnalytics::queueOperationWithBlockThenWait(std::function<void()> block) {
  facade().queueOperationWithBlockThenWait(std::move(block));
}

void BMSAnalytics::unsuspendOperationQueue() {
  facade().unsuspendOperationQueue();
}

void BMSAnalytics::notifyWhenQueuedWorkIsDone(platform::QueueRef queue, std::function<void()> completion) {
  auto finish = [queue = std::move(queue), completion = std::move(completion)] { queue->async(completion); };
  // The marker takes the road the queued work took, behind it on every queue.
  queueOperationWithBlock([finish = std::move(finish)] {
    const std::shared_ptr<BMSMeasurement> engine =
        BMSMeasurement::hasSharedInstance() ? BMSMeasurement::sharedInstance() : nullptr;
    if (engine && engine->scheduler()) {
      engine->scheduler()->workerQueue()->async(finish);
    } else {
      finish();
    }
  });
}

bool BMSAnalytics::waitForQueuedWork(std::chrono::nanoseconds bound) {
  if (platform::isMainThread()) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    // Arriving as a main-queue block also wakes the pump at once.
    notifyWhenQueuedWorkIsDone(platform::mainQueue(), [done] { done->store(true); });
    return platform::runUntil([&done] { return done->load(); }, bound);
  }
  platform::Semaphore done;
  notifyWhenQueuedWorkIsDone(platform::globalQueue(), [done]() mutable { done.signal(); });
  return done.wait(bound);
}

double BMSAnalytics::loadTimestamp() {
  return facade().loadTimestamp();
}

void BMSAnalytics::setLoadTimestamp(double seconds) {
  facade().setLoadTimestamp(seconds);
}

}  // namespace beacon
