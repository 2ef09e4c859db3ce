#include "sdk-core/BCNHeartbeatController.h"

namespace beacon {

BCNHeartbeatController::BCNHeartbeatController(const std::string& id,
                                               std::shared_ptr<const platform::Clock> clock)
    : heartbeatController_(id, std::move(clock)) {}

std::shared_ptr<BCNHeartbeatsPayload> BCNHeartbeatController::flush() {
  return std::make_shared<BCNHeartbeatsPayload>(heartbeatController_.flush());
}

std::shared_ptr<BCNHeartbeatsPayload> BCNHeartbeatController::flushHeartbeatFromToday() {
  return std::make_shared<BCNHeartbeatsPayload>(heartbeatController_.flushHeartbeatFromToday());
}

std::optional<std::string> BCNHeartbeatHeaderValue(const BCNHeartbeatsPayload& payload) {
  if (payload.isEmpty()) return std::nullopt;
  return payload.headerValue();
}

}  // namespace beacon
