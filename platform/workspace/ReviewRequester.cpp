#include "platform/workspace/ReviewRequester.h"

#include <mutex>

#include "platform/workspace/SystemLogReviewRequester.h"

namespace platform {
namespace {

std::mutex sharedRequesterMutex;
std::shared_ptr<ReviewRequester> installedRequester;

}  // namespace

std::shared_ptr<ReviewRequester> ReviewRequester::shared() {
  std::lock_guard lock(sharedRequesterMutex);
  if (!installedRequester) installedRequester = std::make_shared<SystemLogReviewRequester>();
  return installedRequester;
}

void ReviewRequester::setShared(std::shared_ptr<ReviewRequester> requester) {
  std::lock_guard lock(sharedRequesterMutex);
  installedRequester = std::move(requester);
}

}  // namespace platform
