#pragma once
// What the library view model needs of the sync monitor, and nothing more: the stream of sync
// events (SyncEvent.h) that have ended or failed, history processing, and the two pending-change
// flags.
//
// The monitor that mirrors the library between machines implements this next to SyncService; the
// library view model finds it by asking its sync service whether it is one (a sync service that is
// not, such as MockSyncService, brings no events). It belongs to the app's domain, so the sync
// layer implements it without depending on the view models, and the view models use it without
// knowing the mirror.
//
// Threads: every member is called on the main thread.
//  - observeEvents: the handler is called on the main thread, once per event, in the order the
//    mirroring posted them, until the subscription ends. Only events that have ended (successfully
//    or not) or carry an error are delivered; an operation that has only started is not.
//  - processPersistentHistory: reads the store's history after the saved position, sets the pending
//    flags for what it finds (local: written by this application; remote: by anyone else) and
//    completes on the main queue, exactly once, never inline. A failure changes no flag.
//  - takePendingLocalChanges / takePendingRemoteChanges: return the flag and clear it, atomically
//    with respect to history processing.

#include <functional>

#include "Velloran/data/Completion.h"
#include "Velloran/data/Signal.h"
#include "Velloran/data/SyncEvent.h"

namespace velloran {

class SyncMonitor {
 public:
  virtual ~SyncMonitor() = default;

  [[nodiscard]] virtual Subscription observeEvents(std::function<void(const SyncEvent&)> handler) = 0;
  virtual void processPersistentHistory(Completion<void> completion) = 0;
  virtual bool takePendingLocalChanges() = 0;
  virtual bool takePendingRemoteChanges() = 0;
};

}  // namespace velloran
