// Per-name event aggregates and user attributes of the measurement database.
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

namespace {

constexpr const char* kAggregateColumns =
    "name, lifetime_count, current_bundle_count, current_session_count, last_fire_timestamp,"
    " last_bundled_timestamp, last_sampled_complex_event_id, last_sampling_rate, last_exempt_from_sampling,"
    " last_bundled_day";

using storage::textColumn;

std::int32_t int32Column(const platform::SqliteRow& row, int column) {
  const std::int64_t value = row.integer(column);
  return value < INT32_MIN || value > INT32_MAX ? -1 : static_cast<std::int32_t>(value);
}

// Empty for a row whose name or counts the engine would refuse (edited outside, or damaged).
std::optional<BMSEventAggregates> aggregatesFromRow(const platform::SqliteRow& row) {
  std::optional<BMSEventAggregates> aggregates =
      BMSEventAggregates::initWithName(textColumn(row, 0), int32Column(row, 1), int32Column(row, 2),
                                       int32Column(row, 3), storage::realColumn(row, 4));
  if (!aggregates) return std::nullopt;
  aggregates->lastBundledTimestamp = storage::realColumn(row, 5);
  if (platform::SqlValue sampled = row.column(6); auto* id = std::get_if<std::int64_t>(&sampled)) {
    aggregates->lastSampledComplexEventID = *id;
  }
  if (!platform::isNull(row.column(7))) aggregates->lastSamplingRate = int32Column(row, 7);
  aggregates->lastExemptFromSampling = row.integer(8) != 0;
  aggregates->lastBundledDay = int32Column(row, 9);
  return aggregates;
}

std::optional<BMSUserAttribute> attributeFromRow(const platform::SqliteRow& row) {
  std::optional<BMSValue> value = storage::valueFromColumns(row, 3);
  if (!value) return std::nullopt;
  return BMSUserAttribute::initWithOrigin(textColumn(row, 1), textColumn(row, 0), *value,
                                          storage::realColumn(row, 2));
}

constexpr const char* kAttributeColumns =
    "name, origin, set_timestamp, value_type, int_value, double_value, string_value";

platform::Result<std::vector<BMSUserAttribute>> readUserAttributes(BMSSqliteStore& store,
                                                                   std::string_view sql) {
  std::vector<BMSUserAttribute> attributes;
  auto read = store.run(sql, {}, [&](const platform::SqliteRow& row) {
    if (auto attribute = attributeFromRow(row)) attributes.push_back(std::move(*attribute));
  });
  if (!read)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read user attributes", read.error());
  return attributes;
}

}  // namespace

platform::Result<std::optional<BMSEventAggregates>> BMSDatabase::eventAggregatesWithName(
    const std::string& name) {
  auto stamp = readStamp();
  if (!stamp)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read event aggregates", stamp.error());
  if (keptAggregatesStamp_ != *stamp) {
    keptAggregates_.clear();
    keptAggregatesStamp_ = *stamp;
  }
  if (auto kept = keptAggregates_.find(name); kept != keptAggregates_.end())
    return std::optional<BMSEventAggregates>(kept->second);
  std::optional<BMSEventAggregates> found;
  bool invalid = false;
  // Never destroyed, like every such static in this file: SDK queues may still use them while
  // the process's exit handlers run.
  static const std::string& sql =
      *new std::string(std::string("SELECT ") + kAggregateColumns + " FROM events WHERE name = ?");
  auto read = store_->run(sql, {name}, [&](const platform::SqliteRow& row) {
    found = aggregatesFromRow(row);
    invalid = !found;
  });
  if (!read)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read event aggregates", read.error());
  if (invalid)
    return databaseError(DatabaseErrorCode::InvalidRow, "Stored event aggregates are invalid: " + name);
  if (found) keptAggregates_.insert_or_assign(name, *found);
  return found;
}

platform::Result<void> BMSDatabase::updateEventAggregates(const BMSEventAggregates& aggregates) {
  keptAggregates_.erase(aggregates.name());
  auto written = store_->run(
      std::string("INSERT OR REPLACE INTO events (") + kAggregateColumns +
          ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {aggregates.name(), std::int64_t{aggregates.lifetimeCount()},
       std::int64_t{aggregates.currentBundleCount()}, std::int64_t{aggregates.currentSessionCount()},
       aggregates.lastFireTimestamp(), aggregates.lastBundledTimestamp,
       aggregates.lastSampledComplexEventID ? platform::SqlValue(*aggregates.lastSampledComplexEventID)
                                            : platform::SqlValue(),
       std::int64_t{aggregates.lastSamplingRate}, std::int64_t{aggregates.lastExemptFromSampling ? 1 : 0},
       std::int64_t{aggregates.lastBundledDay}});
  if (!written) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write event aggregates", written.error());
  }
  return {};
}

platform::Result<std::vector<BMSEventAggregates>> BMSDatabase::allEventAggregates() {
  std::vector<BMSEventAggregates> all;
  auto read = store_->run(std::string("SELECT ") + kAggregateColumns + " FROM events ORDER BY name", {},
                          [&](const platform::SqliteRow& row) {
                            if (auto aggregates = aggregatesFromRow(row))
                              all.push_back(std::move(*aggregates));
                          });
  if (!read)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read event aggregates", read.error());
  return all;
}

platform::Result<std::int64_t> BMSDatabase::publicEventCount() {
  auto counted = store_->integer("SELECT count(*) FROM events WHERE substr(name, 1, 1) != '_'");
  if (!counted)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to count events", counted.error());
  return *counted;
}

platform::Result<void> BMSDatabase::clearCurrentSessionCounts() {
  if (auto cleared = store_->execute("UPDATE events SET current_session_count = 0"); !cleared) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to clear session counts", cleared.error());
  }
  return {};
}

platform::Result<std::optional<BMSUserAttribute>> BMSDatabase::userAttributeWithName(
    const std::string& name) {
  std::optional<BMSUserAttribute> found;
  static const std::string& sql =
      *new std::string(std::string("SELECT ") + kAttributeColumns + " FROM user_attributes WHERE name = ?");
  auto read =
      store_->run(sql, {name}, [&](const platform::SqliteRow& row) { found = attributeFromRow(row); });
  if (!read)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read user attribute", read.error());
  return found;
}

platform::Result<bool> BMSDatabase::containsUserAttributeWithName(const std::string& name) {
  auto any = store_->integer("SELECT EXISTS (SELECT 1 FROM user_attributes WHERE name = ?)", {name});
  if (!any) return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read user attribute", any.error());
  return *any != 0;
}

platform::Result<void> BMSDatabase::updateUserAttribute(const BMSUserAttribute& attribute) {
  const std::optional<storage::StoredValueColumns> value = storage::storedValueColumns(attribute.value());
  if (!value) {
    return databaseError(DatabaseErrorCode::InvalidRow,
                         "A user attribute cannot hold an array: " + attribute.name());
  }
  keptUserAttributes_.reset();
  auto written = store_->run(std::string("INSERT OR REPLACE INTO user_attributes (") + kAttributeColumns +
                                 ") VALUES (?, ?, ?, ?, ?, ?, ?)",
                             {attribute.name(), attribute.origin(), attribute.lastSetTimestamp(), value->type,
                              value->integer, value->real, value->text});
  if (!written)
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write user attribute", written.error());
  return {};
}

platform::Result<void> BMSDatabase::deleteUserAttributeWithName(const std::string& name) {
  keptUserAttributes_.reset();
  if (auto deleted = store_->run("DELETE FROM user_attributes WHERE name = ?", {name}); !deleted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete user attribute", deleted.error());
  }
  return {};
}

platform::Result<std::vector<BMSUserAttribute>> BMSDatabase::userAttributesIncludingInternal(
    bool includingInternal) {
  static const std::string& all =
      *new std::string(std::string("SELECT ") + kAttributeColumns + " FROM user_attributes ORDER BY name");
  static const std::string& publicOnly =
      *new std::string(std::string("SELECT ") + kAttributeColumns +
                       " FROM user_attributes WHERE substr(name, 1, 1) != '_' ORDER BY name");
  if (!includingInternal) return readUserAttributes(*store_, publicOnly);
  auto stamp = readStamp();
  if (!stamp) {
    keptUserAttributes_.reset();
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read user attributes", stamp.error());
  }
  if (keptUserAttributes_ && keptUserAttributes_->stamp == *stamp) return keptUserAttributes_->all;
  keptUserAttributes_.reset();
  auto read = readUserAttributes(*store_, all);
  if (read) keptUserAttributes_ = KeptUserAttributes{*read, *stamp};
  return read;
}

platform::Result<std::int64_t> BMSDatabase::publicUserAttributeCount() {
  auto counted = store_->integer("SELECT count(*) FROM user_attributes WHERE substr(name, 1, 1) != '_'");
  if (!counted)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to count user attributes", counted.error());
  return *counted;
}

platform::Result<std::int64_t> BMSDatabase::userAttributeCountForOrigin(const std::string& origin) {
  auto counted = store_->integer("SELECT count(*) FROM user_attributes WHERE origin = ?", {origin});
  if (!counted)
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to count user attributes", counted.error());
  return *counted;
}

}  // namespace beacon
