#include "sdk-core/BCNHeartbeatLogger.h"

#include "sdk-core/BCNApp.h"

namespace beacon {

BCNHeartbeatLogger::UserAgentProvider BCNHeartbeatLogger::currentUserAgentProvider() {
  return [] { return BCNApp::beaconUserAgent(); };
}

BCNHeartbeatLogger::BCNHeartbeatLogger(const std::string& appID)
    : BCNHeartbeatLogger(appID, currentUserAgentProvider()) {}

BCNHeartbeatLogger::BCNHeartbeatLogger(const std::string& appID, UserAgentProvider userAgentProvider,
                                       std::shared_ptr<const platform::Clock> clock)
    : heartbeatController_(appID, std::move(clock)), userAgentProvider_(std::move(userAgentProvider)) {}

void BCNHeartbeatLogger::log() {
  heartbeatController_.log(userAgentProvider_());
}

std::shared_ptr<BCNHeartbeatsPayload> BCNHeartbeatLogger::flushHeartbeatsIntoPayload() {
  return heartbeatController_.flush();
}

std::int64_t BCNHeartbeatLogger::heartbeatCodeForToday() {
  return heartbeatController_.flushHeartbeatFromToday()->isEmpty() ? kBCNHeartbeatCodeNone
                                                                   : kBCNHeartbeatCodeTodayTakenOut;
}

}  // namespace beacon
