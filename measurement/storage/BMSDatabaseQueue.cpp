// The upload queue of the measurement database: compressed bundles waiting for upload.
#include <algorithm>

#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

platform::Result<std::int64_t> BMSDatabase::insertBundleData(const platform::Bytes& compressedData,
                                                             double endTimestampSeconds, bool isRealtime) {
  keptUploadDataFacts_.reset();
  auto inserted = store_->run("INSERT INTO queue (bundle_end_timestamp, data, has_realtime) VALUES (?, ?, ?)",
                              {endTimestampSeconds, compressedData, std::int64_t{isRealtime ? 1 : 0}});
  if (!inserted)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to queue bundle", inserted.error());
  highestQueueRowID_ = std::max(highestQueueRowID_, store_->lastInsertRowID());
  return store_->lastInsertRowID();
}

platform::Result<void> BMSDatabase::runForRowIDs(const std::string& sqlPrefix,
                                                 const std::vector<std::int64_t>& rowIDs) {
  if (rowIDs.empty()) return {};
  const std::vector<platform::SqlValue> parameters(rowIDs.begin(), rowIDs.end());
  return store_->run(sqlPrefix + " (" + storage::parameterList(rowIDs.size()) + ")", parameters);
}

platform::Result<void> BMSDatabase::deleteBundlesWithRowIDs(const std::vector<std::int64_t>& rowIDs) {
  keptUploadDataFacts_.reset();
  if (auto done = runForRowIDs("DELETE FROM queue WHERE rowid IN", rowIDs); !done) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete queued bundles", done.error());
  }
  return {};
}

platform::Result<void> BMSDatabase::incrementRetryCounterForBundlesWithIDs(
    const std::vector<std::int64_t>& rowIDs) {
  auto done = runForRowIDs("UPDATE queue SET retry_count = retry_count + 1 WHERE retry_count < " +
                               std::to_string(kBundleRetryCountLimit) + " AND rowid IN",
                           rowIDs);
  if (!done)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to count upload retries", done.error());
  return {};
}

platform::Result<bool> BMSDatabase::isQueuedBundleTableEmpty() {
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM queue)");
  if (!any)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read the upload queue", any.error());
  return *any == 0;
}

platform::Result<double> BMSDatabase::queryLatestBundleTime() {
  auto latest = store_->scalar("SELECT max(bundle_end_timestamp) FROM queue");
  if (!latest)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read the upload queue", latest.error());
  return storage::realValue(*latest);
}

platform::Result<bool> BMSDatabase::containsRealtimeBundles() {
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM queue WHERE has_realtime != 0)");
  if (!any)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read the upload queue", any.error());
  return *any != 0;
}

}  // namespace beacon
