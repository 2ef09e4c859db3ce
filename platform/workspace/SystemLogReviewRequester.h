#pragma once
// The review requester of a desktop that has no rating prompt of its own: it shows nothing and
// notes each request as one notice line in the system log, so the attempt can still be traced.

#include <memory>

#include "platform/syslog/SystemLogClient.h"
#include "platform/workspace/ReviewRequester.h"

namespace platform {

inline constexpr const char* kReviewRequestedLogLine =
    "Review requested; this desktop has no rating prompt, so none is shown.";

class SystemLogReviewRequester final : public ReviewRequester {
 public:
  SystemLogReviewRequester();

  void requestReview() override;

 private:
  SystemLogClient log_;
};

}  // namespace platform
