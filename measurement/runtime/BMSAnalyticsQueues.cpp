#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"

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

double BMSAnalytics::loadTimestamp() {
  return facade().loadTimestamp();
}

void BMSAnalytics::setLoadTimestamp(double seconds) {
  facade().setLoadTimestamp(seconds);
}

}  // namespace beacon
