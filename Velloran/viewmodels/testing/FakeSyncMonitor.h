#pragma once
// Test double of a sync service that is also a sync monitor, for code that follows the mirroring:
// the test scripts the manual sync's outcomes, holds pulls back as a long import would, posts
// mirroring events, stages what the next history processing finds, and reads back what was called.
//
// Like the real monitor it completes on the main queue (never inline), delivers events on the
// calling (main) thread, sets pending flags only in history processing and clears a flag only when
// it is taken. Main thread only.

#include <optional>
#include <vector>

#include "Velloran/data/SyncMonitor.h"
#include "Velloran/data/SyncService.h"

namespace velloran::testing {

// An event that has ended, successfully or not, without an error.
SyncEvent endedEvent(SyncEvent::Type type, bool succeeded = true);
// A failed event carrying `error` (and an end date).
SyncEvent failedEvent(SyncEvent::Type type, platform::Error error);

class FakeSyncMonitor final : public SyncService, public SyncMonitor {
 public:
  // SyncService
  void pullChanges(Completion<void> completion) override;
  void pushChanges(Completion<void> completion) override;
  void startObservingRemoteChanges(std::function<void()> completion) override;

  // SyncMonitor
  Subscription observeEvents(std::function<void(const SyncEvent&)> handler) override;
  void processPersistentHistory(Completion<void> completion) override;
  bool takePendingLocalChanges() override;
  bool takePendingRemoteChanges() override;

  // Scripting. A failure set for pull or push stays until it is cleared with nullopt.
  void setPullFailure(std::optional<platform::Error> error) { pullFailure_ = std::move(error); }
  void setPushFailure(std::optional<platform::Error> error) { pushFailure_ = std::move(error); }
  void setHistoryFailure(std::optional<platform::Error> error) { historyFailure_ = std::move(error); }
  // While holding, pulls wait until released, then complete with the outcome scripted by then.
  void holdPulls(bool hold) { holdPulls_ = hold; }
  void releaseHeldPulls();
  // What the next successful history processing finds: local and/or remote transactions.
  void stageHistory(bool local, bool remote);
  // Delivers the event to the subscribers now, as the monitor does on the main thread.
  void post(const SyncEvent& event) const { events_.emit(event); }

  // Reading back.
  int pullCount() const { return pullCount_; }
  int pushCount() const { return pushCount_; }
  int historyProcessingCount() const { return historyProcessingCount_; }
  bool pendingLocalChanges() const { return pendingLocal_; }
  bool pendingRemoteChanges() const { return pendingRemote_; }

 private:
  std::optional<platform::Error> pullFailure_;
  std::optional<platform::Error> pushFailure_;
  std::optional<platform::Error> historyFailure_;
  bool holdPulls_ = false;
  std::vector<Completion<void>> heldPulls_;
  bool stagedLocal_ = false;
  bool stagedRemote_ = false;
  bool pendingLocal_ = false;
  bool pendingRemote_ = false;
  int pullCount_ = 0;
  int pushCount_ = 0;
  int historyProcessingCount_ = 0;
  Signal<SyncEvent> events_;
};

}  // namespace velloran::testing
