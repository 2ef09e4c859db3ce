#include "platform/net/HttpError.h"

namespace platform {

Error makeHttpError(std::int64_t code, std::string description) {
  return Error(std::string(kHttpErrorDomain), code, std::move(description));
}

}  // namespace platform
