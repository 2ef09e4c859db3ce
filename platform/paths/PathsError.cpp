#include "platform/paths/PathsError.h"

#include <cstring>

namespace platform {

Error pathsError(PathsErrorCode code, std::string description, int errnoValue) {
  Dictionary userInfo;
  if (errnoValue != 0) {
    description += ": ";
    description += std::strerror(errnoValue);
    userInfo.emplace(std::string(kErrnoKey), Value(errnoValue));
  }
  return Error(std::string(kPathsErrorDomain), static_cast<std::int64_t>(code), std::move(description),
               std::move(userInfo));
}

}  // namespace platform
