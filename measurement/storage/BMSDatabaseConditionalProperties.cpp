// Conditional user properties of the measurement database.
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

namespace {

constexpr const char* kPropertyColumns =
    "name, origin, value_type, int_value, double_value, string_value, trigger_event_name, trigger_timeout,"
    " time_to_live, creation_timestamp, triggered_timestamp, active, triggered_event, timed_out_event,"
    " expired_event";

platform::SqlValue eventColumn(const std::optional<BMSEvent>& event) {
  if (!event) return {};
  std::optional<platform::Bytes> encoded = event->protoEvent().protoBuffer();
  return encoded ? platform::SqlValue(std::move(*encoded)) : platform::SqlValue();
}

// Empty for null, and for bytes that are no longer a readable event.
std::optional<BMSEvent> eventFromColumn(const platform::SqliteRow& row, int column) {
  const platform::SqlValue value = row.column(column);
  const auto* bytes = std::get_if<platform::Bytes>(&value);
  if (!bytes) return std::nullopt;
  std::optional<BMSPBEvent> proto = BMSPBEvent::initWithBuffer(*bytes);
  return proto ? BMSEvent::initWithEventProto(*proto) : std::nullopt;
}

std::optional<BCNAConditionalUserProperty> propertyFromRow(const platform::SqliteRow& row) {
  BCNAConditionalUserProperty property;
  property.value = storage::valueFromColumns(row, 2);
  if (!property.value) return std::nullopt;
  property.name = storage::textColumn(row, 0);
  property.origin = storage::textColumn(row, 1);
  property.triggerEventName = storage::textColumn(row, 6);
  property.triggerTimeout = storage::realColumn(row, 7);
  property.timeToLive = storage::realColumn(row, 8);
  property.creationTimestamp = storage::realColumn(row, 9);
  property.triggeredTimestamp = storage::realColumn(row, 10);
  property.active = row.integer(11) != 0;
  property.triggeredEvent = eventFromColumn(row, 12);
  property.timedOutEvent = eventFromColumn(row, 13);
  property.expiredEvent = eventFromColumn(row, 14);
  return property;
}

}  // namespace

platform::Result<void> BMSDatabase::updateConditionalUserProperty(
    const BCNAConditionalUserProperty& property) {
  std::optional<storage::StoredValueColumns> value;
  if (property.value) value = storage::storedValueColumns(*property.value);
  if (!value) {
    return databaseError(DatabaseErrorCode::InvalidRow,
                         "A conditional user property needs a scalar value: " + property.name);
  }
  auto written = store_->run(std::string("INSERT OR REPLACE INTO conditional_properties (") +
                                 kPropertyColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                             {property.name, property.origin, value->type, value->integer, value->real,
                              value->text, property.triggerEventName, property.triggerTimeout,
                              property.timeToLive, property.creationTimestamp, property.triggeredTimestamp,
                              std::int64_t{property.active ? 1 : 0}, eventColumn(property.triggeredEvent),
                              eventColumn(property.timedOutEvent), eventColumn(property.expiredEvent)});
  if (!written) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to write conditional user property",
                         written.error());
  }
  return {};
}

platform::Result<std::optional<BCNAConditionalUserProperty>> BMSDatabase::conditionalUserPropertyWithName(
    const std::string& name) {
  std::optional<BCNAConditionalUserProperty> found;
  auto read =
      store_->run(std::string("SELECT ") + kPropertyColumns + " FROM conditional_properties WHERE name = ?",
                  {name}, [&](const platform::SqliteRow& row) { found = propertyFromRow(row); });
  if (!read) {
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read conditional user property",
                         read.error());
  }
  return found;
}

platform::Result<std::vector<BCNAConditionalUserProperty>> BMSDatabase::conditionalUserProperties() {
  std::vector<BCNAConditionalUserProperty> properties;
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::string& sql = *new std::string(std::string("SELECT ") + kPropertyColumns +
                                                   " FROM conditional_properties ORDER BY name");
  auto read = store_->run(sql, {}, [&](const platform::SqliteRow& row) {
    if (auto property = propertyFromRow(row)) properties.push_back(std::move(*property));
  });
  if (!read) {
    return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read conditional user properties",
                         read.error());
  }
  return properties;
}

platform::Result<void> BMSDatabase::deleteConditionalUserPropertyWithName(const std::string& name) {
  if (auto deleted = store_->run("DELETE FROM conditional_properties WHERE name = ?", {name}); !deleted) {
    return databaseError(DatabaseErrorCode::WriteFailed, "Failed to delete conditional user property",
                         deleted.error());
  }
  return {};
}

}  // namespace beacon
