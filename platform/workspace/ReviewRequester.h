#pragma once
// Asking the desktop to show its "rate this application" prompt. Whether and when a prompt appears
// is the desktop's decision; callers count the request as made either way.
//
// The process has one shared requester. By default it is a SystemLogReviewRequester; the application
// may install its own in main() before the first request, and tests install a
// RecordingReviewRequester (platform/workspace/testing). Implementations are safe to call from any
// thread.

#include <memory>

namespace platform {

class ReviewRequester {
 public:
  virtual ~ReviewRequester() = default;

  virtual void requestReview() = 0;

  static std::shared_ptr<ReviewRequester> shared();
  // nullptr puts the default back.
  static void setShared(std::shared_ptr<ReviewRequester> requester);
};

}  // namespace platform
