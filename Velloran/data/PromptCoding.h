#pragma once
// The keyed exchange form of the prompt values: one JSON object per record whose keys are exactly
// the field names, written in declaration order. UUIDs are written as upper-case hyphenated text
// (either case is read), dates as seconds since 2001-01-01 00:00:00 UTC, a PromptType as its raw
// value; `versionRef` is left out when absent and reads as absent when missing or null.
//
// Decoding matches keys exactly, ignores keys it does not know and fails as a whole on the first
// problem, in field order, with one of three kinds (CodingErrorCode): a required key missing, a
// value of the wrong kind (null included), or a value of the right kind that cannot be read (an
// unknown type text, a malformed UUID, a fractional or out-of-range version number, text that is
// not JSON). Encoding refuses what JSON cannot carry faithfully (NaN or infinite numbers,
// ill-formed UTF-8) instead of writing something that would not read back.
//
// Pure functions, safe on any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Velloran/data/PromptType.h"
#include "Velloran/data/PromptValues.h"
#include "platform/error/Result.h"

namespace velloran {

inline constexpr std::string_view kCodingErrorDomain = "Velloran.CodingError";

struct CodingErrorCode {
  enum : std::int64_t {
    keyNotFound = 1,
    typeMismatch = 2,
    dataCorrupted = 3,
    invalidValue = 4,  // encoding only
  };
};

platform::Result<nlohmann::ordered_json> encodeJson(const Prompt& prompt);
platform::Result<nlohmann::ordered_json> encodeJson(const PromptVersion& version);
platform::Result<nlohmann::ordered_json> encodeJson(const PromptRun& run);
platform::Result<nlohmann::ordered_json> encodeJson(const Snippet& snippet);
platform::Result<nlohmann::ordered_json> encodeJson(const SmartFilter& filter);
platform::Result<nlohmann::ordered_json> encodeJson(PromptType type);

template <class T>
platform::Result<T> decodeJson(const nlohmann::ordered_json& json);
template <>
platform::Result<Prompt> decodeJson<Prompt>(const nlohmann::ordered_json& json);
template <>
platform::Result<PromptVersion> decodeJson<PromptVersion>(const nlohmann::ordered_json& json);
template <>
platform::Result<PromptRun> decodeJson<PromptRun>(const nlohmann::ordered_json& json);
template <>
platform::Result<Snippet> decodeJson<Snippet>(const nlohmann::ordered_json& json);
template <>
platform::Result<SmartFilter> decodeJson<SmartFilter>(const nlohmann::ordered_json& json);
template <>
platform::Result<PromptType> decodeJson<PromptType>(const nlohmann::ordered_json& json);

// The same as compact JSON text; text that is not JSON fails to decode as data corrupted. Defined
// for the six types above.
template <class T>
platform::Result<std::string> encodeJsonText(const T& value);
template <class T>
platform::Result<T> decodeJsonText(std::string_view text);

}  // namespace velloran
