// Purchase fingerprints and subscription IDs the engine has already reported.
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

platform::Result<bool> BMSDatabase::insertIfNotDuplicate(const std::string& table, const std::string& column,
                                                         const std::string& value) {
  auto inserted = store_->run("INSERT OR IGNORE INTO " + table + " (" + column + ", created) VALUES (?, ?)",
                              {value, nowSince1970()});
  if (!inserted)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to store " + column, inserted.error());
  return store_->changes() > 0;
}

platform::Result<bool> BMSDatabase::insertIfNotDuplicatePurchaseFingerprint(const std::string& fingerprint) {
  return insertIfNotDuplicate("purchases", "fingerprint", fingerprint);
}

platform::Result<bool> BMSDatabase::insertIfNotDuplicateSubscriptionID(const std::string& subscriptionID) {
  return insertIfNotDuplicate("subscriptions", "subscription_id", subscriptionID);
}

platform::Result<std::int64_t> BMSDatabase::deleteSubscriptionsOverLimit() {
  auto deleted = store_->run(
      "DELETE FROM subscriptions WHERE rowid NOT IN"
      " (SELECT rowid FROM subscriptions ORDER BY created DESC, rowid DESC LIMIT ?)",
      {kSubscriptionsLimit});
  if (!deleted)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to trim subscriptions", deleted.error());
  return store_->changes();
}

}  // namespace beacon
