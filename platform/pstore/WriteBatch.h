#pragma once
// Several saves committed as one transaction of the store, for a long run of saves (a backlog
// applied chunk by chunk, say) that would otherwise pay a commit for every one of them.
//
// An open batch belongs to the thread that opened it:
//  - every save made on that thread, through any context, is written into the batch, each still all
//    or nothing (a save that fails leaves the batch as it was), and reads on that thread see what
//    the batch wrote so far;
//  - other threads read the store as it was before the batch, without waiting for it, and their
//    saves wait until the batch ends.
// Nothing the batch wrote is visible elsewhere, merged into other contexts or announced by the
// remote-change notification before commit(); then all of it is, as one commit. A batch that ends
// without commit() (its owner gave up, or the process ended) leaves the store as it was before the
// batch; contexts that saved into it then hold objects the store does not have, and are dropped.
//
// Use a batch on its own thread only, from begin to end, and keep that thread from waiting for
// another thread's save meanwhile. Between saves, a batch that finds writersWaiting() lets them in:
// it commits, and a new batch begins after them.

#include <memory>

#include "platform/error/Result.h"
#include "platform/pstore/PersistentStore.h"
#include "platform/pstore/PersistentStoreCoordinator.h"

namespace platform {

class WriteBatch {
 public:
  // Opens a batch on the coordinator's loaded store, once the saves that wait already had their
  // turn. Fails without a loaded store, and while this thread has a batch open.
  static Result<std::unique_ptr<WriteBatch>> begin(PersistentStoreCoordinator& coordinator);
  // Rolls back what was not committed.
  ~WriteBatch();
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  // Commits everything the batch holds and ends it; a failure rolls all of it back. Other contexts
  // merge the changes and the remote-change notification is posted as after any commit.
  Result<void> commit();
  // Whether another thread waits to save.
  bool writersWaiting() const;

 private:
  WriteBatch(PersistentStoreCoordinator& coordinator, std::shared_ptr<PersistentStore> store)
      : coordinator_(coordinator), store_(std::move(store)) {}

  PersistentStoreCoordinator& coordinator_;
  std::shared_ptr<PersistentStore> store_;
  bool open_ = true;
};

}  // namespace platform
