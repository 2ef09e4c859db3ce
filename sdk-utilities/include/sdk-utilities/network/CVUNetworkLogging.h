#pragma once
// The network layer's logging: the delegate protocol through which CVUNetwork and its URL sessions
// send every log line, and the network error domain.
//
// Message codes are numbers (900000-902005); when the network layer prints a line itself it writes
// them as "I-NET%06ld" under "[CVUNetwork]". Contexts are texts; a context that is no value (nullopt)
// prints as "(nil)".

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/error/Error.h"

namespace beacon {

using CVUNetworkContext = std::optional<std::string>;

// The levels of the network layer's lines, numbered like the system log's.
namespace cvu_network_log_level {
inline constexpr int kError = 3, kWarning = 4, kInfo = 6, kDebug = 7;
}  // namespace cvu_network_log_level

class CVUNetworkLoggerDelegate {
 public:
  virtual ~CVUNetworkLoggerDelegate() = default;
  virtual void CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                       std::optional<std::string> message,
                                       std::vector<CVUNetworkContext> contexts) = 0;
  virtual void CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                       std::optional<std::string> message, CVUNetworkContext context) = 0;
  virtual void CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                       std::optional<std::string> message) = 0;
};

inline constexpr const char* kCVUNetworkErrorDomain = "com.cvu.network.ErrorDomain";
inline constexpr const char* kCVUNetworkErrorContext = "Context";

enum CVUNetworkErrorCode : std::int64_t {
  kCVUNetworkErrorCodeInvalidURL = 1,
  kCVUNetworkErrorCodeSessionNotCreated = 2,
  kCVUNetworkErrorCodePayloadNotCompressed = 3,
  kCVUNetworkErrorCodeRequestNotCreated = 4,
  kCVUNetworkErrorCodeEmptyResponse = 5,
};

// An error of the network domain whose "Context" entry is `context`.
platform::Error CVUNetworkError(std::int64_t code, const std::string& context);

// "I-NET" and the code in six digits.
std::string CVUNetworkMessageCode(std::int64_t code);

}  // namespace beacon
