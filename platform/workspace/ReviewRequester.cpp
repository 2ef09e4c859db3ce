#include "platform/workspace/ReviewRequester.h"

#include <mutex>

#include "platform/workspace/SystemLogReviewRequester.h"

namespace platform {
namespace {

std::mutex sharedMutex;
std::shared_ptr<ReviewRequester> installed;

}  // namespace

std::shared_ptr<ReviewRequester> ReviewRequester::shared() {
  std::lock_guard lock(sharedMutex);
  if (!installed) installed = std::make_shared<SystemLogReviewRequester>();
  return installed;
}

void ReviewRequester::setShared(std::shared_ptr<ReviewRequester> requester) {
  std::lock_guard lock(sharedMutex);
  installed = std::move(requester);
}

}  // namespace platform
