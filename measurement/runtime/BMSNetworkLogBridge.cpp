#include "measurement/runtime/BMSNetworkLogBridge.h"

#include "measurement/engine/BMSEngineServices.h"

namespace beacon {

std::int64_t BMSNetworkLogBridge::monitorLevelForNetworkLevel(int level) {
  switch (level) {
    case 3:
      return 1;
    case 4:
      return 4;
    case 6:
      return 6;
    case 7:
      return 7;
    default:
      return 3;
  }
}

void BMSNetworkLogBridge::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                                  std::optional<std::string> message,
                                                  std::vector<CVUNetworkContext> contexts) {
  std::vector<platform::Value> values;
  values.reserve(contexts.size());
  for (CVUNetworkContext& context : contexts) {
    values.push_back(context ? platform::Value(std::move(*context)) : platform::Value());
  }
  BMSLog(monitorLevelForNetworkLevel(level), messageCode, message.value_or(""), std::move(values));
}

void BMSNetworkLogBridge::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                                  std::optional<std::string> message,
                                                  CVUNetworkContext context) {
  std::vector<CVUNetworkContext> contexts;
  if (context) contexts.push_back(std::move(context));
  CVUNetwork_logWithLevel(level, messageCode, std::move(message), std::move(contexts));
}

void BMSNetworkLogBridge::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                                  std::optional<std::string> message) {
  CVUNetwork_logWithLevel(level, messageCode, std::move(message), std::vector<CVUNetworkContext>{});
}

}  // namespace beacon
