#pragma once
// The engine's logger delegate at its HTTP client: the client's log lines go to the engine's log
// (the monitor) with their message code unchanged and the client's level mapped to the monitor's:
// 3 error → 1, 4 warning → 4, 5 notice → 3, 6 info → 6, 7 debug → 7, anything else → 3.
// Called on the client's threads; holds no state.

#include <cstdint>

#include "sdk-utilities/network/CVUNetworkLogging.h"

namespace beacon {

class BMSNetworkLogBridge final : public CVUNetworkLoggerDelegate {
 public:
  static std::int64_t monitorLevelForNetworkLevel(int level);

  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode, std::optional<std::string> message,
                               std::vector<CVUNetworkContext> contexts) override;
  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode, std::optional<std::string> message,
                               CVUNetworkContext context) override;
  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                               std::optional<std::string> message) override;
};

}  // namespace beacon
