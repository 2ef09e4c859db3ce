#include "analytics-connector/BCNConnectorConversions.h"

#include <functional>
#include <map>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/AnalyticsContext.h"

namespace beacon {
namespace {

constexpr std::int64_t kIgnoredPropertyEntry = 25060;

std::string stringEntry(const platform::Dictionary& dictionary, const char* key) {
  const auto found = dictionary.find(key);
  return found != dictionary.end() && found->second.isString() ? *found->second.asString() : std::string();
}

// Sets one member from a value; false when the value is of a kind the member cannot take.
using PropertySetter = std::function<bool(BCNAConditionalUserProperty&, const platform::Value&)>;

PropertySetter stringMember(std::string BCNAConditionalUserProperty::*member) {
  return [member](BCNAConditionalUserProperty& property, const platform::Value& value) {
    if (!value.isString()) return false;
    property.*member = *value.asString();
    return true;
  };
}

PropertySetter secondsMember(double BCNAConditionalUserProperty::*member) {
  return [member](BCNAConditionalUserProperty& property, const platform::Value& value) {
    if (!value.isNumber()) return false;
    property.*member = value.doubleValue();
    return true;
  };
}

PropertySetter eventMember(std::optional<BMSEvent> BCNAConditionalUserProperty::*member) {
  return [member](BCNAConditionalUserProperty& property, const platform::Value& value) {
    if (!value.isDictionary()) return false;
    property.*member = BCNConnectorEventFromDictionary(*value.asDictionary());
    return true;
  };
}

// A string stays a string; a number keeps its own kind of value.
bool setValue(BCNAConditionalUserProperty& property, const platform::Value& value) {
  if (value.isString()) {
    property.value = BMSValue::initWithStringValue(*value.asString());
  } else if (value.isNumber()) {
    property.value = BMSValueFromObject(value);
  } else {
    return false;
  }
  return true;
}

bool setActive(BCNAConditionalUserProperty& property, const platform::Value& value) {
  if (!value.isNumber()) return false;
  property.active = value.boolValue();
  return true;
}

const std::map<std::string, PropertySetter, std::less<>>& propertySetters() {
  using P = BCNAConditionalUserProperty;
  // Never destroyed: connector work may still run during the process's exit handlers.
  static const auto& setters = *new std::map<std::string, PropertySetter, std::less<>>{
      {"name", stringMember(&P::name)},
      {"origin", stringMember(&P::origin)},
      {"value", setValue},
      {"triggerEventName", stringMember(&P::triggerEventName)},
      {"triggerTimeout", secondsMember(&P::triggerTimeout)},
      {"timeToLive", secondsMember(&P::timeToLive)},
      {"creationTimestamp", secondsMember(&P::creationTimestamp)},
      {"triggeredTimestamp", secondsMember(&P::triggeredTimestamp)},
      {"active", setActive},
      {"triggeredEvent", eventMember(&P::triggeredEvent)},
      {"timedOutEvent", eventMember(&P::timedOutEvent)},
      {"expiredEvent", eventMember(&P::expiredEvent)},
  };
  return setters;
}

}  // namespace

std::optional<BMSEvent> BCNConnectorEventFromDictionary(const platform::Dictionary& dictionary) {
  const auto timestamp = dictionary.find("timestamp");
  const auto parameters = dictionary.find("parameters");
  return BMSEvent::initWithOrigin(stringEntry(dictionary, "origin"), false, stringEntry(dictionary, "name"),
                                  timestamp != dictionary.end() && timestamp->second.isNumber()
                                      ? timestamp->second.doubleValue()
                                      : AnalyticsContext::current().nowSince1970(),
                                  0,
                                  parameters != dictionary.end() && parameters->second.isDictionary()
                                      ? BMSParametersFromDictionary(*parameters->second.asDictionary())
                                      : BMSParameters{});
}

std::optional<BMSEvent> BCNConnectorEventWithOrigin(const std::string& origin, const std::string& name,
                                                    const platform::Dictionary& parameters) {
  return BMSEvent::initWithOrigin(origin, false, name, AnalyticsContext::current().nowSince1970(), 0,
                                  BMSParametersFromDictionary(parameters));
}

platform::Dictionary BCNConnectorSimplifiedParameters(const BMSEventParameters& parameters) {
  platform::Dictionary simplified;
  for (const auto& [name, value] : parameters) {
    if (value.isDouble()) {
      simplified.emplace(name, value.doubleValue());
    } else if (value.isInt64()) {
      simplified.emplace(name, static_cast<long long>(value.int64Value()));
    } else if (value.isString()) {
      simplified.emplace(name, *value.stringValue());
    }
  }
  return simplified;
}

BCNAConditionalUserProperty BCNConnectorConditionalUserProperty(const platform::Dictionary& dictionary) {
  BCNAConditionalUserProperty property;
  for (const auto& [key, value] : dictionary) {
    const auto setter = propertySetters().find(key);
    if (setter == propertySetters().end() || !setter->second(property, value)) {
      BMSLog(2, kIgnoredPropertyEntry, "Conditional user property entry ignored. Key, value", {key, value});
    }
  }
  return property;
}

}  // namespace beacon
