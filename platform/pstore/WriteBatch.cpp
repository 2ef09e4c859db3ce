#include "platform/pstore/WriteBatch.h"

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform {

Result<std::unique_ptr<WriteBatch>> WriteBatch::begin(PersistentStoreCoordinator& coordinator) {
  std::shared_ptr<PersistentStore> store = coordinator.persistentStore();
  if (!store) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                "There is no loaded store to write to.");
  }
  if (Result<void> begun = store->database().beginBatch(); !begun) return begun.error();
  return std::unique_ptr<WriteBatch>(new WriteBatch(coordinator, std::move(store)));
}

WriteBatch::~WriteBatch() {
  if (open_) store_->database().abandonBatch();
}

Result<void> WriteBatch::commit() {
  open_ = false;
  Result<detail::CommitResult> committed = store_->database().commitBatch();
  if (!committed) return committed.error();
  coordinator_.didCommit(nullptr, *store_, *committed);
  return {};
}

bool WriteBatch::writersWaiting() const {
  return store_->database().writersWaiting();
}

}  // namespace platform
