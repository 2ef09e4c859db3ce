#include "platform/workspace/testing/RecordingReviewRequester.h"

namespace platform::testing {

void RecordingReviewRequester::requestReview() {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    requests_ += 1;
    hook = onRequest_;
  }
  if (hook) hook();
}

int RecordingReviewRequester::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RecordingReviewRequester::setOnRequest(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  onRequest_ = std::move(hook);
}

}  // namespace platform::testing
