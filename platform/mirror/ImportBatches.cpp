#include "platform/mirror/ImportBatches.h"

namespace platform {

Result<void> ImportBatches::open() {
  if (batch_) return {};
  Result<std::unique_ptr<WriteBatch>> begun = WriteBatch::begin(coordinator_);
  if (!begun) return begun.error();
  batch_ = std::move(*begun);
  return {};
}

void ImportBatches::applied(const std::vector<std::string>& unreadable) {
  ++chunks_;
  batchUnreadable_.insert(batchUnreadable_.end(), unreadable.begin(), unreadable.end());
}

Result<void> ImportBatches::commitWhenDue() {
  if (!batch_ || (chunks_ < kImportBatchChunks && !batch_->writersWaiting())) return {};
  return commit();
}

Result<void> ImportBatches::commit() {
  if (!batch_) return {};
  Result<void> committed = batch_->commit();
  batch_.reset();
  if (committed) {
    appliedAny_ = appliedAny_ || chunks_ > 0;
    unreadable_.insert(unreadable_.end(), batchUnreadable_.begin(), batchUnreadable_.end());
  }
  chunks_ = 0;
  batchUnreadable_.clear();
  return committed;
}

}  // namespace platform
