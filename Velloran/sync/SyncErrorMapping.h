#pragma once
// The sync layer's translation of what the mirror and the store report into the app's own terms
// (SyncEvent.h, SyncProblem.h):
//  - the mirror's failures: temporarilyUnavailable while the network or the service is away
//    (codes 3, 4, 6), noAccount without an account (9), clockAhead for changes stamped while this
//    machine's clock ran far ahead (102), unavailable for any other code;
//  - the store's failures (persistent-store and database domains): unavailable;
//  - anything else (a PromptError, say) passes unchanged.
// Pure functions, safe on any thread.

#include "Velloran/data/SyncEvent.h"
#include "platform/error/Error.h"
#include "platform/mirror/MirrorEvent.h"

namespace velloran {

platform::Error appSyncError(const platform::Error& error);

SyncEvent appSyncEvent(const platform::MirrorEvent& event);

}  // namespace velloran
