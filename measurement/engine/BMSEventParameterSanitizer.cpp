#include "measurement/engine/BMSEventParameterSanitizer.h"

#include <set>
#include <utility>
#include <vector>

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/BMSNameTables.h"
#include "measurement/engine/BMSStringUtil.h"
#include "platform/text/Format.h"
#include "platform/text/Scalars.h"

namespace beacon {
namespace {

namespace F = BMSValidationFailure;

constexpr std::string_view kErrorCodeParameter = "_err";
constexpr std::string_view kErrorValueKey = "_ev";
constexpr std::string_view kErrorLengthKey = "_el";

bool holds(const BMSEventParameters& parameters, std::string_view name) {
  return parameters.contains(name);
}

std::int64_t maxInternalValueLength() {
  return BMSEngineServices::parameterLimits()->maxInternalEventParameterValueLength();
}

// The text an error names: a string as it is, a missing name as "(nil)", anything else by its type.
std::string errorText(const BMSObject& name) {
  if (const auto* plain = std::get_if<platform::Value>(&name)) {
    if (plain->isNull()) return "(nil)";
    if (const std::string* text = plain->asString()) return *text;
  }
  return BMSTypeName(name);
}

// Scalars of a string, elements of an array, 0 for anything else.
std::int64_t errorLength(const BMSObject& value) {
  if (const auto* typed = std::get_if<BMSValue>(&value)) {
    if (const std::string* text = typed->stringValue())
      return static_cast<std::int64_t>(BMSUTF32Length(*text));
    if (const BMSValueItems* items = typed->arrayValue())
      return static_cast<std::int64_t>(items->elements.size());
    return 0;
  }
  const auto& plain = std::get<platform::Value>(value);
  if (const std::string* text = plain.asString()) return static_cast<std::int64_t>(BMSUTF32Length(*text));
  if (const platform::Array* array = plain.asArray()) return static_cast<std::int64_t>(array->size());
  return 0;
}

bool isPublicParameter(std::string_view name, bool items) {
  return BMSIsPublicNameText(name) && !(items && BMSIsItemParameterName(name));
}

void applyLimits(BMSEventParameters& parameters, bool nested) {
  const auto limits = BMSEngineServices::parameterLimits();
  if (nested) {
    const std::int64_t limit =
        limits->itemScopedCustomParameterEnabled() ? limits->maxItemScopedCustomParameters() : 0;
    if (BMSCountPublicParameters(parameters, true) <= limit) return;
    BMSTrimPublicParameters(parameters, limit, true);
    BMSSetErrorCodeIfAbsent(parameters, limit != 0 ? BMSErrorCode::kItemScopedCustomParameterLimitReached
                                                   : BMSErrorCode::kCustomParamsInArrayElement);
    BMSLog(0, 18016, "Item cannot contain custom parameters");
    return;
  }
  const std::int64_t limit = limits->maxPublicEventParams();
  if (BMSCountPublicParameters(parameters, false) <= limit) return;
  BMSTrimPublicParameters(parameters, limit, false);
  BMSSetErrorCodeIfAbsent(parameters, BMSErrorCode::kParameterLimitReached);
  BMSLog(1, 18017, platform::format("Event cannot contain more than %d parameters", limit));
}

}  // namespace

const std::map<std::int64_t, std::string>& BMSErrorCodeNames() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::map<std::int64_t, std::string>& names = *new std::map<std::int64_t, std::string>{
      {0, "NoError"},
      {1, "InvalidCNPAppID"},
      {2, "InvalidEventName"},
      {3, "InvalidParameterName"},
      {4, "InvalidParameterValue"},
      {5, "ParameterLimitReached"},
      {6, "InvalidUserPropertyName"},
      {7, "UserPropertyValueTooLong"},
      {8, "EventLimitReached"},
      {9, "UserPropertyLimitReached"},
      {10, "ConversionEventLimitReached"},
      {11, "EventIsBlocked"},
      {12, "UserPropertyIsBlocked"},
      {13, "EventNameIsReserved"},
      {14, "ParameterNameIsReserved"},
      {15, "UserPropertyNameIsReserved"},
      {16, "PublicEventLimitReached"},
      {17, "TooManyExtraParamEvents"},
      {18, "ValueIsNotNumeric"},
      {19, "CurrencyCodeIsMissingOrInvalid"},
      {20, "InvalidArrayParamName"},
      {21, "InvalidArrayParamEventName"},
      {22, "InvalidArrayParamNesting"},
      {23, "CustomParamsInArrayElement"},
      {28, "ItemScopedCustomParameterLimitReached"},
  };
  return names;
}

std::optional<BMSEventParameters> BMSSanitizeEventParameters(const BMSParameters& parameters,
                                                             std::string_view eventName, bool isPublic,
                                                             bool nested) {
  if (parameters.empty()) return std::nullopt;
  const bool reservedEvent =
      BMSPublicToInternalEventNames().contains(eventName) || eventName.starts_with("_");
  std::set<std::string, std::less<>> dropped;
  BMSEventParameters replacements;

  for (const auto& [name, object] : parameters) {
    if (!BMSIsValidParameterName(platform::Value(name), isPublic, replacements)) {
      dropped.insert(name);
      continue;
    }
    std::optional<BMSValue> value = BMSValueFromObject(object, true);
    if (!value) {
      dropped.insert(name);
      BMSLog(3, 18015, "Event parameter value must be of type NSString, NSNumber or NSArray. Type",
             {BMSTypeName(object)});
      continue;
    }
    std::int64_t valueFailure = F::kNone;
    bool keep = true;
    if (isPublic) {
      keep = BMSDataTypeValidator::isValidPublicEventParameterValue(*value, &valueFailure);
    } else if (name == kErrorValueKey && value->stringValue()) {
      // An "_ev" longer than the internal maximum is kept, trimmed, unless it already is a trimmed text.
      const std::string& text = *value->stringValue();
      const auto maximum = maxInternalValueLength();
      const auto length = static_cast<std::int64_t>(BMSUTF32Length(text));
      if (length > maximum && !(length == maximum + 3 && text.ends_with("...")))
        BMSAddErrorValueParameters(replacements, platform::Value(text), maximum, BMSObject(*value));
    } else if (reservedEvent) {
      keep = BMSDataTypeValidator::isValidInternalEventParameterValue(*value, &valueFailure);
    } else {
      // No length rule here, but a number must still be one.
      keep = BMSDataTypeValidator::isValidValue(*value, 0, INT64_MAX,
                                                BMSValidationSubject::EventParameterValue, &valueFailure);
    }

    std::int64_t arrayFailure = F::kNone;
    const auto* plain = std::get_if<platform::Value>(&object);
    if (keep && plain && plain->isArray()) {
      value = BMSSanitizeArrayParameter(*plain->asArray(), name, eventName, replacements, nested, isPublic,
                                        &arrayFailure);
      keep = value.has_value();
    }
    if (!keep) dropped.insert(name);
    if (valueFailure == F::kTooLong && !holds(replacements, kErrorCodeParameter))
      BMSAddErrorParameters(replacements, BMSErrorCode::kInvalidParameterValue, platform::Value(name),
                            kBMSErrorNameMaxLength, BMSObject(*value));
    if (valueFailure == F::kNotNumeric && !holds(replacements, kErrorCodeParameter))
      BMSAddErrorParameters(replacements, BMSErrorCode::kValueIsNotNumeric, platform::Value(name),
                            kBMSErrorNameMaxLength, std::nullopt);
    if (arrayFailure != F::kNone)
      BMSAddArrayParamErrorParameters(replacements, arrayFailure, name, eventName);
    // A trimmed "_ev" placed above stays: the full text would undo the trimming.
    if (keep && plain && !holds(replacements, name)) replacements.emplace(name, *value);
  }

  if (dropped.size() == parameters.size()) return replacements;
  // Every replacement, and each other parameter that is kept as it came (a typed value).
  BMSEventParameters result = std::move(replacements);
  for (const auto& [name, object] : parameters) {
    if (dropped.contains(name) || result.contains(name)) continue;
    result.emplace(name, std::get<BMSValue>(object));
  }
  applyLimits(result, nested);
  return result;
}

std::optional<BMSValue> BMSSanitizeArrayParameter(const platform::Array& array, std::string_view paramName,
                                                  std::string_view eventName, BMSEventParameters& errors,
                                                  bool nested, bool isPublic, std::int64_t* failureCode) {
  std::int64_t failure = F::kNone;
  BMSDataTypeValidator::isValidArrayParamForEvent(eventName, paramName,
                                                  static_cast<std::int64_t>(array.size()), nested, &failure);
  if (failureCode) *failureCode = failure;
  if (failure != F::kNone && failure != F::kTooManyItems) return std::nullopt;

  const std::size_t kept = std::min(array.size(), static_cast<std::size_t>(kBMSMaxItemsPerArrayParameter));
  BMSValueItems items;
  for (std::size_t index = 0; index < kept; ++index) {
    const BMSItem element(array[index]);
    if (BMSDataTypeValidator::isValidArrayParamItem(element)) {
      if (auto sanitized = BMSSanitizeEventParameters(*BMSItemDictionary(element), eventName, isPublic, true))
        items.elements.emplace_back(BMSParametersFromEventParameters(*sanitized));
    } else {
      BMSAddErrorParameters(errors, BMSErrorCode::kInvalidParameterValue,
                            platform::Value(platform::format("%@[%lu]", paramName, index)),
                            kBMSErrorNameMaxLength, std::nullopt);
    }
  }
  return BMSValue::initWithItems(std::move(items));
}

bool BMSIsValidParameterName(const BMSObject& name, bool isPublic, BMSEventParameters& errors) {
  std::int64_t failure = F::kNone;
  const bool valid = isPublic ? BMSDataTypeValidator::isValidPublicEventParameterName(name, &failure) &&
                                    BMSDataTypeValidator::isValidInternalEventParameterName(name, &failure)
                              : BMSDataTypeValidator::isValidInternalEventParameterName(name, &failure);
  if (!valid && failure != F::kNone && !holds(errors, kErrorCodeParameter)) {
    const std::string text = errorText(name);
    const bool tooLong = static_cast<std::int64_t>(BMSUTF32Length(text)) > kBMSErrorNameMaxLength;
    BMSAddErrorParameters(errors,
                          failure == F::kReserved ? BMSErrorCode::kParameterNameIsReserved
                                                  : BMSErrorCode::kInvalidParameterName,
                          platform::Value(text), kBMSErrorNameMaxLength,
                          tooLong ? std::optional<BMSObject>(platform::Value(text)) : std::nullopt);
  }
  return valid;
}

std::int64_t BMSCountPublicParameters(const BMSEventParameters& parameters, bool items) {
  std::int64_t count = 0;
  for (const auto& entry : parameters) count += isPublicParameter(entry.first, items) ? 1 : 0;
  return count;
}

void BMSTrimPublicParameters(BMSEventParameters& parameters, std::int64_t limit, bool items) {
  std::int64_t count = BMSCountPublicParameters(parameters, items);
  // The map is in ascending name order: the greatest names go first.
  for (auto entry = parameters.end(); count > limit && entry != parameters.begin();) {
    --entry;
    if (isPublicParameter(entry->first, items)) {
      entry = parameters.erase(entry);
      --count;
    }
  }
}

bool BMSValidateValueAndCurrency(BMSEventParameters& parameters) {
  auto value = parameters.find("value");
  if (value == parameters.end()) return true;
  if (!BMSDataTypeValidator::isValidNumericValue(value->second)) {
    parameters.erase(value);
    BMSAddErrorParameters(parameters, BMSErrorCode::kValueIsNotNumeric, platform::Value("value"),
                          maxInternalValueLength(), std::nullopt);
    return false;
  }
  auto currency = parameters.find("currency");
  const BMSObject currencyObject =
      currency != parameters.end() ? BMSObject(currency->second) : BMSObject(platform::Value());
  if (!BMSDataTypeValidator::isValidCurrencyCode(currencyObject)) {
    BMSLog(
        3, 18014,
        "Value parameter discarded. You must also supply a 3-letter ISO_4217 currency code in the currency "
        "parameter.");
    parameters.erase(value);
    BMSAddErrorParameters(parameters, BMSErrorCode::kCurrencyCodeIsMissingOrInvalid,
                          platform::Value("currency"), maxInternalValueLength(), std::nullopt);
    return false;
  }
  return true;
}

void BMSAddErrorValueParameters(BMSEventParameters& parameters, const BMSObject& name, std::int64_t maxLength,
                                const std::optional<BMSObject>& value) {
  if (holds(parameters, kErrorValueKey) || holds(parameters, kErrorLengthKey)) return;
  std::string text = errorText(name);
  if (maxLength >= 0 && static_cast<std::int64_t>(BMSUTF32Length(text)) > maxLength)
    text = platform::scalarPrefix(text, static_cast<std::size_t>(maxLength)) + "...";
  parameters.insert_or_assign(std::string(kErrorValueKey), BMSValue::initWithStringValue(std::move(text)));
  if (value)
    parameters.insert_or_assign(std::string(kErrorLengthKey), BMSValue::initWithInt64(errorLength(*value)));
}

void BMSAddErrorParameters(BMSEventParameters& parameters, std::int64_t code, const BMSObject& name,
                           std::int64_t maxLength, const std::optional<BMSObject>& value) {
  if (holds(parameters, kErrorValueKey) || holds(parameters, kErrorLengthKey) ||
      holds(parameters, kErrorCodeParameter))
    return;
  parameters.insert_or_assign(std::string(kErrorCodeParameter), BMSValue::initWithInt64(code));
  BMSAddErrorValueParameters(parameters, name, maxLength, value);
}

void BMSSetErrorCodeIfAbsent(BMSEventParameters& parameters, std::int64_t code) {
  if (!holds(parameters, kErrorCodeParameter))
    parameters.insert_or_assign(std::string(kErrorCodeParameter), BMSValue::initWithInt64(code));
}

void BMSAddArrayParamErrorParameters(BMSEventParameters& parameters, std::int64_t arrayFailureCode,
                                     std::string_view paramName, std::string_view eventName) {
  std::int64_t code = 0;
  std::string_view offending = paramName;
  switch (arrayFailureCode) {
    case F::kArrayOnNonEcommerceEvent:
      code = BMSErrorCode::kInvalidArrayParamEventName;
      offending = eventName;
      break;
    case F::kArrayNotNamedItems:
      code = BMSErrorCode::kInvalidArrayParamName;
      break;
    case F::kTooManyItems:
      code = BMSErrorCode::kTooManyExtraParamEvents;
      break;
    case F::kNestedArray:
      code = BMSErrorCode::kInvalidArrayParamNesting;
      break;
    default:
      return;
  }
  BMSAddErrorParameters(parameters, code, platform::Value(std::string(offending)), kBMSErrorNameMaxLength,
                        std::nullopt);
}

void BMSLogErrorEvent(std::int64_t code) {
  if (code == 0) return;
  BMSEngineServices::internalEventLogger()->logInternalEventWithOrigin("auto", "_err", {{"_err", code}});
}

void BMSLogErrorEventWithValue(std::int64_t code, const BMSObject& name, std::int64_t maxLength,
                               const std::optional<BMSObject>& value) {
  if (code == 0) return;
  BMSEventParameters parameters{{std::string(kErrorCodeParameter), BMSValue::initWithInt64(code)}};
  std::optional<BMSObject> passed;
  if (value &&
      !(std::holds_alternative<platform::Value>(*value) && std::get<platform::Value>(*value).isNull())) {
    const auto* plain = std::get_if<platform::Value>(&*value);
    const auto* typed = std::get_if<BMSValue>(&*value);
    const bool isString = (plain && plain->isString()) || (typed && typed->isString());
    const std::int64_t length = isString ? errorLength(*value) : 0;
    if (length > maxLength || code == BMSErrorCode::kInvalidParameterValue ||
        code == BMSErrorCode::kUserPropertyValueTooLong)
      passed = value;
  }
  BMSAddErrorValueParameters(parameters, name, maxLength, passed);
  BMSEngineServices::internalEventLogger()->logInternalEventWithOrigin("auto", "_err",
                                                                       BMSPlainParameters(parameters));
}

}  // namespace beacon
