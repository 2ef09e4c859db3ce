#include "platform/mirror/ImportBatches.h"

#include <algorithm>

namespace platform {
namespace {

// Adds reasons to `kept` until it holds kReportedUnreadable.
void keepReasons(std::vector<std::string>& kept, const std::vector<std::string>& reasons) {
  const std::size_t room = kReportedUnreadable - std::min(kept.size(), kReportedUnreadable);
  kept.insert(kept.end(), reasons.begin(),
              reasons.begin() + static_cast<std::ptrdiff_t>(std::min(room, reasons.size())));
}

}  // namespace

Result<void> ImportBatches::open() {
  if (batch_) return {};
  Result<std::unique_ptr<WriteBatch>> begun = WriteBatch::begin(coordinator_);
  if (!begun) return begun.error();
  batch_ = std::move(*begun);
  return {};
}

void ImportBatches::applied(const std::vector<std::string>& unreadable) {
  ++chunks_;
  batchUnreadableCount_ += unreadable.size();
  keepReasons(batchUnreadable_, unreadable);
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
    unreadableCount_ += batchUnreadableCount_;
    keepReasons(unreadable_, batchUnreadable_);
  }
  chunks_ = 0;
  batchUnreadableCount_ = 0;
  batchUnreadable_.clear();
  return committed;
}

}  // namespace platform
