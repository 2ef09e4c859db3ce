#pragma once
// Object faces of the heartbeat service for the rest of the SDK: BCNHeartbeatController wraps one
// app ID's HeartbeatController, BCNHeartbeatsPayload wraps what a flush yields, and
// BCNHeartbeatHeaderValue turns a payload into the text of the "X-beacon-client" request header.
//
// Threads: as HeartbeatController: any thread, log never blocks, the flushes wait for the ID's
// storage queue and must not be called from it. Payloads are immutable.

#include <memory>
#include <optional>
#include <string>

#include "platform/time/Clock.h"
#include "sdk-core/heartbeat/HeartbeatController.h"
#include "sdk-core/heartbeat/HeartbeatsPayload.h"

namespace beacon {

class BCNHeartbeatsPayload {
 public:
  explicit BCNHeartbeatsPayload(HeartbeatsPayload heartbeatsPayload)
      : heartbeatsPayload_(std::move(heartbeatsPayload)) {}

  const HeartbeatsPayload& heartbeatsPayload() const { return heartbeatsPayload_; }
  bool isEmpty() const { return heartbeatsPayload_.isEmpty(); }
  std::string headerValue() const { return heartbeatsPayload_.headerValue(); }

 private:
  HeartbeatsPayload heartbeatsPayload_;
};

class BCNHeartbeatController {
 public:
  // The controller of `id` over the ID's shared storage, reading the date from `clock` (the system
  // clock when not given).
  explicit BCNHeartbeatController(const std::string& id,
                                  std::shared_ptr<const platform::Clock> clock = nullptr);

  void log(const std::string& agent) { heartbeatController_.log(agent); }
  std::shared_ptr<BCNHeartbeatsPayload> flush();
  std::shared_ptr<BCNHeartbeatsPayload> flushHeartbeatFromToday();
  void waitForLoggedHeartbeats() { heartbeatController_.waitForLoggedHeartbeats(); }

 private:
  HeartbeatController heartbeatController_;
};

// Nothing for an empty payload, else its header value.
std::optional<std::string> BCNHeartbeatHeaderValue(const BCNHeartbeatsPayload& payload);

}  // namespace beacon
