#include "measurement/engine/BMSEvent.h"

#include <limits>
#include <utility>

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSNameTables.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace F = BMSValidationFailure;

constexpr std::string_view kOriginKey = "_o";
constexpr std::string_view kConversionKey = "_c";
constexpr std::string_view kRealtimeKey = "_r";
constexpr std::string_view kDebugKey = "_dbg";

std::int64_t millisecondsFrom(double seconds) {
  return platform::saturatingInteger(seconds * 1000.0);
}

bool isFlagSet(const BMSEventParameters& parameters, std::string_view key) {
  auto found = parameters.find(key);
  return found != parameters.end() && found->second.isInt64() && found->second.int64Value() == 1;
}

void setFlag(BMSEventParameters& parameters, std::string_view key, bool set) {
  if (set) {
    parameters.insert_or_assign(std::string(key), BMSValue::initWithInt64(1));
  } else {
    parameters.erase(std::string(key));
  }
}

// One parameter of the raw-event message; items at the top level become nested lists.
std::optional<BMSPBEventParam> protoParam(const std::string& eventName, const std::string& name,
                                          const BMSObject& object, bool nested) {
  const auto* value = std::get_if<BMSValue>(&object);
  if (!value) {
    BMSLog(2, 16005, "Invalid event param value. Event name, param name", {eventName, name});
    return std::nullopt;
  }
  if (value->isArray() && nested) {
    BMSLog(2, 16007, "Nested params cannot have more than 1 level. Event name, param name",
           {eventName, name});
    return std::nullopt;
  }
  BMSPBEventParam param;
  if (!nested || !name.empty()) NANOSetString(param, EventParamField::kName, name);
  switch (value->valueType()) {
    case BMSValue::kDouble:
      NANOSetDouble(param, EventParamField::kDoubleValue, value->doubleValue());
      break;
    case BMSValue::kInt64:
      NANOSetInt64(param, EventParamField::kIntValue, value->int64Value());
      break;
    case BMSValue::kString:
      NANOSetString(param, EventParamField::kStringValue, *value->stringValue());
      break;
    case BMSValue::kArray: {
      const std::vector<BMSItem>& elements = value->arrayValue()->elements;
      std::vector<BMSPBEventParam> items;
      items.reserve(elements.size());
      for (const BMSItem& item : elements) {
        // An item that is a parameter dictionary already is read where it is, not copied.
        std::optional<BMSParameters> converted;
        const BMSParameters* members = std::get_if<BMSParameters>(&item);
        if (!members && (converted = BMSItemDictionary(item))) members = &*converted;
        if (!members) {
          BMSLog(2, 16005, "Invalid event param value. Event name, param name", {eventName, name});
          continue;
        }
        std::vector<BMSPBEventParam> memberParams;
        memberParams.reserve(members->size());
        for (const auto& [memberName, member] : *members) {
          if (auto converted = protoParam(eventName, memberName, member, true))
            memberParams.push_back(std::move(*converted));
        }
        BMSPBEventParam element;
        NANOSetArray(element, EventParamField::kParams, std::move(memberParams));
        items.push_back(std::move(element));
      }
      NANOSetArray(param, EventParamField::kParams, std::move(items));
      break;
    }
  }
  return param;
}

// The scalar a stored parameter holds: string, then int64, then double.
// The parameter messages are read where they are, never copied: a stored purchase can hold hundreds
// of items.
std::optional<BMSValue> scalarFromProto(const MessageInfo& param) {
  if (const std::string* text = param.text(EventParamField::kStringValue))
    return BMSValue::initWithStringValue(*text);
  if (param.has(EventParamField::kIntValue))
    return BMSValue::initWithInt64(param.integer(EventParamField::kIntValue));
  if (param.has(EventParamField::kDoubleValue))
    return BMSValue::initWithDouble(param.floating(EventParamField::kDoubleValue));
  return std::nullopt;
}

// A stored items list: one element per nested entry, each with its scalar members.
std::optional<BMSValue> itemsFromProto(const MessageInfo& param) {
  if (!param.has(EventParamField::kParams)) return std::nullopt;
  BMSValueItems items;
  const std::vector<MessageInfo>& elements = param.messages(EventParamField::kParams);
  items.elements.reserve(elements.size());
  for (const MessageInfo& element : elements) {
    BMSParameters members;
    for (const MessageInfo& member : element.messages(EventParamField::kParams)) {
      const std::string* name = member.text(EventParamField::kName);
      auto value = scalarFromProto(member);
      // Stored in name order (written from a map), so each member goes at the end: no search.
      if (name && value) members.emplace_hint(members.end(), *name, std::move(*value));
    }
    items.elements.emplace_back(std::move(members));
  }
  return BMSValue::initWithItems(std::move(items));
}

std::string lookedUp(const BMSNameTable& table, const std::string& name) {
  auto found = table.find(name);
  return found != table.end() ? found->second : name;
}

}  // namespace

std::optional<BMSEvent> BMSEvent::initWithOrigin(const std::string& origin, bool isPublic,
                                                 const std::string& name, double timestamp,
                                                 double previousTimestamp, const BMSParameters& parameters) {
  std::int64_t failure = F::kNone;
  if (!BMSDataTypeValidator::isValidForwardedEventOrigin(platform::Value(origin), &failure) &&
      (failure != F::kNotForwardedOrigin ||
       !BMSDataTypeValidator::isValidInternalEventOrigin(platform::Value(origin))))
    return std::nullopt;
  if (isPublic && !BMSDataTypeValidator::isValidPublicEventName(platform::Value(name))) return std::nullopt;
  if (!BMSDataTypeValidator::isValidInternalEventName(platform::Value(name))) return std::nullopt;
  if (previousTimestamp > timestamp)
    BMSLog(5, 16002, "Event created with previous timestamp after current timestamp");

  BMSEvent event;
  event.origin_ = origin;
  event.name_ = name;
  event.timestamp_ = timestamp;
  event.previousTimestamp_ = previousTimestamp;
  event.parameters_ =
      BMSSanitizeEventParameters(parameters, name, isPublic, false).value_or(BMSEventParameters{});
  event.parameters_.insert_or_assign(std::string(kOriginKey), BMSValue::initWithStringValue(origin));
  if (event.shouldValidateParams() && !BMSValidateValueAndCurrency(event.parameters_))
    event.parameters_.erase(std::string(kConversionKey));
  return event;
}

std::optional<BMSEvent> BMSEvent::copyWithPreviousTimestamp(double previousTimestamp) const {
  return initWithOrigin(origin_, false, name_, timestamp_, previousTimestamp,
                        BMSParametersFromEventParameters(parameters_));
}

std::optional<BMSEvent> BMSEvent::copyWithParameters(const BMSParameters& parameters) const {
  return initWithOrigin(origin_, false, name_, timestamp_, previousTimestamp_, parameters);
}

std::optional<BMSEvent> BMSEvent::copy() const {
  return copyWithPreviousTimestamp(previousTimestamp_);
}

bool BMSEvent::shouldValidateParams() const {
  return isConversion() || name_ == "ad_impression" || name_ == "_ai";
}

bool BMSEvent::isConversion() const {
  return isFlagSet(parameters_, kConversionKey);
}

void BMSEvent::setConversion(bool conversion) {
  if (conversion) {
    if (!BMSValidateValueAndCurrency(parameters_)) return;
    setFlag(parameters_, kConversionKey, true);
    const auto error = parameters_.find("_err");
    if (error != parameters_.end() &&
        error->second == BMSValue::initWithInt64(BMSErrorCode::kConversionEventLimitReached))
      parameters_.erase(error);
    return;
  }
  if (!parameters_.contains(kConversionKey)) return;
  setFlag(parameters_, kConversionKey, false);
  BMSSetErrorCodeIfAbsent(parameters_, BMSErrorCode::kConversionEventLimitReached);
}

bool BMSEvent::isRealtime() const {
  auto found = parameters_.find(kRealtimeKey);
  if (found == parameters_.end()) return false;
  if (!found->second.isInt64()) {
    BMSLog(2, 16006, "Realtime parameter must be an int64. Event name", {name_});
    return false;
  }
  return found->second.int64Value() == 1;
}

void BMSEvent::setRealtime(bool realtime) {
  setFlag(parameters_, kRealtimeKey, realtime);
}
bool BMSEvent::isDebug() const {
  return isFlagSet(parameters_, kDebugKey);
}
void BMSEvent::setDebug(bool debug) {
  setFlag(parameters_, kDebugKey, debug);
}

void BMSEvent::applyParameters(const BMSParameters& defaults) {
  if (defaults.empty()) return;
  std::optional<BMSEventParameters> merged = BMSSanitizeEventParameters(defaults, "", true, false);
  if (!merged || merged->empty()) return;
  for (const auto& [name, value] : parameters_) merged->insert_or_assign(name, value);
  parameters_ = std::move(*merged);
}

bool BMSEvent::addScreenParameters(const BMSParameters& screen) {
  if (screen.empty() || parameters_.contains("_sn") || parameters_.contains("_sc") ||
      parameters_.contains("_si"))
    return false;
  auto screenID = screen.find("_si");
  if (screenID == screen.end()) return false;

  // A screen name or class must be a string, plain or typed, and a valid screen parameter value.
  auto validText = [&](std::string_view key, std::int64_t code, std::string_view message) {
    auto found = screen.find(key);
    if (found == screen.end()) return true;
    const auto* plain = std::get_if<platform::Value>(&found->second);
    const auto* typed = std::get_if<BMSValue>(&found->second);
    const std::string* text = plain ? plain->asString() : (typed ? typed->stringValue() : nullptr);
    if (!text) return false;
    if (!BMSDataTypeValidator::isValidScreenParameterValue(platform::Value(*text))) {
      BMSLog(3, code, message, {*text});
      return false;
    }
    return true;
  };
  if (!validText("_sc", 16003, "Received invalid screen class")) return false;
  const auto* plainID = std::get_if<platform::Value>(&screenID->second);
  const auto* typedID = std::get_if<BMSValue>(&screenID->second);
  if (!(typedID && typedID->isInt64()) && !(plainID && plainID->isNumber())) return false;
  if (!validText("_sn", 16004, "Received invalid screen name")) return false;

  std::optional<BMSValue> idValue = BMSValueFromObject(screenID->second);
  if (!idValue) return false;
  parameters_.insert_or_assign("_si", *idValue);
  for (const char* key : {"_sc", "_sn"}) {
    auto found = screen.find(key);
    if (found == screen.end()) continue;
    if (auto value = BMSValueFromObject(found->second)) parameters_.insert_or_assign(key, *value);
  }
  return true;
}

BMSPBEvent BMSEvent::protoEvent() const {
  BMSPBEvent proto;
  // In field order, so each field is appended (the bytes do not depend on the order).
  std::vector<BMSPBEventParam> params;
  params.reserve(parameters_.size());
  for (const auto& [name, value] : parameters_) {
    if (auto param = protoParam(name_, name, value, false)) params.push_back(std::move(*param));
  }
  NANOSetArray(proto, EventField::kParams, std::move(params));
  NANOSetString(proto, EventField::kName, name_);
  NANOSetInt64(proto, EventField::kTimestampMillis, millisecondsFrom(timestamp_));
  if (previousTimestamp_ > std::numeric_limits<double>::epsilon())
    NANOSetInt64(proto, EventField::kPreviousTimestampMillis, millisecondsFrom(previousTimestamp_));
  return proto;
}

std::optional<BMSEvent> BMSEvent::initWithEventProto(const BMSPBEvent& proto) {
  const std::string name = NANOGetString(proto, EventField::kName).value_or(std::string());
  std::optional<std::string> origin;
  BMSParameters parameters;
  for (const MessageInfo& param : proto.messageInfo().messages(EventField::kParams)) {
    const std::string* paramName = param.text(EventParamField::kName);
    if (!paramName) {
      BMSLog(2, 15000, "Ignoring parameter. Parameter name is nil. Event name", {name});
      continue;
    }
    if (*paramName == kOriginKey) {
      if (const std::string* text = param.text(EventParamField::kStringValue)) origin = *text;
      if (!origin) {
        BMSLog(2, 15001,
               "Cannot create an event from event proto. Origin parameter is not a string. Event name",
               {name});
        return std::nullopt;
      }
      continue;
    }
    std::optional<BMSValue> value = scalarFromProto(param);
    if (!value) value = itemsFromProto(param);
    if (!value) {
      BMSLog(5, 15002,
             "Unknown event parameter type from converting an event proto into BMSEvent instance. Event "
             "param name",
             {*paramName});
      continue;
    }
    parameters.emplace_hint(parameters.end(), *paramName, std::move(*value));
  }
  if (!origin) return std::nullopt;
  return initWithOrigin(
      *origin, false, name, static_cast<double>(NANOGetInt64(proto, EventField::kTimestampMillis)) / 1000.0,
      static_cast<double>(NANOGetInt64(proto, EventField::kPreviousTimestampMillis)) / 1000.0, parameters);
}

BMSPEvent BMSEvent::editEvent() const {
  return BMSPEvent(lookedUp(BMSInternalToPublicEventNames(), name_), timestamp_,
                   BMSPlainParameters(parameters_));
}

std::optional<BMSEvent> BMSEvent::eventFromEditEvent(const BMSPEvent& editEvent) {
  const auto origin = editEvent.parameters().find(kOriginKey);
  const bool hasOrigin = origin != editEvent.parameters().end() && origin->second.isString();
  return initWithOrigin(hasOrigin ? *origin->second.asString() : std::string("app"), false,
                        lookedUp(BMSPublicToInternalEventNames(), editEvent.name()), editEvent.timestamp(), 0,
                        BMSParametersFromDictionary(editEvent.parameters()));
}

}  // namespace beacon
