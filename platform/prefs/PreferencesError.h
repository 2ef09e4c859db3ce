#pragma once
// Failures of the preferences layer.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace platform {

inline constexpr std::string_view kPreferencesErrorDomain = "platform.prefs";

enum class PreferencesErrorCode : std::int64_t {
  InvalidValue = 1,   // the value has no property-list form (null inside, unencodable date or text)
  NotPersistent = 2,  // the domain's file cannot be reached or written; values live in memory only
  DamagedFile = 3,    // the domain's file could not be read or parsed
};

inline Error preferencesError(PreferencesErrorCode code, std::string description) {
  return Error(std::string(kPreferencesErrorDomain), static_cast<std::int64_t>(code), std::move(description));
}

inline bool isPreferencesError(const Error& error, PreferencesErrorCode code) {
  return error.is(kPreferencesErrorDomain, static_cast<std::int64_t>(code));
}

}  // namespace platform
