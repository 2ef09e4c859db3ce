#pragma once
// Tells the analytics SDK what a desktop platform tells its applications about their activation,
// as notifications on a notification centre (the names are the SDK's,
// sdk-core/ApplicationNotifications.h). The SDK observes them for its heartbeats, its sessions and
// the upload it starts when the application is left.
//
//  - didFinishLaunching(): "did finish launching", once, when the start-up is done.
//  - scenePhaseChanged(): "did become active" when the scene becomes active, "will resign active"
//    when an active scene becomes inactive or goes to the background; other changes post nothing.
//  - willTerminate(): the application quits. An application that is still active resigns first,
//    so quitting stores and uploads what leaving the application would; nothing is posted
//    afterwards.
//
// Main thread only, like the scene-phase changes it follows; notifications are posted
// synchronously.

#include "Velloran/app/ScenePhase.h"
#include "platform/notify/NotificationCenter.h"

namespace velloran {

class ApplicationActivity {
 public:
  // `center` must outlive the object.
  explicit ApplicationActivity(platform::NotificationCenter& center);

  void didFinishLaunching();
  void scenePhaseChanged(ScenePhase oldPhase, ScenePhase newPhase);
  void willTerminate();

 private:
  void post(const char* name);

  platform::NotificationCenter& center_;
  bool active_ = false;
  bool launched_ = false;
  bool terminated_ = false;
};

}  // namespace velloran
