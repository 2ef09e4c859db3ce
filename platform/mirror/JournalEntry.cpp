#include "platform/mirror/JournalEntry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/value/Base64.h"

namespace platform {
namespace {

using Json = nlohmann::json;

constexpr const char* kClock = "clock";
constexpr const char* kDevice = "device";
constexpr const char* kOperation = "op";
constexpr const char* kEntity = "entity";
constexpr const char* kRecord = "record";
constexpr const char* kFields = "fields";
constexpr const char* kSave = "save";
constexpr const char* kDelete = "delete";

Error unreadable(const std::string& why) {
  return cloudMirrorError(CloudMirrorErrorCode::UnreadableEntry, "Unreadable journal entry: " + why);
}

Json attributeJson(const AttributeValue& value) {
  return std::visit(
      [](const auto& typed) -> Json {
        using T = std::decay_t<decltype(typed)>;
        if constexpr (std::is_same_v<T, Bytes>) {
          return base64Encode(typed);
        } else if constexpr (std::is_same_v<T, Date>) {
          // JSON cannot spell an infinity (it would go out as null, which every reader refuses for
          // a required date): the farthest finite date stands in for it.
          return std::clamp(typed.secondsSinceReferenceDate, std::numeric_limits<double>::lowest(),
                            std::numeric_limits<double>::max());
        } else if constexpr (std::is_same_v<T, UUID>) {
          return typed.uuidString();
        } else {
          return typed;
        }
      },
      value);
}

std::optional<UUID> uuidFrom(const Json& json) {
  if (!json.is_string()) return std::nullopt;
  return UUID::fromString(json.get_ref<const std::string&>());
}

// The value of an attribute of `type`, or nullopt when the JSON does not hold one.
std::optional<AttributeValue> attributeFrom(AttributeType type, const Json& json) {
  switch (type) {
    case AttributeType::UUID:
      if (std::optional<UUID> uuid = uuidFrom(json)) return *uuid;
      return std::nullopt;
    case AttributeType::String:
      if (json.is_string()) return json.get<std::string>();
      return std::nullopt;
    case AttributeType::Binary:
      if (!json.is_string()) return std::nullopt;
      if (std::optional<Bytes> bytes = base64Decode(json.get_ref<const std::string&>())) return *bytes;
      return std::nullopt;
    case AttributeType::Boolean:
      if (json.is_boolean()) return json.get<bool>();
      return std::nullopt;
    case AttributeType::Date:
      if (json.is_number() && std::isfinite(json.get<double>())) return Date{json.get<double>()};
      return std::nullopt;
    case AttributeType::Integer32:
      // An unsigned number above the signed range would read as a negative one.
      if (json.is_number_integer() && !(json.is_number_unsigned() && json.get<std::uint64_t>() > INT64_MAX)) {
        const std::int64_t number = json.get<std::int64_t>();
        if (number >= std::numeric_limits<std::int32_t>::min() &&
            number <= std::numeric_limits<std::int32_t>::max()) {
          return number;
        }
      }
      return std::nullopt;
  }
  return std::nullopt;
}

Result<RecordFields> fieldsFrom(const Json& json, const EntityDescription& entity) {
  if (!json.is_object()) return unreadable("the fields of a save are not an object");
  RecordFields fields;
  for (const AttributeDescription& attribute : entity.attributes) {
    auto found = json.find(attribute.name);
    if (found == json.end()) {
      if (!attribute.optional && !attribute.defaultValue) {
        return unreadable(entity.name + "." + attribute.name + " is required but missing");
      }
      continue;
    }
    if (found->is_null()) {
      if (!attribute.optional)
        return unreadable(entity.name + "." + attribute.name + " is required but null");
      fields.attributes.emplace(attribute.name, std::nullopt);
      continue;
    }
    std::optional<AttributeValue> value = attributeFrom(attribute.type, *found);
    if (!value) return unreadable(entity.name + "." + attribute.name + " holds no value of its type");
    fields.attributes.emplace(attribute.name, std::move(value));
  }
  for (const RelationshipDescription& relationship : entity.relationships) {
    if (relationship.toMany) continue;
    auto found = json.find(relationship.name);
    if (found == json.end()) continue;
    if (found->is_null()) {
      fields.references.emplace(relationship.name, std::nullopt);
      continue;
    }
    std::optional<UUID> target = uuidFrom(*found);
    if (!target) return unreadable(entity.name + "." + relationship.name + " names no record");
    fields.references.emplace(relationship.name, *target);
  }
  return fields;
}

}  // namespace

std::string encodeJournalLine(const JournalEntry& entry) {
  Json line{{kClock, entry.stamp.clock},
            {kDevice, entry.stamp.device.uuidString()},
            {kOperation, entry.operation == JournalEntry::Operation::Save ? kSave : kDelete},
            {kEntity, entry.entity},
            {kRecord, entry.record.uuidString()}};
  if (entry.operation == JournalEntry::Operation::Save) {
    Json fields = Json::object();
    for (const auto& [name, value] : entry.fields.attributes)
      fields[name] = value ? attributeJson(*value) : Json();
    for (const auto& [name, target] : entry.fields.references) {
      fields[name] = target ? Json(target->uuidString()) : Json();
    }
    line[kFields] = std::move(fields);
  }
  // Text that is not valid UTF-8 (a row edited by another program) must not stop the export; its
  // broken bytes are replaced rather than failing the whole line.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Result<JournalEntry> decodeJournalLine(std::string_view line, const ManagedObjectModel& model) {
  const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return unreadable("not a JSON object");
  JournalEntry entry;

  auto clock = json.find(kClock);
  if (clock == json.end() || !clock->is_number_integer() || clock->get<std::int64_t>() < 0) {
    return unreadable("no clock");
  }
  entry.stamp.clock = clock->get<std::int64_t>();

  auto device = json.find(kDevice);
  std::optional<UUID> deviceId = device == json.end() ? std::nullopt : uuidFrom(*device);
  if (!deviceId) return unreadable("no device");
  entry.stamp.device = *deviceId;

  auto record = json.find(kRecord);
  std::optional<UUID> recordName = record == json.end() ? std::nullopt : uuidFrom(*record);
  if (!recordName) return unreadable("no record name");
  entry.record = *recordName;

  auto entityName = json.find(kEntity);
  if (entityName == json.end() || !entityName->is_string()) return unreadable("no entity");
  entry.entity = entityName->get<std::string>();
  const EntityDescription* entity = model.entity(entry.entity);
  if (!entity) return unreadable("the model has no entity \"" + entry.entity + "\"");

  auto operation = json.find(kOperation);
  if (operation == json.end() || !operation->is_string()) return unreadable("no operation");
  if (*operation == kDelete) {
    entry.operation = JournalEntry::Operation::Delete;
    return entry;
  }
  if (*operation != kSave) return unreadable("unknown operation " + operation->dump());
  entry.operation = JournalEntry::Operation::Save;
  auto fields = json.find(kFields);
  if (fields == json.end()) return unreadable("a save without fields");
  Result<RecordFields> decoded = fieldsFrom(*fields, *entity);
  if (!decoded) return decoded.error();
  entry.fields = std::move(*decoded);
  return entry;
}

}  // namespace platform
