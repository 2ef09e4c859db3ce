#pragma once
// Whether names, origins and values are acceptable to the engine, under the public rules (what an app
// may log) or the internal rules (what the engine logs itself). Every refusal answers false, sets the
// failure code when a pointer is given, and logs through the installed log sink with the subject of
// the check ("Event name is too long. ..."). Lengths count Unicode scalar values.
//
// The two parameter-value maxima are read from the installed parameter limits at each call. Stateless
// apart from the name tables; safe on any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "measurement/engine/BMSValue.h"

namespace beacon {

// Failure codes written by the checks.
namespace BMSValidationFailure {
inline constexpr std::int64_t kNone = 0;
inline constexpr std::int64_t kNilOrEmpty = 1;
inline constexpr std::int64_t kTooLong = 2;
inline constexpr std::int64_t kForbiddenCharacter = 3;
inline constexpr std::int64_t kReserved = 4;
inline constexpr std::int64_t kWrongType = 5;
inline constexpr std::int64_t kNotForwardedOrigin = 6;
inline constexpr std::int64_t kTooShort = 7;
inline constexpr std::int64_t kNotNumeric = 8;
inline constexpr std::int64_t kInvalidCurrency = 9;
inline constexpr std::int64_t kArrayOnNonEcommerceEvent = 10;
inline constexpr std::int64_t kArrayNotNamedItems = 11;
inline constexpr std::int64_t kTooManyItems = 12;
inline constexpr std::int64_t kNestedArray = 13;
inline constexpr std::int64_t kItemNotDictionary = 14;
}  // namespace BMSValidationFailure

// The subject a check's messages begin with.
enum class BMSValidationSubject : std::int64_t {
  EventName = 0,
  EventOrigin = 1,
  EventParameterName = 2,
  EventParameterValue = 3,
  UserPropertyName = 4,
  UserPropertyValue = 5,
  ScreenParameterValue = 6,
  ConditionalUserPropertyOrigin = 7,
  ConditionalUserPropertyName = 8,
  ConditionalUserPropertyValue = 9,
};

inline constexpr std::int64_t kBMSMaxItemsPerArrayParameter = 200;

class BMSDataTypeValidator {
 public:
  using Subject = BMSValidationSubject;

  // Building blocks.
  static bool isValidString(const BMSObject& object, std::int64_t minLength, std::int64_t maxLength,
                            Subject type, std::int64_t* failureCode = nullptr);
  static bool isValidInternalName(const BMSObject& name, std::int64_t maxLength, Subject type,
                                  std::int64_t* failureCode = nullptr);
  static bool isValidPublicName(const BMSObject& name, std::int64_t maxLength, Subject type,
                                std::int64_t* failureCode = nullptr);
  static bool isValidValue(const BMSObject& value, std::int64_t minLength, std::int64_t maxLength,
                           Subject type, std::int64_t* failureCode = nullptr);
  // Begins with "beacon_", "corvane_" or "ca_".
  static bool hasReservedPrefixes(std::string_view name);

  static bool isValidPublicEventName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidInternalEventName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidInternalEventOrigin(const BMSObject& origin, std::int64_t* failureCode = nullptr);
  // An origin ending in "+ctm" after a valid internal origin; other origins fail silently with failure 6.
  static bool isValidForwardedEventOrigin(const BMSObject& origin, std::int64_t* failureCode = nullptr);
  static bool isValidPublicEventParameterName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidInternalEventParameterName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidPublicEventParameterValue(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidInternalEventParameterValue(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidPublicUserAttributeName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidPublicUserAttributeValue(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidInternalUserAttributeName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidInternalUserAttributeValue(const BMSObject& value, std::string_view name,
                                                std::int64_t* failureCode = nullptr);
  static bool isValidScreenParameterValue(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidConditionalUserPropertyOrigin(const BMSObject& origin,
                                                   std::int64_t* failureCode = nullptr);
  static bool isValidConditionalUserPropertyName(const BMSObject& name, std::int64_t* failureCode = nullptr);
  static bool isValidConditionalUserPropertyValue(const BMSObject& value,
                                                  std::int64_t* failureCode = nullptr);
  static bool isValidNumericValue(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidCurrencyCode(const BMSObject& value, std::int64_t* failureCode = nullptr);
  static bool isValidArrayParamForEvent(std::string_view eventName, std::string_view paramName,
                                        std::int64_t count, bool isNestedArrayParam,
                                        std::int64_t* failureCode = nullptr);
  static bool isValidArrayParamItem(const BMSItem& item, std::int64_t* failureCode = nullptr);
};

}  // namespace beacon
