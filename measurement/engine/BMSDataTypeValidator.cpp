#include "measurement/engine/BMSDataTypeValidator.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSNameTables.h"
#include "measurement/engine/BMSStringUtil.h"
#include "platform/text/Characters.h"
#include "platform/text/Format.h"
#include "platform/text/Scalars.h"

namespace beacon {
namespace {

namespace F = BMSValidationFailure;
using Subject = BMSValidationSubject;

constexpr std::int64_t kEventNameMaxLength = 40;
constexpr std::int64_t kOriginMaxLength = 32;
constexpr std::int64_t kParameterNameMaxLength = 40;
constexpr std::int64_t kUserPropertyNameMaxLength = 24;
constexpr std::int64_t kUserPropertyValueMaxLength = 36;
constexpr std::int64_t kLongUserPropertyValueMaxLength = 256;
constexpr std::size_t kCurrencyCodeLength = 3;

std::string subjectText(Subject type) {
  static constexpr std::array<const char*, 10> kSubjects{"Event name",
                                                         "Event origin",
                                                         "Event parameter name",
                                                         "Event parameter value",
                                                         "User property name",
                                                         "User property value",
                                                         "Screen parameter value",
                                                         "Conditional user property origin",
                                                         "Conditional user property name",
                                                         "Conditional user property value"};
  const auto index = static_cast<std::size_t>(type);
  return index < kSubjects.size() ? kSubjects[index] : "Object";
}

bool isValueSubject(Subject type) {
  return type == Subject::EventParameterValue || type == Subject::UserPropertyValue;
}

std::int64_t levelFor(Subject type) {
  return isValueSubject(type) ? 3 : 0;
}

bool refuse(std::int64_t* failureCode, std::int64_t failure) {
  if (failureCode) *failureCode = failure;
  return false;
}

bool accept(std::int64_t* failureCode) {
  if (failureCode) *failureCode = F::kNone;
  return true;
}

const std::string* plainString(const BMSObject& object) {
  const auto* plain = std::get_if<platform::Value>(&object);
  return plain ? plain->asString() : nullptr;
}

bool isNil(const BMSObject& object) {
  const auto* plain = std::get_if<platform::Value>(&object);
  return plain && plain->isNull();
}

bool isWordCharacter(char32_t scalar) {
  return platform::isLetter(scalar) || platform::isDecimalDigit(scalar) || scalar == U'_';
}

bool isAscii(char c) {
  return static_cast<unsigned char>(c) < 0x80;
}

// Names are checked for every parameter of every event, and nearly all are ASCII: those are read
// byte by byte (an ASCII letter or digit is exactly one of a-z, A-Z, 0-9) without a scalar list.
bool isWordText(std::string_view text) {
  if (std::all_of(text.begin(), text.end(), isAscii)) {
    return std::all_of(text.begin(), text.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
  }
  const std::u32string scalars = platform::toScalars(text);
  return std::all_of(scalars.begin(), scalars.end(), isWordCharacter);
}

char32_t firstScalar(std::string_view text) {
  if (!text.empty() && isAscii(text.front())) return static_cast<char32_t>(text.front());
  const platform::Bytes bytes = BMSGetUTF32Bytes(text, 4);
  char32_t scalar = 0;
  for (std::size_t at = bytes.size(); at > 0; --at) scalar = (scalar << 8) | bytes[at - 1];
  return scalar;
}

bool isNamedInTable(const BMSNameTable& table, std::string_view name) {
  return table.find(name) != table.end();
}

}  // namespace

bool BMSDataTypeValidator::isValidString(const BMSObject& object, std::int64_t minLength,
                                         std::int64_t maxLength, Subject type, std::int64_t* failureCode) {
  const std::int64_t level = levelFor(type);
  if (isNil(object)) {
    BMSLog(level, 13001, subjectText(type) + " is required and can't be nil");
    return refuse(failureCode, F::kNilOrEmpty);
  }
  const std::string* text = plainString(object);
  if (!text) {
    BMSLog(level, 13000, subjectText(type) + " must be of type NSString", {BMSDescription(object)});
    return refuse(failureCode, F::kWrongType);
  }
  if (text->empty() && minLength >= 1) {
    if (!isValueSubject(type)) BMSLog(level, 13001, subjectText(type) + " is required and can't be empty");
    return refuse(failureCode, F::kNilOrEmpty);
  }
  const auto length = static_cast<std::int64_t>(BMSUTF32Length(*text));
  if (length > maxLength) {
    BMSLog(
        level, 13000,
        subjectText(type) + platform::format(" is too long. The maximum supported length is %d", maxLength),
        {*text});
    return refuse(failureCode, F::kTooLong);
  }
  if (length < minLength) {
    BMSLog(
        level, 13000,
        subjectText(type) + platform::format(" is too short. The minimum supported length is %d", minLength),
        {*text});
    return refuse(failureCode, F::kTooShort);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidInternalName(const BMSObject& name, std::int64_t maxLength, Subject type,
                                               std::int64_t* failureCode) {
  if (!isValidString(name, 1, maxLength, type, failureCode)) return false;
  const std::string& text = *plainString(name);
  if (!isWordText(text)) {
    BMSLog(0, 13002, subjectText(type) + " must contain only letters, numbers, or underscores", {text});
    return refuse(failureCode, F::kForbiddenCharacter);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidPublicName(const BMSObject& name, std::int64_t maxLength, Subject type,
                                             std::int64_t* failureCode) {
  if (!isValidInternalName(name, maxLength, type, failureCode)) return false;
  const std::string& text = *plainString(name);
  if (!platform::isLetter(firstScalar(text))) {
    BMSLog(0, 13003, subjectText(type) + " must start with a letter", {text});
    return refuse(failureCode, F::kForbiddenCharacter);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidValue(const BMSObject& value, std::int64_t minLength,
                                        std::int64_t maxLength, Subject type, std::int64_t* failureCode) {
  if (isNil(value)) {
    BMSLog(3, 13004, subjectText(type) + " cannot be nil");
    return refuse(failureCode, F::kNilOrEmpty);
  }
  const auto* typed = std::get_if<BMSValue>(&value);
  if (!typed) {
    BMSLog(3, 13005, subjectText(type) + " must be a BMSValue instance. value", {BMSTypeName(value)});
    return refuse(failureCode, F::kWrongType);
  }
  if (const std::string* text = typed->stringValue())
    return isValidString(platform::Value(*text), minLength, maxLength, type, failureCode);
  // NaN and the infinities are no value to count or sum: stored, they read back as nothing.
  if (typed->isDouble() && !std::isfinite(typed->doubleValue())) {
    BMSLog(3, 13015, subjectText(type) + " must be a finite number. value", {typed->description()});
    return refuse(failureCode, F::kNotNumeric);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::hasReservedPrefixes(std::string_view name) {
  return name.starts_with("beacon_") || name.starts_with("corvane_") || name.starts_with("ca_");
}

bool BMSDataTypeValidator::isValidPublicEventName(const BMSObject& name, std::int64_t* failureCode) {
  if (!isValidPublicName(name, kEventNameMaxLength, Subject::EventName, failureCode)) return false;
  const std::string& text = *plainString(name);
  if (text == "screen_view") return accept(failureCode);
  if (isNamedInTable(BMSPublicToInternalEventNames(), text) &&
      !isNamedInTable(BMSAllowedReservedEventNames(), text)) {
    BMSLog(0, 13006, "Event name is reserved. Ignoring event", {text});
    return refuse(failureCode, F::kReserved);
  }
  if (hasReservedPrefixes(text)) {
    BMSLog(0, 13007, "Event name uses reserved prefix. Ignoring event", {text});
    return refuse(failureCode, F::kReserved);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidInternalEventName(const BMSObject& name, std::int64_t* failureCode) {
  return isValidInternalName(name, kEventNameMaxLength, Subject::EventName, failureCode);
}

bool BMSDataTypeValidator::isValidInternalEventOrigin(const BMSObject& origin, std::int64_t* failureCode) {
  return isValidInternalName(origin, kOriginMaxLength, Subject::EventOrigin, failureCode);
}

bool BMSDataTypeValidator::isValidForwardedEventOrigin(const BMSObject& origin, std::int64_t* failureCode) {
  static constexpr std::string_view kForwardedSuffix = "+ctm";
  const std::string* text = plainString(origin);
  if (!text) return refuse(failureCode, isNil(origin) ? F::kNilOrEmpty : F::kWrongType);
  if (text->empty()) return refuse(failureCode, F::kNilOrEmpty);
  if (!text->ends_with(kForwardedSuffix)) return refuse(failureCode, F::kNotForwardedOrigin);
  return isValidInternalName(platform::Value(text->substr(0, text->size() - kForwardedSuffix.size())),
                             kOriginMaxLength, Subject::EventOrigin, failureCode);
}

bool BMSDataTypeValidator::isValidPublicEventParameterName(const BMSObject& name, std::int64_t* failureCode) {
  if (!isValidPublicName(name, kParameterNameMaxLength, Subject::EventParameterName, failureCode))
    return false;
  if (hasReservedPrefixes(*plainString(name))) {
    BMSLog(0, 13008, "Parameter name uses reserved prefix. Ignoring parameter", {*plainString(name)});
    return refuse(failureCode, F::kReserved);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidInternalEventParameterName(const BMSObject& name,
                                                             std::int64_t* failureCode) {
  return isValidInternalName(name, kParameterNameMaxLength, Subject::EventParameterName, failureCode);
}

bool BMSDataTypeValidator::isValidPublicEventParameterValue(const BMSObject& value,
                                                            std::int64_t* failureCode) {
  return isValidValue(value, 0, BMSEngineServices::parameterLimits()->maxPublicEventParameterValueLength(),
                      Subject::EventParameterValue, failureCode);
}

bool BMSDataTypeValidator::isValidInternalEventParameterValue(const BMSObject& value,
                                                              std::int64_t* failureCode) {
  return isValidValue(value, 0, BMSEngineServices::parameterLimits()->maxInternalEventParameterValueLength(),
                      Subject::EventParameterValue, failureCode);
}

bool BMSDataTypeValidator::isValidPublicUserAttributeName(const BMSObject& name, std::int64_t* failureCode) {
  if (!isValidPublicName(name, kUserPropertyNameMaxLength, Subject::UserPropertyName, failureCode))
    return false;
  const std::string& text = *plainString(name);
  if (isNamedInTable(BMSPublicToInternalUserPropertyNames(), text)) {
    BMSLog(0, 13009, "User property name is reserved. Ignoring user property", {text});
    return refuse(failureCode, F::kReserved);
  }
  if (hasReservedPrefixes(text)) {
    BMSLog(0, 13010, "User property name uses reserved prefix. Ignoring user property", {text});
    return refuse(failureCode, F::kReserved);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidPublicUserAttributeValue(const BMSObject& value,
                                                           std::int64_t* failureCode) {
  return isValidValue(value, 1, kUserPropertyValueMaxLength, Subject::UserPropertyValue, failureCode);
}

bool BMSDataTypeValidator::isValidInternalUserAttributeName(const BMSObject& name,
                                                            std::int64_t* failureCode) {
  return isValidInternalName(name, kUserPropertyNameMaxLength, Subject::UserPropertyName, failureCode);
}

bool BMSDataTypeValidator::isValidInternalUserAttributeValue(const BMSObject& value, std::string_view name,
                                                             std::int64_t* failureCode) {
  const bool longValue = name == "_id" || name == "_cbraid" || name == "_psmvalue";
  return isValidValue(value, 1, longValue ? kLongUserPropertyValueMaxLength : kUserPropertyValueMaxLength,
                      Subject::UserPropertyValue, failureCode);
}

bool BMSDataTypeValidator::isValidScreenParameterValue(const BMSObject& value, std::int64_t* failureCode) {
  return isValidString(value, 1, BMSEngineServices::parameterLimits()->maxPublicEventParameterValueLength(),
                       Subject::ScreenParameterValue, failureCode);
}

bool BMSDataTypeValidator::isValidConditionalUserPropertyOrigin(const BMSObject& origin,
                                                                std::int64_t* failureCode) {
  return isValidInternalName(origin, kOriginMaxLength, Subject::ConditionalUserPropertyOrigin, failureCode);
}

bool BMSDataTypeValidator::isValidConditionalUserPropertyName(const BMSObject& name,
                                                              std::int64_t* failureCode) {
  return isValidInternalName(name, kUserPropertyNameMaxLength, Subject::ConditionalUserPropertyName,
                             failureCode);
}

bool BMSDataTypeValidator::isValidConditionalUserPropertyValue(const BMSObject& value,
                                                               std::int64_t* failureCode) {
  return isValidValue(value, 1, kUserPropertyValueMaxLength, Subject::ConditionalUserPropertyValue,
                      failureCode);
}

bool BMSDataTypeValidator::isValidNumericValue(const BMSObject& value, std::int64_t* failureCode) {
  // Only the kind matters here, so a string of any length reaches the numeric test.
  if (!isValidValue(value, 0, INT64_MAX, Subject::EventParameterValue, failureCode)) return false;
  const BMSValue& typed = std::get<BMSValue>(value);
  if (typed.isInt64() || typed.isDouble()) return accept(failureCode);
  BMSLog(3, 13011, "Event parameter value must be specified with a numeric type. value",
         {typed.description()});
  return refuse(failureCode, F::kNotNumeric);
}

bool BMSDataTypeValidator::isValidCurrencyCode(const BMSObject& value, std::int64_t* failureCode) {
  if (!isValidValue(value, 0, INT64_MAX, Subject::EventParameterValue, failureCode)) return false;
  const BMSValue& typed = std::get<BMSValue>(value);
  const std::string* text = typed.stringValue();
  bool valid = text && platform::utf16Length(*text) == kCurrencyCodeLength;
  if (valid) {
    for (char32_t scalar : platform::toScalars(*text)) valid = valid && platform::isLetter(scalar);
  }
  if (valid) return accept(failureCode);
  BMSLog(3, 13012,
         "Event parameter value" +
             platform::format(" must contain a %d-letter ISO_4217 currency code. value", kCurrencyCodeLength),
         {typed.description()});
  return refuse(failureCode, F::kInvalidCurrency);
}

bool BMSDataTypeValidator::isValidArrayParamForEvent(std::string_view eventName, std::string_view paramName,
                                                     std::int64_t count, bool isNestedArrayParam,
                                                     std::int64_t* failureCode) {
  if (isNestedArrayParam) {
    BMSLog(0, 13013, "Nested array parameters are not allowed. Name", {std::string(paramName)});
    return refuse(failureCode, F::kNestedArray);
  }
  if (!BMSIsEcommerceEventName(eventName)) {
    BMSLog(0, 13013, "Only ecommerce events are allowed to contain array parameters. Invalid ecommerce name",
           {std::string(eventName)});
    return refuse(failureCode, F::kArrayOnNonEcommerceEvent);
  }
  if (paramName != "items") {
    BMSLog(0, 13013,
           "Event parameter name" +
               platform::format(" is an invalid ecommerce items. The name of array parameters "
                                "for ecommerce should be \"%@\". Invalid parameter name",
                                "items"),
           {std::string(paramName)});
    return refuse(failureCode, F::kArrayNotNamedItems);
  }
  if (count > kBMSMaxItemsPerArrayParameter) {
    BMSLog(0, 13013,
           platform::format(
               "Array parameter has too many items. The maximum number of supported items is %d. Invalid "
               "array size",
               kBMSMaxItemsPerArrayParameter),
           {count});
    return refuse(failureCode, F::kTooManyItems);
  }
  return accept(failureCode);
}

bool BMSDataTypeValidator::isValidArrayParamItem(const BMSItem& item, std::int64_t* failureCode) {
  if (BMSItemDictionary(item)) return accept(failureCode);
  const auto* plain = std::get_if<platform::Value>(&item);
  BMSLog(0, 13014, "Array param must be a dictionary. Parameters", {plain ? *plain : platform::Value()});
  return refuse(failureCode, F::kItemNotDictionary);
}

}  // namespace beacon
