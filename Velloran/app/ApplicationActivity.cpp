#include "Velloran/app/ApplicationActivity.h"

#include "beacon/Beacon.h"

namespace velloran {

ApplicationActivity::ApplicationActivity(platform::NotificationCenter& center) : center_(center) {}

void ApplicationActivity::didFinishLaunching() {
  if (launched_ || terminated_) return;
  launched_ = true;
  post(beacon::kApplicationDidFinishLaunchingNotification);
}

void ApplicationActivity::scenePhaseChanged(ScenePhase oldPhase, ScenePhase newPhase) {
  if (terminated_ || (oldPhase == ScenePhase::active) == (newPhase == ScenePhase::active)) return;
  active_ = newPhase == ScenePhase::active;
  post(active_ ? beacon::kApplicationDidBecomeActiveNotification
               : beacon::kApplicationWillResignActiveNotification);
}

void ApplicationActivity::willTerminate() {
  if (terminated_) return;
  if (active_) post(beacon::kApplicationWillResignActiveNotification);
  active_ = false;
  terminated_ = true;
}

void ApplicationActivity::post(const char* name) {
  center_.post(name);
}

}  // namespace velloran
