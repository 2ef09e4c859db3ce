#pragma once
// The bridge between Value and JSON: text in both directions, and nlohmann::json documents for
// callers that build or inspect JSON themselves (nlohmann::ordered_json where key order matters).
// Pure functions, safe from any thread; failures are Error values in kJsonErrorDomain.
//
// Kinds keep their identity: true stays a bool, 3 an integer, 3.0 a double (written as "3.0").
// Dates and bytes have no JSON form and are refused, never converted silently; so are NaN and the
// infinities, which JSON cannot spell. An integer above the int64 range reads as the nearest
// double. Dictionaries are written in key order, so equal values give identical text.

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

inline constexpr std::string_view kJsonErrorDomain = "platform.json";

struct JsonErrorCode {
  enum : std::int64_t {
    Malformed = 1,        // not JSON text, or nested beyond what the reader accepts
    Unrepresentable = 2,  // a value without JSON form (date, bytes, NaN, invalid UTF-8, binary)
  };
};

Result<Value> parseJson(std::string_view text);
// Compact text without white space; non-ASCII characters are written as UTF-8.
Result<std::string> writeJson(const Value& value);

Result<nlohmann::json> toJson(const Value& value);
Result<nlohmann::ordered_json> toOrderedJson(const Value& value);
Result<Value> fromJson(const nlohmann::json& json);
Result<Value> fromJson(const nlohmann::ordered_json& json);

}  // namespace platform
