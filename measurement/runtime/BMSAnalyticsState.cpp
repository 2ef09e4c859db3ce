#include "measurement/runtime/BMSAnalyticsState.h"

#include <chrono>

#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/AnalyticsContext.h"

namespace beacon {
namespace {

// How long a waiting setUserData holds later operations back.
constexpr std::chrono::milliseconds kOperationQueueHold{500};

}  // namespace

BMSAnalyticsState::BMSAnalyticsState(AnalyticsContext& context)
    : queue_(platform::makeSerialQueue(kBMSAnalyticsQueueLabel,
                                       platform::globalQueue(platform::QualityOfService::Background))),
      timestampQueue_(platform::makeSerialQueue(kBMSAnalyticsTimestampQueueLabel)),
      operationQueue_(platform::OperationQueue::make(kBMSAnalyticsOperationQueueName,
                                                     platform::OperationQueue::Start::Suspended)),
      defaults_(std::make_shared<BMSUserDefaults>(kBMSAnalyticsSuiteName)),
      loadTimestamp_(context.nowSince1970()) {}

void BMSAnalyticsState::dispatchAsyncOnSerialQueue(std::function<void()> block) const {
  queue_->async(std::move(block));
}

bool BMSAnalyticsState::isCurrentQueueSerialQueue() const {
  return platform::currentQueueLabel() == kBMSAnalyticsQueueLabel;
}

void BMSAnalyticsState::queueOperationWithBlockThenWait(std::function<void()> block) const {
  queueOperationWithBlock(std::move(block));
  if (operationQueue_->isSuspended()) return;
  operationQueue_->waitUntilAllOperationsAreFinished();
  operationQueue_->suspend();
  queue_->asyncAfter(kOperationQueueHold, [operations = operationQueue_] { operations->resume(); });
}

void BMSAnalyticsState::unsuspendOperationQueue() const {
  operationQueueReleased_ = true;
  operationQueue_->resume();
}

bool BMSAnalyticsState::holdsOperationsUntilStart() const {
  return !operationQueueReleased_ && operationQueue_->isSuspended();
}

double BMSAnalyticsState::loadTimestamp() const {
  std::lock_guard lock(loadTimestampMutex_);
  return loadTimestamp_;
}

void BMSAnalyticsState::setLoadTimestamp(double seconds) {
  std::lock_guard lock(loadTimestampMutex_);
  loadTimestamp_ = seconds;
}

BMSAnalyticsState& currentFacade() {
  return AnalyticsContext::current().facade();
}

}  // namespace beacon
