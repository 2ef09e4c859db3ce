#pragma once
// One write operation of the prompt store: a background task (BackgroundTask.h) whose fresh
// context records the transaction author "Velloran", runs `change` and commits all of it in its
// single save, or nothing.
//
// Conflicts: another context may commit a change to a row between this write's read of it and its
// save - the mirror's import does so as soon as a save waits for the store - and the save then fails
// with MergeConflict, writing nothing. The write then runs `change` again in a fresh task, which reads
// what that commit left, so it ends as if it had come just after that commit, and both are kept.
// `change` must therefore be a function of what its context reads and of the caller's values alone.
// It runs at most kStoreWriteTries times; the conflict of the last run is returned. Every other
// failure, of `change` or of the save, is returned at once. All failures are the store layer's
// errors, passed on unchanged.
//
// Blocks the calling thread as performBackgroundTaskAndWait does, the runs one after another.

#include <functional>

#include "platform/error/Result.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentContainer.h"

namespace velloran {

// Bounded: a run conflicts only with a commit that landed between its own read and its save. An
// import commits as soon as a save waits, so a run meets a conflict again only when the import's
// next batch changes the same prompt once more, which a few runs get past; a writer that keeps
// committing over the row, or a fault that makes every save conflict, thus ends in a failure the
// caller sees instead of holding up the store's operations for ever.
inline constexpr int kStoreWriteTries = 5;

using StoreChange = std::function<platform::Result<void>(platform::ManagedObjectContext&)>;

platform::Result<void> writeToStore(platform::PersistentContainer& container, const StoreChange& change);

}  // namespace velloran
