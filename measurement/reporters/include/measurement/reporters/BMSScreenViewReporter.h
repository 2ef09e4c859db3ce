#pragma once
// The current screen of the application. Screens are tracked by hand only: every screen comes from
// a public "screen_view" event, which the reporter turns into the internal screen-view event "_vs"
// with the new and the previous screen's parameters. It supplies the current screen parameters that
// the facade adds to other events, follows the application's activation and tells the session
// reporter and the ad-exposure reporter of activation and screen changes.
//
// One shared reporter per analytics context, made before the engine and living as long as the
// context. Once the application has been active the reporter stays "active": resigning does not
// clear the flag.
//
// Threads: trackScreenWithParameters runs on the caller's thread and logs "_vs" from the reporter's
// serial queue "BMSScreenViewReporter"; the notification handlers run on the posting (main) thread;
// screenParameters is read from any thread. The screens are guarded by a lock that is never held
// while the reporter calls out, and the activation flag is atomic.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "measurement/reporters/BMSAdExposureReporter.h"
#include "measurement/reporters/BMSReporterHost.h"
#include "measurement/reporters/BMSScreen.h"
#include "platform/dispatch/Queue.h"
#include "platform/notify/NotificationCenter.h"

namespace beacon {

class BMSScreenViewReporter : public std::enable_shared_from_this<BMSScreenViewReporter> {
 public:
  // Observes the application's activation notifications on `notifications`; the first screen
  // instance ID follows `firstInstanceID` (a random number in the program).
  static std::shared_ptr<BMSScreenViewReporter> make(
      std::shared_ptr<BMSReporterHost> host, std::shared_ptr<BMSAdExposureReporter> adExposureReporter,
      platform::NotificationCenter& notifications, std::int64_t firstInstanceID);

  bool isAppActive() const { return isAppActive_.load(); }

  // For a "screen_view" logged at `timestamp` (seconds since 1970) with its parameters: a valid
  // "screen_name" and "screen_class" make the new current screen, and "_vs" is logged later.
  void trackScreenWithParameters(const BMSParameters& parameters, double timestamp);
  // "_si", "_sc", "_sn" of the current screen; empty before the first screen.
  BMSParameters screenParameters() const;
  std::shared_ptr<const BMSScreen> currentScreen() const;
  // Screens are only tracked from "screen_view" events: logged (31000) and ignored.
  void setScreenName(const std::optional<std::string>& screenName,
                     const std::optional<std::string>& screenClass);

  void handleApplicationDidBecomeActive();
  void handleApplicationWillResignActive();

 private:
  BMSScreenViewReporter(std::shared_ptr<BMSReporterHost> host,
                        std::shared_ptr<BMSAdExposureReporter> adExposureReporter,
                        std::int64_t firstInstanceID);
  std::int64_t incrementScreenInstanceID();
  void postScreenDidChangeNotification(const BMSScreen* previous, const BMSScreen* next);
  void logViewScreenEvent(const BMSScreen* previous, const BMSScreen& next, BMSParameters parameters);

  const std::shared_ptr<BMSReporterHost> host_;
  const std::shared_ptr<BMSAdExposureReporter> adExposureReporter_;
  const platform::QueueRef queue_;
  std::atomic<bool> isAppActive_ = false;
  std::atomic<std::int64_t> currentScreenInstanceID_;
  platform::ObserverToken becomeActiveObserver_;
  platform::ObserverToken resignActiveObserver_;

  mutable std::mutex mutex_;
  std::shared_ptr<const BMSScreen> currentScreen_;
};

}  // namespace beacon
