#pragma once
// The sync monitor: the application's SyncService over the mirrored container, and the SyncMonitor
// the library view model follows. It moves no data itself (the container's mirror does); it
//  - republishes the mirror's events that have ended or failed as SyncEvents, on the main thread,
//    in the order they were posted (eventsSubject / observeEvents);
//  - reads the store's persistent history after its token, tells this application's changes
//    (transaction author "Velloran") from everyone else's (any other author, or none), raises the
//    pending local / pending remote flag accordingly, and merges the changes into the view context;
//  - keeps the token in "PersistentHistoryToken.data" in Application Support (HistoryTokenStore.h).
// History is processed whenever the store posts its remote-change notification, when the view model
// asks after each successful event, and on a manual pull. A token the store no longer knows (the
// store was replaced after a reset) is dropped and all history is read again.
//
// Made once, by make(), and shared; observers and tasks hold it weakly, except the start-up task
// that registers for remote-change notifications on the main queue (it keeps the monitor until it
// has run). Releasing the monitor ends its observations.
//
// Threads: every SyncService operation and processPersistentHistory moves to the main queue first
// and completes there, exactly once and never inline; the history fetch runs on a background
// context's queue meanwhile. The pending flags sit behind the serial queue
// "CloudKitSyncService.pendingChanges" and the take functions enter it themselves, so they are safe
// from any thread but that queue. observeEvents and eventsSubject belong to the main thread.
//
// Failures, of events and of operations alike, are reported in the app's terms: the mirror's and
// the store's errors as SyncProblem errors wrapping them (SyncErrorMapping.h).

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Velloran/data/Signal.h"
#include "Velloran/data/SyncMonitor.h"
#include "Velloran/data/SyncService.h"
#include "Velloran/sync/HistoryTokenStore.h"
#include "platform/dispatch/Queue.h"
#include "platform/mirror/MirrorEvent.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/PersistentContainer.h"

namespace velloran {

inline constexpr std::string_view kHistoryTokenFileName = "PersistentHistoryToken.data";

class CloudKitSyncService final : public SyncService,
                                  public SyncMonitor,
                                  public std::enable_shared_from_this<CloudKitSyncService> {
  struct Passkey {};

 public:
  struct Options {
    // The token's file; without one, kHistoryTokenFileName in Application Support. When there is no
    // Application Support folder either, the token is kept in memory only.
    std::optional<std::filesystem::path> tokenFile;
    // The centre the container posts on; the default centre when null. Must outlive the monitor.
    platform::NotificationCenter* notificationCenter = nullptr;
  };

  static std::shared_ptr<CloudKitSyncService> make(std::shared_ptr<platform::PersistentContainer> container);
  static std::shared_ptr<CloudKitSyncService> make(std::shared_ptr<platform::PersistentContainer> container,
                                                   Options options);
  CloudKitSyncService(Passkey, std::shared_ptr<platform::PersistentContainer> container, Options options);
  CloudKitSyncService(const CloudKitSyncService&) = delete;
  CloudKitSyncService& operator=(const CloudKitSyncService&) = delete;

  // --- SyncService ---------------------------------------------------------------------------
  // Makes the view context read the newest state, lets the mirror import what other machines
  // wrote, then processes history.
  void pullChanges(Completion<void> completion) override;
  // Saves the view context when it has changes, then lets the mirror export what waits. A store
  // that is not mirrored skips the mirror's part. Every failure reaches the caller, also one the
  // mirror reported before (a missing mirror folder fails each pull and push while it is missing).
  void pushChanges(Completion<void> completion) override;
  // Registers one more observer of the store's remote-change notification; each notification
  // starts a history processing whose outcome is ignored.
  void startObservingRemoteChanges(std::function<void()> completion) override;

  // --- SyncMonitor ---------------------------------------------------------------------------
  [[nodiscard]] Subscription observeEvents(std::function<void(const SyncEvent&)> handler) override;
  void processPersistentHistory(Completion<void> completion) override;
  bool takePendingLocalChanges() override;
  bool takePendingRemoteChanges() override;

  // The published events: those that have ended or carry an error.
  const Signal<SyncEvent>& eventsSubject() const { return eventsSubject_; }
  // The position after which history has not been processed yet.
  std::optional<platform::HistoryToken> historyToken() const { return tokens_.current(); }

 private:
  using History = platform::Result<std::vector<platform::HistoryTransaction>>;

  void registerEventObserver();
  // The mirror's operation, when the container mirrors; else `done` at once with success. On the
  // main queue.
  void runMirror(void (platform::MirroredPersistentContainer::*operation)(platform::CloudMirror::Done),
                 platform::CloudMirror::Done done);
  // On the background context's queue.
  History fetchHistory(platform::ManagedObjectContext& context,
                       const std::optional<platform::HistoryToken>& token);
  // On the main queue.
  void applyHistory(const std::vector<platform::HistoryTransaction>& transactions);
  bool take(bool& flag);

  const std::shared_ptr<platform::PersistentContainer> container_;
  platform::NotificationCenter& notificationCenter_;
  const platform::QueueRef pendingChangesQueue_;
  HistoryTokenStore tokens_;
  Signal<SyncEvent> eventsSubject_;

  // Behind pendingChangesQueue_.
  bool pendingLocalChanges_ = false;
  bool pendingRemoteChanges_ = false;

  // Main thread.
  platform::ObserverToken eventObserver_;
  std::vector<platform::ObserverToken> remoteChangeObservers_;
};

}  // namespace velloran
