#include "measurement/engine/BMSValue.h"

#include <functional>
#include <ostream>

#include "measurement/engine/BMSEngineServices.h"
#include "platform/text/Scalars.h"

namespace beacon {

BMSValue BMSValue::initWithDouble(double value) {
  return BMSValue(kDouble, value);
}
BMSValue BMSValue::initWithInt64(std::int64_t value) {
  return BMSValue(kInt64, value);
}
BMSValue BMSValue::initWithStringValue(std::string value) {
  // Every string field of the wire messages must be well-formed: one stray byte would make a strict
  // reader refuse the whole event, or the whole bundle.
  if (!platform::isWellFormedUtf8(value)) value = platform::wellFormedUtf8(value);
  return BMSValue(kString, std::make_shared<const std::string>(std::move(value)));
}
BMSValue BMSValue::initWithItems(BMSValueItems items) {
  return BMSValue(kArray, std::make_shared<const BMSValueItems>(std::move(items)));
}

std::optional<BMSValue> BMSValue::initWithString(const platform::Value& object) {
  if (object.isNull()) {
    BMSLog(0, 35002, "Cannot create String value with nil");
    return std::nullopt;
  }
  if (!object.isString()) {
    BMSLog(0, 35003, "Cannot create String value with non-string value. Value", {object});
    return std::nullopt;
  }
  return initWithStringValue(*object.asString());
}

std::optional<BMSValue> BMSValue::initWithArray(const platform::Value& object) {
  if (object.isNull()) {
    BMSLog(0, 35004, "Cannot create Array value with nil");
    return std::nullopt;
  }
  if (!object.isArray()) {
    BMSLog(0, 35005, "Cannot create Array value with non-array value. Value", {object});
    return std::nullopt;
  }
  BMSValueItems items;
  for (const platform::Value& element : *object.asArray()) items.elements.emplace_back(element);
  return initWithItems(std::move(items));
}

double BMSValue::doubleValue() const {
  return kind_ == kDouble ? std::get<double>(payload_) : 0.0;
}
std::int64_t BMSValue::int64Value() const {
  return kind_ == kInt64 ? std::get<std::int64_t>(payload_) : 0;
}
const std::string* BMSValue::stringValue() const {
  return kind_ == kString ? std::get<std::shared_ptr<const std::string>>(payload_).get() : nullptr;
}
const BMSValueItems* BMSValue::arrayValue() const {
  return kind_ == kArray ? std::get<std::shared_ptr<const BMSValueItems>>(payload_).get() : nullptr;
}

namespace {

std::string itemDescription(const BMSItem& item) {
  if (const auto* plain = std::get_if<platform::Value>(&item)) return plain->description();
  std::string text = "{";
  for (const auto& [name, object] : std::get<BMSParameters>(item)) {
    if (text.size() > 1) text += ", ";
    text += name + ": " + BMSDescription(object);
  }
  return text + "}";
}

}  // namespace

std::string BMSValue::description() const {
  switch (kind_) {
    case kDouble:
      return platform::Value(doubleValue()).description();
    case kInt64:
      return platform::Value(int64Value()).description();
    case kString:
      return *stringValue();
    case kArray:
      break;
  }
  std::string text = "[";
  for (const BMSItem& item : arrayValue()->elements) {
    if (text.size() > 1) text += ", ";
    text += itemDescription(item);
  }
  return text + "]";
}

std::size_t BMSValue::hash() const {
  std::size_t payloadHash = 0;
  switch (kind_) {
    case kDouble:
      payloadHash = std::hash<double>{}(doubleValue());
      break;
    case kInt64:
      payloadHash = std::hash<std::int64_t>{}(int64Value());
      break;
    case kString:
      payloadHash = std::hash<std::string>{}(*stringValue());
      break;
    case kArray:
      payloadHash = arrayValue()->elements.size();
      break;
  }
  return payloadHash ^ static_cast<std::size_t>(kind_ * 31);
}

bool operator==(const BMSValue& a, const BMSValue& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case BMSValue::kDouble:
      return a.doubleValue() == b.doubleValue();
    case BMSValue::kInt64:
      return a.int64Value() == b.int64Value();
    case BMSValue::kString:
      return *a.stringValue() == *b.stringValue();
    case BMSValue::kArray:
      break;
  }
  return *a.arrayValue() == *b.arrayValue();
}

std::ostream& operator<<(std::ostream& out, const BMSValue& value) {
  return out << value.description() << " (kind " << value.valueType() << ")";
}

std::optional<BMSValue> BMSValueFromObject(const BMSObject& object, bool allowArray) {
  if (const auto* typed = std::get_if<BMSValue>(&object)) return *typed;
  const auto& plain = std::get<platform::Value>(object);
  if (plain.isNull()) {
    BMSLog(0, 35000, "Cannot create Value type with nil value");
    return std::nullopt;
  }
  if (const auto* text = plain.asString()) return BMSValue::initWithStringValue(*text);
  if (const auto* floating = plain.asDouble()) return BMSValue::initWithDouble(*floating);
  if (plain.isInteger() || plain.isBool()) return BMSValue::initWithInt64(plain.integerValue());
  if (plain.isArray() && allowArray) return BMSValue::initWithArray(plain);
  BMSLog(0, 35001,
         "Cannot create Value type with unsupported value. The Value has to be NSNumber, NSString or NSArray "
         "(if "
         "supported). Value",
         {plain});
  return std::nullopt;
}

std::optional<BMSParameters> BMSItemDictionary(const BMSItem& item) {
  if (const auto* dictionary = std::get_if<BMSParameters>(&item)) return *dictionary;
  const auto* plain = std::get<platform::Value>(item).asDictionary();
  if (!plain) return std::nullopt;
  return BMSParametersFromDictionary(*plain);
}

BMSParameters BMSParametersFromDictionary(const platform::Dictionary& dictionary) {
  BMSParameters parameters;
  for (const auto& [name, value] : dictionary) parameters.emplace(name, value);
  return parameters;
}

BMSParameters BMSParametersFromEventParameters(const BMSEventParameters& parameters) {
  BMSParameters objects;
  for (const auto& [name, value] : parameters) objects.emplace(name, value);
  return objects;
}

platform::Value BMSPlainValue(const BMSValue& value) {
  switch (value.valueType()) {
    case BMSValue::kDouble:
      return value.doubleValue();
    case BMSValue::kInt64:
      return value.int64Value();
    case BMSValue::kString:
      return *value.stringValue();
    case BMSValue::kArray:
      break;
  }
  platform::Array items;
  for (const BMSItem& item : value.arrayValue()->elements) {
    std::optional<BMSParameters> members = BMSItemDictionary(item);
    if (!members) continue;
    platform::Dictionary plain;
    for (const auto& [name, member] : *members) {
      const auto* typed = std::get_if<BMSValue>(&member);
      if (typed && !typed->isArray()) plain[name] = BMSPlainValue(*typed);
    }
    items.emplace_back(std::move(plain));
  }
  return items;
}

platform::Dictionary BMSPlainParameters(const BMSEventParameters& parameters) {
  platform::Dictionary plain;
  for (const auto& [name, value] : parameters) plain[name] = BMSPlainValue(value);
  return plain;
}

std::string BMSTypeName(const BMSObject& object) {
  if (std::holds_alternative<BMSValue>(object)) return "BMSValue";
  switch (std::get<platform::Value>(object).kind()) {
    case platform::Value::Kind::Null:
      return "Null";
    case platform::Value::Kind::Bool:
    case platform::Value::Kind::Integer:
    case platform::Value::Kind::Double:
      return "Number";
    case platform::Value::Kind::String:
      return "String";
    case platform::Value::Kind::Bytes:
      return "Data";
    case platform::Value::Kind::Date:
      return "Date";
    case platform::Value::Kind::Array:
      return "Array";
    case platform::Value::Kind::Dictionary:
      return "Dictionary";
  }
  return "Object";
}

std::string BMSDescription(const BMSObject& object) {
  if (const auto* typed = std::get_if<BMSValue>(&object)) return typed->description();
  return std::get<platform::Value>(object).description();
}

}  // namespace beacon
