#include "platform/mirror/CloudMirrorError.h"

#include <cstring>

namespace platform {

Error cloudMirrorError(CloudMirrorErrorCode code, std::string description, int errnoValue) {
  if (errnoValue != 0) description += ": " + std::string(std::strerror(errnoValue));
  return Error(std::string(kCloudMirrorErrorDomain), static_cast<std::int64_t>(code), std::move(description));
}

}  // namespace platform
