#pragma once
// Sessions and engagement: decides when a session has expired, numbers sessions, and logs the
// session start "_s", the user engagement "_e" with the engaged time and the app-backgrounded event
// "_ab" (all with origin "auto"). The session number and the last activity time live in the
// persisted configuration and survive restarts; the engagement spans are measured in seconds since
// boot, so a wall clock set back cannot stretch them.
//
// The engine makes one at component start and a new one after a data wipe; the replaced one is
// invalidated and from then on does nothing. The screen-view reporter forwards the application's
// activation changes and screen changes; the engine asks for expiry and the session properties on
// the worker queue; the engagement timer fires on the main queue.
//
// Threads: any. The reporter's state is guarded by its own lock, which is never held while it calls
// out (events, user properties, the timer, notifications).

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/reporters/BMSReporterHost.h"
#include "measurement/reporters/BMSScreen.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/Clock.h"

namespace beacon {

class BMSPersistedConfig;

inline constexpr const char* kBMSSessionReporterEngagementTimerDidFire =
    "kBMSSessionReporterEngagementTimerDidFire";
inline constexpr const char* kBMSEngagementTimerName = "Engagement timer";

class BMSSessionReporter : public std::enable_shared_from_this<BMSSessionReporter> {
 public:
  // Engaged time reported at most per "_e", in seconds.
  static constexpr double kMaxEngagementSeconds = 3600;

  // Both engagement spans start now; the timeout starts at the configuration's default.
  static std::shared_ptr<BMSSessionReporter> initWithPersistedConfig(
      std::shared_ptr<BMSPersistedConfig> persistedConfig, std::shared_ptr<BMSReporterHost> host,
      std::shared_ptr<const platform::Clock> clock, platform::NotificationCenter& notifications);
  ~BMSSessionReporter();
  BMSSessionReporter(const BMSSessionReporter&) = delete;
  BMSSessionReporter& operator=(const BMSSessionReporter&) = delete;

  // Off cancels the engagement timer; on arms it when the app is active and it is not armed.
  void setReportingEnabled(bool enabled);
  bool isReportingEnabled() const;
  // A negative interval is logged (33001) and stored as 0.
  void setTimeoutSessionInterval(double seconds);
  double timeoutSessionInterval() const;

  // More than the timeout has passed (either way on the wall clock) since the last activity.
  bool isSessionExpired() const;
  bool shouldStartNewSession() const;
  // Moves the last activity to now when the session has not expired; false (nothing changed) else.
  bool extendSession();
  // Session number plus one, last activity now.
  void updatePropertiesForNewSessionStart();

  // "_sid" = the time stamp in whole seconds (set at that time) and "_sno" = the session number (set
  // now), origin "auto".
  std::optional<BMSUserAttribute> sessionIDPropertyWithTimestamp(double timestamp) const;
  std::optional<BMSUserAttribute> sessionNumberProperty() const;
  // Sets "_sid" then "_sno" through the facade; none removes them.
  void setSessionID(std::optional<std::int64_t> sessionID, std::optional<std::int64_t> sessionNumber);
  // The "_s" event the engine logs itself: "_sid" = the time stamp in whole seconds, "_sno" = the
  // given number, then "_aib" = 1 in the background, else the current screen parameters.
  std::optional<BMSEvent> sessionStartEventWithTimestamp(double timestamp, const BMSValue& sessionNumber,
                                                         bool inBackground) const;

  void logSessionStartEvent();
  // "_e" with the engaged milliseconds (capped at an hour) and the screen's parameters; "_fr" = 1
  // when the engagement is reported a second time through another event. Answers the engaged
  // milliseconds (0 when not active or not reporting).
  std::int64_t logEngagementEventAndReturnTimeWithScreen(const BMSScreen* screen, bool isRedundant);
  std::int64_t logUserEngagementEvent();
  void logAppBackgroundEvent(std::int64_t milliseconds);
  // Under efficient engagement reporting: the engagement not yet reported, in milliseconds (no cap),
  // and the span starts again. 0 otherwise.
  std::int64_t cutFreerideEngagementTimeMillis();
  double incurredEngagementTime() const;

  void handleAppDidBecomeActive();
  void handleAppWillResignActiveWithScreen(const BMSScreen* screen);
  void handleScreenDidChangeFromScreen(const BMSScreen* previous, const BMSScreen* next);
  void rescheduleUserEngagementTimer();

  // Seconds since boot, and the wall clock in seconds since 1970.
  double currentUptime() const;
  double currentClockTime() const;

  // The engine replaced this reporter: the timer stops and every handler does nothing from now on.
  void invalidate();

 private:
  BMSSessionReporter(std::shared_ptr<BMSPersistedConfig> persistedConfig,
                     std::shared_ptr<BMSReporterHost> host, std::shared_ptr<const platform::Clock> clock,
                     platform::NotificationCenter& notifications);
  bool isActive() const { return host_->isAppActive(); }
  bool efficientReporting() const;
  // Needs `mutex_`.
  double incurredEngagementTimeLocked(bool efficient) const;
  bool isSessionExpiredLocked() const;
  // The next session number, started at `now`; answers the number.
  std::int64_t startNewSessionLocked(double now);

  const std::shared_ptr<BMSPersistedConfig> persistedConfig_;
  const std::shared_ptr<BMSReporterHost> host_;
  const std::shared_ptr<const platform::Clock> clock_;
  platform::NotificationCenter& notifications_;
  BMSAlarm userEngagementTimer_;

  mutable std::mutex mutex_;
  double engagementStartUptime_;
  double freerideEngagementStartUptime_;
  bool reportingEnabled_ = false;
  double timeoutSessionInterval_;
  bool invalidated_ = false;
};

}  // namespace beacon
