#include "measurement/reporters/BMSAdExposureReporter.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/reporters/BMSSessionReporter.h"

namespace beacon {
namespace {

// Whole milliseconds from `start` to `end`; pieces under a second are not reported.
std::int64_t exposureMillis(double start, double end) {
  return static_cast<std::int64_t>((end - start) * 1000);
}

}  // namespace

std::shared_ptr<BMSAdExposureReporter> BMSAdExposureReporter::make(
    std::shared_ptr<BMSReporterHost> host, std::shared_ptr<const platform::Clock> clock,
    platform::NotificationCenter& notifications) {
  std::shared_ptr<BMSAdExposureReporter> reporter(
      new BMSAdExposureReporter(std::move(host), std::move(clock)));
  reporter->engagementTimerObserver_ = notifications.addObserver(
      kBMSSessionReporterEngagementTimerDidFire, nullptr, nullptr,
      [weakReporter = std::weak_ptr<BMSAdExposureReporter>(reporter)](const platform::Notification&) {
        if (const std::shared_ptr<BMSAdExposureReporter> self = weakReporter.lock())
          self->handleEngagementTimer();
      });
  return reporter;
}

BMSAdExposureReporter::BMSAdExposureReporter(std::shared_ptr<BMSReporterHost> host,
                                             std::shared_ptr<const platform::Clock> clock)
    : host_(std::move(host)),
      clock_(std::move(clock)),
      queue_(platform::makeSerialQueue("BMSAdExposureReporter")),
      adExposureStartTime_(currentTime()) {}

void BMSAdExposureReporter::beginAdUnitExposure(const std::string& adUnitID) {
  if (adUnitID.empty()) {
    BMSLog(5, 1000, "Ignoring call to begin ad unit exposure. Received empty ad unit ID");
    return;
  }
  const double now = currentTime();
  queue_->async([weakSelf = weak_from_this(), adUnitID, now] {
    const std::shared_ptr<BMSAdExposureReporter> self = weakSelf.lock();
    if (!self) return;
    if (self->adUnitCounts_.size() >= kMaxAdUnits) {
      BMSLog(5, 1002, "Reached limit on ad units. Ignoring ad unit with ID", {adUnitID});
      return;
    }
    if (self->adUnitCounts_.empty()) self->adExposureStartTime_ = now;
    if (self->adUnitCounts_[adUnitID]++ == 0) self->adUnitStartTimes_[adUnitID] = now;
  });
}

void BMSAdExposureReporter::endAdUnitExposure(const std::string& adUnitID) {
  if (adUnitID.empty()) {
    BMSLog(5, 1003, "Ignoring call to end ad unit exposure. Received empty ad unit ID");
    return;
  }
  const double now = currentTime();
  const BMSParameters screenParameters = host_->currentScreenParameters();
  queue_->sync([&] {
    const auto count = adUnitCounts_.find(adUnitID);
    if (count == adUnitCounts_.end()) {
      BMSLog(5, 1004, "Unknown ad unit. Ignoring ad unit with ID", {adUnitID});
      return;
    }
    if (count->second >= 2) {
      --count->second;
      return;
    }
    logAdUnitExposureEventOnSerialQueue(adUnitID, now, screenParameters);
    adUnitCounts_.erase(count);
    adUnitStartTimes_.erase(adUnitID);
    if (adUnitCounts_.empty()) {
      logAdExposureEventOnSerialQueue(now, screenParameters);
      adExposureStartTime_ = now;
    }
  });
}

void BMSAdExposureReporter::logExposureEventsWithScreenParameters(const BMSParameters& screenParameters) {
  const double now = currentTime();
  queue_->sync([&] { logExposureEventsOnSerialQueue(now, screenParameters); });
}

void BMSAdExposureReporter::handleScreenDidChangeFromScreen(const BMSScreen* previous, const BMSScreen*) {
  // The piece so far belongs to the screen being left.
  if (previous) logExposureEventsWithScreenParameters(previous->parameters());
}

void BMSAdExposureReporter::handleEngagementTimer() {
  logExposureEventsWithScreenParameters(host_->currentScreenParameters());
}

void BMSAdExposureReporter::handleAppDidBecomeActive() {
  const double now = currentTime();
  queue_->sync([&] { updateStartTimesOnSerialQueue(now); });
}

void BMSAdExposureReporter::handleAppWillResignActiveWithScreen(const BMSScreen* screen) {
  BMSParameters screenParameters = screen ? screen->parameters() : BMSParameters{};
  if (screenParameters.empty()) screenParameters = host_->currentScreenParameters();
  logExposureEventsWithScreenParameters(screenParameters);
}

void BMSAdExposureReporter::logExposureEventsOnSerialQueue(double endTime,
                                                           const BMSParameters& screenParameters) {
  for (const auto& [adUnitID, count] : adUnitCounts_) {
    logAdUnitExposureEventOnSerialQueue(adUnitID, endTime, screenParameters);
  }
  if (adUnitCounts_.empty()) return;
  logAdExposureEventOnSerialQueue(endTime, screenParameters);
  updateStartTimesOnSerialQueue(endTime);
}

void BMSAdExposureReporter::updateStartTimesOnSerialQueue(double time) {
  if (adUnitCounts_.empty()) return;
  for (auto& [adUnitID, start] : adUnitStartTimes_) start = time;
  adExposureStartTime_ = time;
}

void BMSAdExposureReporter::logAdUnitExposureEventOnSerialQueue(const std::string& adUnitID, double endTime,
                                                                const BMSParameters& screenParameters) {
  if (!isReportingEnabled()) {
    BMSLog(5, 1007, "Ad unit exposure not logged. Reporting is disabled.");
    return;
  }
  if (!host_->isAppActive()) {
    BMSLog(8, 1011, "Ad unit exposure not logged. App is not active.");
    return;
  }
  const std::int64_t exposure = exposureMillis(adUnitStartTimes_.at(adUnitID), endTime);
  if (exposure <= 999) {
    BMSLog(8, 1009, "Ad unit exposure not logged. Exposure time was less than 1 sec");
    return;
  }
  BMSParameters parameters = screenParameters;
  parameters.insert_or_assign("_ai", BMSValue::initWithStringValue(adUnitID));
  parameters.insert_or_assign("_xt", BMSValue::initWithInt64(exposure));
  host_->logInternalEvent(kAdReachOrigin, "_xu", parameters);
}

void BMSAdExposureReporter::logAdExposureEventOnSerialQueue(double endTime,
                                                            const BMSParameters& screenParameters) {
  if (!isReportingEnabled()) {
    BMSLog(5, 1005, "Ad exposure not logged. Reporting is disabled.");
    return;
  }
  if (!host_->isAppActive()) {
    BMSLog(8, 1010, "Ad exposure not logged. App is not active.");
    return;
  }
  const std::int64_t exposure = exposureMillis(adExposureStartTime_, endTime);
  if (exposure <= 999) {
    BMSLog(8, 1006, "Ad exposure not logged. Exposure time was less than 1 sec");
    return;
  }
  BMSParameters parameters = screenParameters;
  parameters.insert_or_assign("_xt", BMSValue::initWithInt64(exposure));
  host_->logInternalEvent(kAdReachOrigin, "_xa", parameters);
}

}  // namespace beacon
