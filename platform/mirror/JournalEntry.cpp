#include "platform/mirror/JournalEntry.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/JournalLineSyntax.h"
#include "platform/text/Scalars.h"
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
constexpr const char* kAlone = "alone";
constexpr const char* kSave = "save";
constexpr const char* kDelete = "delete";

Error unreadable(const std::string& why) {
  return cloudMirrorError(CloudMirrorErrorCode::UnreadableEntry, "Unreadable journal entry: " + why);
}

// A text from the line, quoted in a reason: a line may hold megabytes where a name belongs, and the
// reason travels on into reports.
std::string quotedExcerpt(const std::string& text) {
  constexpr std::size_t kQuotedScalars = 64;
  std::string shown = scalarPrefix(text, kQuotedScalars);
  return Json(shown).dump() + (shown.size() < text.size() ? "..." : "");
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

using mirror_detail::LineMembers;
using mirror_detail::LineValue;
using mirror_detail::Nested;

const std::string* textIn(const LineValue* value) {
  return value ? std::get_if<std::string>(value) : nullptr;
}

std::optional<UUID> uuidFrom(const LineValue* value) {
  const std::string* text = textIn(value);
  return text ? UUID::fromString(*text) : std::nullopt;
}

// A JSON integer that fits 64 signed bits (an unsigned one above that range is no negative number).
std::optional<std::int64_t> integerFrom(const LineValue& value) {
  if (const auto* negative = std::get_if<std::int64_t>(&value)) return *negative;
  if (const auto* number = std::get_if<std::uint64_t>(&value); number && *number <= INT64_MAX)
    return static_cast<std::int64_t>(*number);
  return std::nullopt;
}

std::optional<double> numberFrom(const LineValue& value) {
  if (const auto* number = std::get_if<double>(&value)) return *number;
  if (const auto* negative = std::get_if<std::int64_t>(&value)) return static_cast<double>(*negative);
  if (const auto* number = std::get_if<std::uint64_t>(&value)) return static_cast<double>(*number);
  return std::nullopt;
}

// The value of an attribute of `type`, or nullopt when the JSON does not hold one. A text is taken
// over rather than copied.
std::optional<AttributeValue> attributeFrom(AttributeType type, LineValue& value) {
  switch (type) {
    case AttributeType::UUID:
      if (std::optional<UUID> uuid = uuidFrom(&value)) return *uuid;
      return std::nullopt;
    case AttributeType::String:
      if (auto* text = std::get_if<std::string>(&value)) return std::move(*text);
      return std::nullopt;
    case AttributeType::Binary:
      if (const std::string* text = textIn(&value)) {
        if (std::optional<Bytes> bytes = base64Decode(*text)) return *bytes;
      }
      return std::nullopt;
    case AttributeType::Boolean:
      if (const auto* flag = std::get_if<bool>(&value)) return *flag;
      return std::nullopt;
    case AttributeType::Date:
      if (std::optional<double> seconds = numberFrom(value); seconds && std::isfinite(*seconds))
        return Date{*seconds};
      return std::nullopt;
    case AttributeType::Integer32:
      if (std::optional<std::int64_t> number = integerFrom(value);
          number && *number >= std::numeric_limits<std::int32_t>::min() &&
          *number <= std::numeric_limits<std::int32_t>::max()) {
        return *number;
      }
      return std::nullopt;
  }
  return std::nullopt;
}

Result<RecordFields> fieldsFrom(LineMembers& members, const EntityDescription& entity) {
  RecordFields fields;
  for (const AttributeDescription& attribute : entity.attributes) {
    LineValue* found = members.find(attribute.name);
    if (!found) {
      if (!attribute.optional && !attribute.defaultValue) {
        return unreadable(entity.name + "." + attribute.name + " is required but missing");
      }
      continue;
    }
    if (std::holds_alternative<std::nullptr_t>(*found)) {
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
    const LineValue* found = members.find(relationship.name);
    if (!found) continue;
    if (std::holds_alternative<std::nullptr_t>(*found)) {
      fields.references.emplace(relationship.name, std::nullopt);
      continue;
    }
    std::optional<UUID> target = uuidFrom(found);
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
  } else if (entry.alone) {
    line[kAlone] = true;
  }
  // Text that is not valid UTF-8 (a row edited by another program) must not stop the export; its
  // broken bytes are replaced rather than failing the whole line.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Result<JournalEntry> decodeJournalLine(std::string_view line, const ManagedObjectModel& model) {
  std::optional<mirror_detail::LineSyntax> syntax = mirror_detail::readLineSyntax(line);
  if (!syntax) return unreadable("not a JSON object");
  const LineMembers& json = syntax->top;
  JournalEntry entry;

  const LineValue* clockValue = json.find(kClock);
  const std::optional<std::int64_t> clock = clockValue ? integerFrom(*clockValue) : std::nullopt;
  if (!clock || *clock < 0) return unreadable("no clock");
  entry.stamp.clock = *clock;

  std::optional<UUID> deviceId = uuidFrom(json.find(kDevice));
  if (!deviceId) return unreadable("no device");
  entry.stamp.device = *deviceId;

  std::optional<UUID> recordName = uuidFrom(json.find(kRecord));
  if (!recordName) return unreadable("no record name");
  entry.record = *recordName;

  const std::string* entityName = textIn(json.find(kEntity));
  if (!entityName) return unreadable("no entity");
  entry.entity = *entityName;
  const EntityDescription* entity = model.entity(entry.entity);
  if (!entity) return unreadable("the model has no entity " + quotedExcerpt(entry.entity));

  const std::string* operation = textIn(json.find(kOperation));
  if (!operation) return unreadable("no operation");
  if (*operation == kDelete) {
    entry.operation = JournalEntry::Operation::Delete;
    // Anything but true reads as a deletion that went with the owner's, as lines of older versions do.
    const bool* alone = std::get_if<bool>(json.find(kAlone));
    entry.alone = alone && *alone;
    return entry;
  }
  if (*operation != kSave) return unreadable("unknown operation " + quotedExcerpt(*operation));
  entry.operation = JournalEntry::Operation::Save;
  const LineValue* fields = json.find(kFields);
  if (!fields) return unreadable("a save without fields");
  const auto* nested = std::get_if<Nested>(fields);
  if (!nested || !nested->object) return unreadable("the fields of a save are not an object");
  Result<RecordFields> decoded = fieldsFrom(syntax->fields, *entity);
  if (!decoded) return decoded.error();
  entry.fields = std::move(*decoded);
  return entry;
}

std::uint64_t journalEntryDigest(const JournalEntry& entry) {
  // The digest of a canonical byte form of the entry: cheaper than encoding it as its line again,
  // which an import would do for every entry. Each part states its kind and length, so that no
  // two different entries share a form.
  std::string form;
  const auto number = [&](std::uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) form.push_back(static_cast<char>(value >> shift));
  };
  const auto text = [&](std::string_view value) {
    number(value.size());
    form.append(value);
  };
  const auto uuid = [&](const UUID& value) {
    form.append(reinterpret_cast<const char*>(value.bytes().data()), value.bytes().size());
  };
  number(static_cast<std::uint64_t>(entry.stamp.clock));
  uuid(entry.stamp.device);
  form.push_back(entry.operation == JournalEntry::Operation::Save ? 's' : 'd');
  form.push_back(entry.alone ? 'a' : 'o');
  text(entry.entity);
  uuid(entry.record);
  number(entry.fields.attributes.size());
  for (const auto& [name, value] : entry.fields.attributes) {
    text(name);
    if (!value) {
      form.push_back('0');
      continue;
    }
    form.push_back(static_cast<char>('a' + value->index()));
    std::visit(
        [&](const auto& typed) {
          using T = std::decay_t<decltype(typed)>;
          if constexpr (std::is_same_v<T, bool>) {
            form.push_back(typed ? '1' : '0');
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            number(static_cast<std::uint64_t>(typed));
          } else if constexpr (std::is_same_v<T, std::string>) {
            text(typed);
          } else if constexpr (std::is_same_v<T, Bytes>) {
            text(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()));
          } else if constexpr (std::is_same_v<T, Date>) {
            number(std::bit_cast<std::uint64_t>(typed.secondsSinceReferenceDate));
          } else {
            uuid(typed);
          }
        },
        *value);
  }
  number(entry.fields.references.size());
  for (const auto& [name, target] : entry.fields.references) {
    text(name);
    form.push_back(target ? 'r' : '0');
    if (target) uuid(*target);
  }
  return journalLineDigest(form);
}

}  // namespace platform
