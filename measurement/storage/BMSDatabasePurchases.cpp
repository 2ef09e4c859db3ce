// Purchase fingerprints and subscription IDs the engine has already reported, and the audiences of
// the downloaded configuration.
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

platform::Result<void> BMSDatabase::replaceAudiences(const std::vector<StoredAudience>& audiences) {
  auto replaced = storage::transact(*store_, [&]() -> platform::Result<void> {
    if (auto cleared = store_->execute("DELETE FROM audiences"); !cleared) return cleared;
    for (const StoredAudience& audience : audiences) {
      auto stored = store_->run("INSERT OR REPLACE INTO audiences (audience_id, definition) VALUES (?, ?)",
                                {std::int64_t{audience.audienceID}, audience.definition});
      if (!stored) return stored;
    }
    return {};
  });
  if (!replaced)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to store audiences", replaced.error());
  return {};
}

platform::Result<std::vector<BMSDatabase::StoredAudience>> BMSDatabase::audiences() {
  std::vector<StoredAudience> audiences;
  auto read = store_->run("SELECT audience_id, definition FROM audiences ORDER BY audience_id", {},
                          [&](const platform::SqliteRow& row) {
                            StoredAudience audience{static_cast<std::int32_t>(row.integer(0)), {}};
                            platform::SqlValue definition = row.column(1);
                            if (auto* bytes = std::get_if<platform::Bytes>(&definition)) {
                              audience.definition = std::move(*bytes);
                            }
                            audiences.push_back(std::move(audience));
                          });
  if (!read) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read audiences", read.error());
  return audiences;
}

}  // namespace beacon
