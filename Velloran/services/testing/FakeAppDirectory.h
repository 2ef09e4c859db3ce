#pragma once
// Test double of AppDirectoryProviding: records every fetch and keeps its completion until the test
// answers it with succeed() or fail() (oldest fetch first). Like the real directory it completes on
// the main queue, so the test drains or pumps the main queue after answering. Main thread only.

#include <deque>
#include <string>
#include <vector>

#include "Velloran/services/AppDirectoryProviding.h"

namespace velloran::testing {

class FakeAppDirectory final : public AppDirectoryProviding {
 public:
  void fetchApps(std::vector<std::string> ids, Completion<std::vector<AppStoreApp>> completion) override;

  // The ID lists of every fetch so far, answered or not.
  const std::vector<std::vector<std::string>>& requests() const { return requests_; }

  // Answer the oldest open fetch. Throws when none is open.
  void succeed(std::vector<AppStoreApp> apps);
  void fail(platform::Error error);

 private:
  void answer(platform::Result<std::vector<AppStoreApp>> result);

  std::vector<std::vector<std::string>> requests_;
  std::deque<Completion<std::vector<AppStoreApp>>> pending_;
};

}  // namespace velloran::testing
