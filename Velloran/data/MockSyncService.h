#pragma once
// The sync service of test runs: every operation moves to the main queue and completes there at
// once, successfully, having read and changed nothing. So under test a manual sync always succeeds,
// and no sync event ever arrives.

#include "Velloran/data/SyncService.h"

namespace velloran {

class MockSyncService final : public SyncService {
 public:
  void pullChanges(Completion<void> completion) override;
  void pushChanges(Completion<void> completion) override;
  void startObservingRemoteChanges(std::function<void()> completion) override;
};

}  // namespace velloran
