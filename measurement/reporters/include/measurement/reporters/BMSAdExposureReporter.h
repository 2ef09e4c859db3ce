#pragma once
// How long ad units are on screen. An ad component calls beginAdUnitExposure / endAdUnitExposure
// with an ad unit ID; the reporter keeps per unit a nesting count and the start of its unreported
// exposure, and logs "_xu" (one unit's exposure) and "_xa" (the exposure of any ad at all) with
// origin "am". Exposure is cut into pieces at screen changes, at each firing of the session
// reporter's engagement timer and when the application resigns active, so that each piece carries
// the parameters of the screen it happened on. Times are seconds since boot.
//
// Threads: every change of the counts and start times runs on the reporter's serial queue
// "BMSAdExposureReporter"; begins are asynchronous, everything else waits for the queue, so callers
// must not be that queue (they are the main thread and the screen-view reporter's queue).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "measurement/reporters/BMSReporterHost.h"
#include "measurement/reporters/BMSScreen.h"
#include "platform/dispatch/Queue.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/Clock.h"

namespace beacon {

class BMSAdExposureReporter : public std::enable_shared_from_this<BMSAdExposureReporter> {
 public:
  // At most this many ad units are counted at once.
  static constexpr std::size_t kMaxAdUnits = 100;

  // Observes the engagement timer's notification on `notifications`.
  static std::shared_ptr<BMSAdExposureReporter> make(std::shared_ptr<BMSReporterHost> host,
                                                     std::shared_ptr<const platform::Clock> clock,
                                                     platform::NotificationCenter& notifications);

  bool isReportingEnabled() const { return reportingEnabled_.load(); }
  void setReportingEnabled(bool enabled) { reportingEnabled_.store(enabled); }

  void beginAdUnitExposure(const std::string& adUnitID);
  void endAdUnitExposure(const std::string& adUnitID);
  // Logs the pieces up to now with these screen parameters and starts new ones.
  void logExposureEventsWithScreenParameters(const BMSParameters& screenParameters);

  void handleScreenDidChangeFromScreen(const BMSScreen* previous, const BMSScreen* next);
  void handleEngagementTimer();
  void handleAppDidBecomeActive();
  void handleAppWillResignActiveWithScreen(const BMSScreen* screen);

  double currentTime() const { return clock_->secondsSinceBoot(); }

 private:
  BMSAdExposureReporter(std::shared_ptr<BMSReporterHost> host, std::shared_ptr<const platform::Clock> clock);

  // On the queue.
  void logExposureEventsOnSerialQueue(double endTime, const BMSParameters& screenParameters);
  void updateStartTimesOnSerialQueue(double time);
  void logAdUnitExposureEventOnSerialQueue(const std::string& adUnitID, double endTime,
                                           const BMSParameters& screenParameters);
  void logAdExposureEventOnSerialQueue(double endTime, const BMSParameters& screenParameters);

  const std::shared_ptr<BMSReporterHost> host_;
  const std::shared_ptr<const platform::Clock> clock_;
  const platform::QueueRef queue_;
  std::atomic<bool> reportingEnabled_ = true;
  platform::ObserverToken engagementTimerObserver_;

  // Queue only.
  std::map<std::string, std::int64_t> adUnitCounts_;
  std::map<std::string, double> adUnitStartTimes_;
  double adExposureStartTime_;
};

}  // namespace beacon
