#include "Velloran/services/LookupError.h"

#include "platform/text/Format.h"

namespace velloran {
namespace {

constexpr const char* kStatusCodeKey = "statusCode";

}  // namespace

std::string LookupError::errorDescription() const {
  switch (kind) {
    case Case::httpStatus:
      return platform::format("App Store antwortete mit Status %d.", statusCode);
    case Case::invalidURL:
      return "Ungültige App-Store-URL.";
    case Case::emptyResponse:
      return "Keine Ergebnisse für die angegebenen Apps.";
  }
  return {};
}

platform::Error LookupError::error() const {
  platform::Error error(std::string(kLookupErrorDomain), static_cast<std::int64_t>(kind), errorDescription());
  if (kind == Case::httpStatus) error.userInfo.emplace(kStatusCodeKey, platform::Value(statusCode));
  return error;
}

std::optional<LookupError> LookupError::from(const platform::Error& error) {
  if (error.domain != kLookupErrorDomain) return std::nullopt;
  switch (static_cast<Case>(error.code)) {
    case Case::httpStatus: {
      const auto found = error.userInfo.find(kStatusCodeKey);
      const long status = found == error.userInfo.end() ? 0 : static_cast<long>(found->second.integerValue());
      return httpStatus(status);
    }
    case Case::invalidURL:
      return invalidURL();
    case Case::emptyResponse:
      return emptyResponse();
  }
  return std::nullopt;
}

}  // namespace velloran
