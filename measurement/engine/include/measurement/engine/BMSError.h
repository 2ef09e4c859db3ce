#pragma once
// The engine's error objects and the functions that fill an error out-slot, used throughout the
// engine and its storage.
//
// An engine error has the measurement error domain, a code from the caller's block (12000 the
// database, 34000 the SQLite store, ...), the description in `description` and, under
// "BMSMonitorContext" in its user info, a context text for the monitor. Empty texts are left out of
// the user info.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Error.h"

namespace beacon {

inline constexpr std::string_view kBMSMonitorContextKey = "BMSMonitorContext";

// The measurement error domain: the vendor's reverse-DNS prefix + "cnp.measurement.ErrorDomain".
const std::string& BMSErrorDomain();

platform::Error bms_errorWithCode(std::int64_t code, std::string_view description,
                                  std::string_view monitorContext = {});

// Log contexts are values, so an error or an exception handed to the monitor travels as a dictionary
// marked by the keys below; these make and recognise such contexts.
platform::Value BMSContextFromError(const platform::Error& error);
// No value when there is no error.
platform::Value BMSContextFromError(const std::optional<platform::Error>& error);
std::optional<platform::Error> BMSErrorFromContext(const platform::Value& context);
// `name` is the exception's type name, `reason` its message.
platform::Value BMSContextFromException(std::string_view name, std::string_view reason);
bool BMSIsExceptionContext(const platform::Value& context);

// The "BMSMonitorContext" texts of those contexts that are errors of the measurement domain and carry
// a non-empty one, in order, joined with ","; empty when there are none.
std::string BMSMonitorContextFromErrors(const std::vector<platform::Value>& contexts);

// Each stores a new engine error in `error` when it is given.
void BMSSetError(platform::Error* error, std::int64_t code, std::string_view description);
void BMSSetErrorWithContext(platform::Error* error, std::int64_t code, std::string_view description,
                            std::string_view context);

// Each answers the truth of its first argument and, when it is false, sets the error as BMSSetError.
bool BMSCheckOrSetErrorBool(bool condition, platform::Error* error, std::int64_t code,
                            std::string_view description);
bool BMSCheckOrSetErrorPointer(const void* pointer, platform::Error* error, std::int64_t code,
                               std::string_view description);
bool BMSCheckOrSetErrorValue(std::int64_t value, platform::Error* error, std::int64_t code,
                             std::string_view description);
// An object is "there" when it holds a value (optional, smart pointer, Result).
template <class Object>
bool BMSCheckOrSetErrorObject(const Object& object, platform::Error* error, std::int64_t code,
                              std::string_view description) {
  return BMSCheckOrSetErrorBool(static_cast<bool>(object), error, code, description);
}

}  // namespace beacon
