#include "Velloran/services/testing/FakeAppDirectory.h"

#include "platform/dispatch/Queue.h"

namespace velloran::testing {

void FakeAppDirectory::fetchApps(std::vector<std::string> ids,
                                 Completion<std::vector<AppStoreApp>> completion) {
  requests_.push_back(std::move(ids));
  pending_.push_back(std::move(completion));
}

void FakeAppDirectory::succeed(std::vector<AppStoreApp> apps) {
  answer(std::move(apps));
}

void FakeAppDirectory::fail(platform::Error error) {
  answer(std::move(error));
}

void FakeAppDirectory::answer(platform::Result<std::vector<AppStoreApp>> result) {
  if (pending_.empty())
    throw platform::ProgrammerError("FakeAppDirectory", "no fetch is waiting for an answer");
  auto completion = std::move(pending_.front());
  pending_.pop_front();
  platform::mainQueue()->async([completion = std::move(completion), result = std::move(result)]() mutable {
    completion(std::move(result));
  });
}

}  // namespace velloran::testing
