#include "sdk-utilities/network/CVUNetworkLogging.h"

#include <cstdio>

namespace beacon {

platform::Error CVUNetworkError(std::int64_t code, const std::string& context) {
  platform::Error error(kCVUNetworkErrorDomain, code, context);
  error.userInfo.emplace(kCVUNetworkErrorContext, platform::Value(context));
  return error;
}

std::string CVUNetworkMessageCode(std::int64_t code) {
  char text[32];
  std::snprintf(text, sizeof text, "I-NET%06lld", static_cast<long long>(code));
  return text;
}

}  // namespace beacon
