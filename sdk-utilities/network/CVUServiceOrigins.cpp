#include "sdk-utilities/network/CVUServiceOrigins.h"

#include <cstdlib>
#include <optional>

#include "platform/net/Url.h"

namespace beacon {
namespace {

const char* builtInOrigin(CVUService service) {
  switch (service) {
    case CVUService::Installations:
      return "https://installations.beacon.corvane.com";
    case CVUService::Configuration:
      return "https://config.beacon.corvane.com";
    case CVUService::Upload:
      return "https://upload.beacon.corvane.com";
    case CVUService::DeepLink:
      return "https://deeplink.beacon.corvane.com";
    case CVUService::Attribution:
      return "https://attribution.beacon.corvane.com";
    case CVUService::Conversion:
      return "https://conversion.beacon.corvane.com";
  }
  return "";
}

// The override when it is a bare http(s) origin.
std::optional<std::string> overrideOrigin() {
  const char* value = std::getenv(kCVUServiceOriginVariable);
  if (!value) return std::nullopt;
  std::string origin = value;
  if (origin.ends_with('/')) origin.pop_back();
  const std::optional<platform::Url> url = platform::Url::parse(origin);
  if (!url || !url->isWeb()) return std::nullopt;
  const std::size_t authority = origin.find("://") + 3;
  if (origin.find_first_of("/?#", authority) != std::string::npos || origin.find('@') != std::string::npos) {
    return std::nullopt;
  }
  return origin;
}

}  // namespace

std::string CVUServiceOrigin(CVUService service) {
  return overrideOrigin().value_or(builtInOrigin(service));
}

std::string CVUServiceURL(CVUService service, std::string_view path) {
  std::string url = CVUServiceOrigin(service);
  if (!path.empty() && path.front() != '/') url += '/';
  url += path;
  return url;
}

std::string CVUServiceHost(CVUService service) {
  const std::optional<platform::Url> url = platform::Url::parse(CVUServiceOrigin(service));
  return url ? url->host() : std::string();
}

}  // namespace beacon
