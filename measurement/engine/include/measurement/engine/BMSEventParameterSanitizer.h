#pragma once
// Every parameter dictionary that enters an event passes through one sanitiser: it keeps what is
// valid, turns plain strings, numbers and arrays into BMSValues, drops what is invalid, cuts the
// dictionary to the configured limits, and records the first problem it meets in the dictionary itself
// as "_err" (code), "_ev" (the offending name or value, trimmed with "...") and "_el" (its length).
// Nothing is refused as a whole. The same error vocabulary builds the engine's own "_err" events.
//
// Limits come from the installed parameter limits at each call; error events go to the installed
// internal-event logger. The dictionaries belong to the caller; safe on any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "measurement/engine/BMSValue.h"

namespace beacon {

// Error codes of "_err".
namespace BMSErrorCode {
inline constexpr std::int64_t kInvalidParameterName = 3;
inline constexpr std::int64_t kInvalidParameterValue = 4;
inline constexpr std::int64_t kParameterLimitReached = 5;
inline constexpr std::int64_t kUserPropertyValueTooLong = 7;
inline constexpr std::int64_t kConversionEventLimitReached = 10;
inline constexpr std::int64_t kParameterNameIsReserved = 14;
inline constexpr std::int64_t kTooManyExtraParamEvents = 17;
inline constexpr std::int64_t kValueIsNotNumeric = 18;
inline constexpr std::int64_t kCurrencyCodeIsMissingOrInvalid = 19;
inline constexpr std::int64_t kInvalidArrayParamName = 20;
inline constexpr std::int64_t kInvalidArrayParamEventName = 21;
inline constexpr std::int64_t kInvalidArrayParamNesting = 22;
inline constexpr std::int64_t kCustomParamsInArrayElement = 23;
inline constexpr std::int64_t kItemScopedCustomParameterLimitReached = 28;
}  // namespace BMSErrorCode

// How many scalars of an offending name "_ev" keeps.
inline constexpr std::int64_t kBMSErrorNameMaxLength = 40;

// Code to name ("NoError" ... "ItemScopedCustomParameterLimitReached"), for log lines.
const std::map<std::int64_t, std::string>& BMSErrorCodeNames();

// Nothing for an empty dictionary; otherwise the cleaned one. `eventName` is empty for default
// parameters; `nested` marks the parameters of one item of an array.
std::optional<BMSEventParameters> BMSSanitizeEventParameters(const BMSParameters& parameters,
                                                             std::string_view eventName, bool isPublic,
                                                             bool nested);

// An array value of the sanitised item dictionaries, or nothing when the array may not stand there.
// `failureCode` receives the array check's failure (12 when only the first 200 items were kept).
std::optional<BMSValue> BMSSanitizeArrayParameter(const platform::Array& array, std::string_view paramName,
                                                  std::string_view eventName, BMSEventParameters& errors,
                                                  bool nested, bool isPublic, std::int64_t* failureCode);

bool BMSIsValidParameterName(const BMSObject& name, bool isPublic, BMSEventParameters& errors);

// Names that are public (not beginning with "_"); with `items`, standard item parameters do not count.
std::int64_t BMSCountPublicParameters(const BMSEventParameters& parameters, bool items);
// Removes public parameters, greatest names first, until the count is within the limit.
void BMSTrimPublicParameters(BMSEventParameters& parameters, std::int64_t limit, bool items);

// For conversions and ad impressions: "value" must be numeric and come with a valid "currency", else
// "value" is removed, the error recorded, and the answer is false.
bool BMSValidateValueAndCurrency(BMSEventParameters& parameters);

// Adds "_ev" (the name, trimmed to `maxLength` scalars plus "...") and, with a value, "_el", unless
// either is present.
void BMSAddErrorValueParameters(BMSEventParameters& parameters, const BMSObject& name, std::int64_t maxLength,
                                const std::optional<BMSObject>& value);
// Sets "_err" and the value parameters when none of "_err", "_ev", "_el" is present.
void BMSAddErrorParameters(BMSEventParameters& parameters, std::int64_t code, const BMSObject& name,
                           std::int64_t maxLength, const std::optional<BMSObject>& value);
void BMSSetErrorCodeIfAbsent(BMSEventParameters& parameters, std::int64_t code);
// Array check failures 10, 11, 12, 13 become codes 21, 20, 17, 22.
void BMSAddArrayParamErrorParameters(BMSEventParameters& parameters, std::int64_t arrayFailureCode,
                                     std::string_view paramName, std::string_view eventName);

// The name of the engine's own error events.
inline constexpr const char* kErrorEventName = "_err";

// The engine's own "_err" event (origin "auto"); code 0 logs nothing.
void BMSLogErrorEvent(std::int64_t code);
// The same with "_ev"/"_el" for a refused name; the value's length goes along only when it exceeds the
// maximum or the code is 4 or 7.
void BMSLogErrorEventWithValue(std::int64_t code, const BMSObject& name, std::int64_t maxLength,
                               const std::optional<BMSObject>& value);

}  // namespace beacon
