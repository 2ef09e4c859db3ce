#include <atomic>

#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Semaphore.h"

namespace beacon {
namespace {

using EngineStep = std::function<void(BMSMeasurement&)>;

// Runs `step` (when given) on the engine's worker queue behind the work queued before, then
// `completion` on `queue`. The marker takes the road the queued work took, behind it on every queue.
void behindQueuedWork(EngineStep step, platform::QueueRef queue, std::function<void()> completion) {
  auto finish = [queue = std::move(queue), completion = std::move(completion)] { queue->async(completion); };
  BMSAnalytics::queueOperationWithBlock([step = std::move(step), finish = std::move(finish)] {
    const std::shared_ptr<BMSMeasurement> engine =
        BMSMeasurement::hasSharedInstance() ? BMSMeasurement::sharedInstance() : nullptr;
    if (engine && engine->scheduler()) {
      engine->scheduler()->workerQueue()->async([engine, step, finish] {
        // The work behind which this runs is done only once its events are durable.
        engine->commitStoredEventsOnWorkerQueue();
        if (step) step(*engine);
        finish();
      });
    } else {
      finish();
    }
  });
}

// behindQueuedWork, waited for at most `bound`; on the main thread the main queue keeps running.
bool waitBehindQueuedWork(EngineStep step, std::chrono::nanoseconds bound) {
  if (platform::isMainThread()) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    // Arriving as a main-queue block also wakes the pump at once.
    behindQueuedWork(std::move(step), platform::mainQueue(), [done] { done->store(true); });
    return platform::runUntil([&done] { return done->load(); }, bound);
  }
  platform::Semaphore done;
  behindQueuedWork(std::move(step), platform::globalQueue(), [done]() mutable { done.signal(); });
  return done.wait(bound);
}

}  // namespace

platform::QueueRef BMSAnalytics::queue() {
  return currentFacade().queue();
}

void BMSAnalytics::dispatchAsyncOnSerialQueue(std::function<void()> block) {
  currentFacade().dispatchAsyncOnSerialQueue(std::move(block));
}

bool BMSAnalytics::isCurrentQueueSerialQueue() {
  return currentFacade().isCurrentQueueSerialQueue();
}

void BMSAnalytics::queueOperationWithBlock(std::function<void()> block) {
  currentFacade().queueOperationWithBlock(std::move(block));
}

void BMSAnalytics::queueOperationWithBlockThenWait(std::function<void()> block) {
  currentFacade().queueOperationWithBlockThenWait(std::move(block));
}

void BMSAnalytics::unsuspendOperationQueue() {
  currentFacade().unsuspendOperationQueue();
}

void BMSAnalytics::notifyWhenQueuedWorkIsDone(platform::QueueRef queue, std::function<void()> completion) {
  behindQueuedWork(nullptr, std::move(queue), std::move(completion));
}

bool BMSAnalytics::waitForQueuedWork(std::chrono::nanoseconds bound) {
  return waitBehindQueuedWork(nullptr, bound);
}

bool BMSAnalytics::closeDatabaseAfterQueuedWork(std::chrono::nanoseconds bound) {
  return waitBehindQueuedWork([](BMSMeasurement& engine) { engine.closeDatabaseOnWorkerQueue(); }, bound);
}

double BMSAnalytics::loadTimestamp() {
  return currentFacade().loadTimestamp();
}

void BMSAnalytics::setLoadTimestamp(double seconds) {
  currentFacade().setLoadTimestamp(seconds);
}

}  // namespace beacon
