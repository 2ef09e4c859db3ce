#include "platform/workspace/SystemLogReviewRequester.h"

namespace platform {
namespace {

constexpr int kNoticeLevel = 5;

}  // namespace

SystemLogReviewRequester::SystemLogReviewRequester() : log_("ReviewRequester") {}

void SystemLogReviewRequester::requestReview() {
  log_.write(kNoticeLevel, kReviewRequestedLogLine);
}

}  // namespace platform
