#pragma once
// The store lookup's own failures, each with the German text shown for it. They travel as a
// platform::Error in kLookupErrorDomain (code = the case; the status of httpStatus also in
// userInfo["statusCode"]) whose description is that text, and from() recognises them again among
// other failures.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace velloran {

inline constexpr std::string_view kLookupErrorDomain = "Velloran.AppStoreLookupService.LookupError";

struct LookupError {
  enum class Case : std::int64_t { httpStatus, invalidURL, emptyResponse };

  Case kind = Case::invalidURL;
  long statusCode = 0;  // httpStatus only

  static LookupError httpStatus(long statusCode) { return {Case::httpStatus, statusCode}; }
  static LookupError invalidURL() { return {Case::invalidURL, 0}; }
  static LookupError emptyResponse() { return {Case::emptyResponse, 0}; }

  // "App Store antwortete mit Status 404.", "Ungültige App-Store-URL.",
  // "Keine Ergebnisse für die angegebenen Apps."
  std::string errorDescription() const;
  platform::Error error() const;
  // The lookup failure `error` carries, if it is one.
  static std::optional<LookupError> from(const platform::Error& error);

  friend bool operator==(const LookupError&, const LookupError&) = default;
};

}  // namespace velloran
