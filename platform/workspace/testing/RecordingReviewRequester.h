#pragma once
// Test double of ReviewRequester: shows nothing and counts the requests. A hook, when set, runs
// inside requestReview, so a test can look at the state of the code under test at that moment.
// Thread-safe.

#include <functional>
#include <mutex>

#include "platform/workspace/ReviewRequester.h"

namespace platform::testing {

class RecordingReviewRequester final : public ReviewRequester {
 public:
  void requestReview() override;

  int requestCount() const;
  void setOnRequest(std::function<void()> hook);

 private:
  mutable std::mutex mutex_;
  int requests_ = 0;
  std::function<void()> onRequest_;
};

}  // namespace platform::testing
