#pragma once
// The heartbeat service as the rest of the SDK sees it. Each configured app owns one logger, made
// for the app's Corvane app ID: the app logs a heartbeat through it whenever the application becomes
// active, and the installations client drains it into the "X-beacon-client" header of each request
// (flushHeartbeatsIntoPayload, then BCNHeartbeatHeaderValue). Loggers of one app ID share one store.
//
// Threads: any thread. log never blocks; flushHeartbeatsIntoPayload and heartbeatCodeForToday wait
// until the ID's storage queue has run all earlier work and must not be called from that queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/time/Clock.h"
#include "sdk-core/BCNHeartbeatController.h"

namespace beacon {

// What network clients hold the logger as.
class BCNHeartbeatLoggerProtocol {
 public:
  virtual ~BCNHeartbeatLoggerProtocol() = default;

  virtual void log() = 0;
  virtual std::shared_ptr<BCNHeartbeatsPayload> flushHeartbeatsIntoPayload() = 0;
  // 0: no heartbeat was stored for today; 2: today's heartbeat was stored and is now taken out.
  virtual std::int64_t heartbeatCodeForToday() = 0;
};

inline constexpr std::int64_t kBCNHeartbeatCodeNone = 0;
inline constexpr std::int64_t kBCNHeartbeatCodeTodayTakenOut = 2;

class BCNHeartbeatLogger final : public BCNHeartbeatLoggerProtocol {
 public:
  using UserAgentProvider = std::function<std::string()>;

  // A provider that answers the SDK's current user-agent text (BCNApp::beaconUserAgent) at each call.
  static UserAgentProvider currentUserAgentProvider();

  // Logs under the current SDK user agent.
  explicit BCNHeartbeatLogger(const std::string& appID);
  // `clock` is the system clock when not given.
  BCNHeartbeatLogger(const std::string& appID, UserAgentProvider userAgentProvider,
                     std::shared_ptr<const platform::Clock> clock = nullptr);

  BCNHeartbeatController& heartbeatController() { return heartbeatController_; }
  const UserAgentProvider& userAgentProvider() const { return userAgentProvider_; }

  // Asks the provider on the calling thread, then records the heartbeat later on the storage queue.
  void log() override;
  std::shared_ptr<BCNHeartbeatsPayload> flushHeartbeatsIntoPayload() override;
  std::int64_t heartbeatCodeForToday() override;
  // Waits until every heartbeat logged before is stored; not from the storage queue.
  void waitForLoggedHeartbeats() { heartbeatController_.waitForLoggedHeartbeats(); }

 private:
  BCNHeartbeatController heartbeatController_;
  UserAgentProvider userAgentProvider_;
};

}  // namespace beacon
