#pragma once
// The sync seam: what the library view model asks of whatever keeps the library in step with the
// user's other machines.
//
// Every operation moves to the main queue before it does anything, whatever thread calls it, and
// calls its completion there exactly once (an empty completion is allowed).
//  - pullChanges: brings changes other machines made into the local view of the data, or fails
//    with the error that stopped it.
//  - pushChanges: writes pending local changes so they can be sent, or fails likewise.
//  - startObservingRemoteChanges: begins reacting to notices that the store changed from outside;
//    it cannot fail.
// The manual sync calls pushChanges only after pullChanges succeeded.

#include <functional>

#include "Velloran/data/Completion.h"

namespace velloran {

class SyncService {
 public:
  virtual ~SyncService() = default;

  virtual void pullChanges(Completion<void> completion) = 0;
  virtual void pushChanges(Completion<void> completion) = 0;
  virtual void startObservingRemoteChanges(std::function<void()> completion) = 0;
};

}  // namespace velloran
