#include "Velloran/data/MockSyncService.h"

#include "platform/dispatch/Queue.h"

namespace velloran {

namespace {

void succeedOnMainQueue(Completion<void> completion) {
  platform::mainQueue()->async([completion = std::move(completion)] {
    if (completion) completion(platform::Result<void>::success());
  });
}

}  // namespace

void MockSyncService::pullChanges(Completion<void> completion) {
  succeedOnMainQueue(std::move(completion));
}

void MockSyncService::pushChanges(Completion<void> completion) {
  succeedOnMainQueue(std::move(completion));
}

void MockSyncService::startObservingRemoteChanges(std::function<void()> completion) {
  platform::mainQueue()->async([completion = std::move(completion)] {
    if (completion) completion();
  });
}

}  // namespace velloran
