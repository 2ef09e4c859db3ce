#include "measurement/reporters/BMSSessionReporter.h"

#include <algorithm>
#include <cmath>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/time/StampAge.h"

namespace beacon {
namespace {

std::int64_t wholeSeconds(double timestamp) {
  return static_cast<std::int64_t>(std::trunc(timestamp));
}

std::int64_t milliseconds(double seconds) {
  return static_cast<std::int64_t>(seconds * 1000);
}

}  // namespace

std::shared_ptr<BMSSessionReporter> BMSSessionReporter::initWithPersistedConfig(
    std::shared_ptr<BMSPersistedConfig> persistedConfig, std::shared_ptr<BMSReporterHost> host,
    std::shared_ptr<const platform::Clock> clock, platform::NotificationCenter& notifications) {
  return std::shared_ptr<BMSSessionReporter>(
      new BMSSessionReporter(std::move(persistedConfig), std::move(host), std::move(clock), notifications));
}

BMSSessionReporter::BMSSessionReporter(std::shared_ptr<BMSPersistedConfig> persistedConfig,
                                       std::shared_ptr<BMSReporterHost> host,
                                       std::shared_ptr<const platform::Clock> clock,
                                       platform::NotificationCenter& notifications)
    : persistedConfig_(std::move(persistedConfig)),
      host_(std::move(host)),
      clock_(std::move(clock)),
      notifications_(notifications),
      userEngagementTimer_(platform::mainQueue(), kBMSEngagementTimerName, clock_),
      engagementStartUptime_(currentUptime()),
      freerideEngagementStartUptime_(engagementStartUptime_),
      timeoutSessionInterval_(host_->remoteConfig()->sessionDefaultTimeoutInterval()) {}

BMSSessionReporter::~BMSSessionReporter() = default;

double BMSSessionReporter::currentUptime() const {
  return clock_->secondsSinceBoot();
}

double BMSSessionReporter::currentClockTime() const {
  return clock_->now().unixSeconds();
}

bool BMSSessionReporter::efficientReporting() const {
  return host_->remoteConfig()->efficientEngagementReportingEnabled();
}

void BMSSessionReporter::invalidate() {
  {
    std::lock_guard lock(mutex_);
    invalidated_ = true;
    reportingEnabled_ = false;
  }
  userEngagementTimer_.cancel();
}

void BMSSessionReporter::setReportingEnabled(bool enabled) {
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;
    reportingEnabled_ = enabled;
  }
  if (!enabled) {
    userEngagementTimer_.cancel();
  } else if (isActive() && !userEngagementTimer_.scheduledTimestamp()) {
    rescheduleUserEngagementTimer();
  }
}

bool BMSSessionReporter::isReportingEnabled() const {
  std::lock_guard lock(mutex_);
  return reportingEnabled_;
}

void BMSSessionReporter::setTimeoutSessionInterval(double seconds) {
  if (seconds < 0) {
    BMSLog(3, 33001, "Received negative timeout session duration. Setting to 0.0 instead.");
    seconds = 0;
  }
  std::lock_guard lock(mutex_);
  timeoutSessionInterval_ = seconds;
}

double BMSSessionReporter::timeoutSessionInterval() const {
  std::lock_guard lock(mutex_);
  return timeoutSessionInterval_;
}

bool BMSSessionReporter::isSessionExpiredLocked() const {
  return platform::secondsFromStampEitherWay(persistedConfig_->lastSessionActivityClockTime(),
                                             currentClockTime()) > timeoutSessionInterval_;
}

bool BMSSessionReporter::isSessionExpired() const {
  std::lock_guard lock(mutex_);
  return isSessionExpiredLocked();
}

bool BMSSessionReporter::shouldStartNewSession() const {
  return isActive() && isSessionExpired();
}

bool BMSSessionReporter::extendSession() {
  std::lock_guard lock(mutex_);
  if (invalidated_ || isSessionExpiredLocked()) return false;
  persistedConfig_->setLastSessionActivityClockTime(currentClockTime());
  return true;
}

void BMSSessionReporter::updatePropertiesForNewSessionStart() {
  std::lock_guard lock(mutex_);
  if (!invalidated_) startNewSessionLocked(currentClockTime());
}

std::int64_t BMSSessionReporter::startNewSessionLocked(double now) {
  const std::int64_t sessionNumber = persistedConfig_->sessionNumber() + 1;
  persistedConfig_->setSessionNumber(sessionNumber);
  persistedConfig_->setLastSessionActivityClockTime(now);
  return sessionNumber;
}

std::optional<BMSUserAttribute> BMSSessionReporter::sessionIDPropertyWithTimestamp(double timestamp) const {
  return BMSUserAttribute::initWithOrigin(kAutomaticOrigin, "_sid",
                                          BMSValue::initWithInt64(wholeSeconds(timestamp)), timestamp);
}

std::optional<BMSUserAttribute> BMSSessionReporter::sessionNumberProperty() const {
  return BMSUserAttribute::initWithOrigin(kAutomaticOrigin, "_sno",
                                          BMSValue::initWithInt64(persistedConfig_->sessionNumber()),
                                          currentClockTime());
}

void BMSSessionReporter::setSessionID(std::optional<std::int64_t> sessionID,
                                      std::optional<std::int64_t> sessionNumber) {
  const auto value = [](std::optional<std::int64_t> number) -> std::optional<BMSValue> {
    if (!number) return std::nullopt;
    return BMSValue::initWithInt64(*number);
  };
  host_->setInternalUserProperty(value(sessionID), "_sid", kAutomaticOrigin);
  host_->setInternalUserProperty(value(sessionNumber), "_sno", kAutomaticOrigin);
}

std::optional<BMSEvent> BMSSessionReporter::sessionStartEventWithTimestamp(double timestamp,
                                                                           const BMSValue& sessionNumber,
                                                                           bool inBackground) const {
  BMSParameters parameters{{"_sid", BMSValue::initWithInt64(wholeSeconds(timestamp))},
                           {"_sno", sessionNumber}};
  if (inBackground) {
    parameters.emplace("_aib", BMSValue::initWithInt64(1));
  } else {
    parameters.merge(host_->currentScreenParameters());
  }
  return BMSEvent::initWithOrigin(kAutomaticOrigin, false, "_s", timestamp, 0, parameters);
}

void BMSSessionReporter::logSessionStartEvent() {
  if (!isActive()) {
    BMSLog(7, 33005, "Session start event not logged. Application is not active");
    return;
  }
  std::int64_t sessionID = 0;
  std::int64_t sessionNumber = 0;
  {
    std::lock_guard lock(mutex_);
    if (invalidated_ || !reportingEnabled_) return;
    const double now = currentClockTime();
    sessionNumber = startNewSessionLocked(now);
    sessionID = wholeSeconds(now);
  }
  setSessionID(sessionID, sessionNumber);
  host_->logInternalEvent(
      kAutomaticOrigin, "_s",
      {{"_sid", BMSValue::initWithInt64(sessionID)}, {"_sno", BMSValue::initWithInt64(sessionNumber)}});
}

double BMSSessionReporter::incurredEngagementTimeLocked(bool efficient) const {
  const double incurred =
      currentUptime() - (efficient ? freerideEngagementStartUptime_ : engagementStartUptime_);
  if (incurred < 0) {
    BMSLog(4, 33004, "Incurred engagement time is negative. Setting to 0.0 instead");
    return 0;
  }
  return incurred;
}

double BMSSessionReporter::incurredEngagementTime() const {
  const bool efficient = efficientReporting();
  std::lock_guard lock(mutex_);
  return incurredEngagementTimeLocked(efficient);
}

std::int64_t BMSSessionReporter::cutFreerideEngagementTimeMillis() {
  if (!efficientReporting()) return 0;
  std::lock_guard lock(mutex_);
  if (invalidated_) return 0;
  const std::int64_t engaged = milliseconds(incurredEngagementTimeLocked(true));
  freerideEngagementStartUptime_ = currentUptime();
  return engaged;
}

std::int64_t BMSSessionReporter::logEngagementEventAndReturnTimeWithScreen(const BMSScreen* screen,
                                                                           bool isRedundant) {
  if (!isActive()) {
    BMSLog(7, 33006, "User engagement event not logged. Application is not active");
    return 0;
  }
  const bool efficient = efficientReporting();
  std::int64_t engaged = 0;
  bool report = false;
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return 0;
    report = reportingEnabled_;
    if (report)
      engaged = milliseconds(std::min(incurredEngagementTimeLocked(efficient), kMaxEngagementSeconds));
    const double now = currentUptime();
    engagementStartUptime_ = now;
    if (efficient && !isRedundant) freerideEngagementStartUptime_ = now;
    persistedConfig_->setLastSessionActivityClockTime(currentClockTime());
  }
  if (report) {
    BMSParameters parameters = screen ? screen->parameters() : BMSParameters{};
    parameters.insert_or_assign("_et", BMSValue::initWithInt64(engaged));
    if (efficient && isRedundant) parameters.insert_or_assign("_fr", BMSValue::initWithInt64(1));
    host_->logInternalEvent(kAutomaticOrigin, "_e", parameters);
  }
  rescheduleUserEngagementTimer();
  return engaged;
}

std::int64_t BMSSessionReporter::logUserEngagementEvent() {
  return logEngagementEventAndReturnTimeWithScreen(nullptr, false);
}

void BMSSessionReporter::logAppBackgroundEvent(std::int64_t engagedMilliseconds) {
  if (!isReportingEnabled() || !host_->remoteConfig()->appBackgroundedEventEnabled()) return;
  if (!isActive()) {
    BMSLog(7, 33008, "App backgrounded event not logged. Application is not active");
    return;
  }
  BMSParameters parameters;
  if (engagedMilliseconds >= 1 && efficientReporting()) {
    parameters.emplace("_et", BMSValue::initWithInt64(engagedMilliseconds));
  }
  host_->logInternalEvent(kAutomaticOrigin, "_ab", parameters);
}

void BMSSessionReporter::rescheduleUserEngagementTimer() {
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;
  }
  userEngagementTimer_.runAfterDelay(host_->remoteConfig()->sessionEventUserEngagementInterval(),
                                     [weakSelf = weak_from_this()] {
                                       const std::shared_ptr<BMSSessionReporter> self = weakSelf.lock();
                                       if (!self) return;
                                       self->notifications_.post(kBMSSessionReporterEngagementTimerDidFire);
                                       self->logUserEngagementEvent();
                                     });
}

void BMSSessionReporter::handleAppDidBecomeActive() {
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;
    engagementStartUptime_ = currentUptime();
    freerideEngagementStartUptime_ = engagementStartUptime_;
  }
  rescheduleUserEngagementTimer();
  if (shouldStartNewSession() && isReportingEnabled()) {
    setSessionID(std::nullopt, std::nullopt);
    logSessionStartEvent();
  }
}

void BMSSessionReporter::handleAppWillResignActiveWithScreen(const BMSScreen* screen) {
  {
    std::lock_guard lock(mutex_);
    if (invalidated_) return;
  }
  const std::shared_ptr<BMSRemoteConfig> config = host_->remoteConfig();
  const bool backgroundedEvent = config->appBackgroundedEventEnabled();
  const std::int64_t engaged = backgroundedEvent && config->redundantEngagementRemovalEnabled()
                                   ? cutFreerideEngagementTimeMillis()
                                   : logEngagementEventAndReturnTimeWithScreen(screen, backgroundedEvent);
  logAppBackgroundEvent(engaged);
  userEngagementTimer_.cancel();
}

void BMSSessionReporter::handleScreenDidChangeFromScreen(const BMSScreen* previous, const BMSScreen*) {
  if (!previous || incurredEngagementTime() < 1) return;
  const std::shared_ptr<BMSRemoteConfig> config = host_->remoteConfig();
  const bool efficient = config->efficientEngagementReportingEnabled();
  if (efficient && config->redundantEngagementRemovalEnabled()) return;
  logEngagementEventAndReturnTimeWithScreen(previous, efficient);
}

}  // namespace beacon
