#pragma once
// The application notifications the engine observes, behind small accessors so engine code names
// no platform constant directly.

#include "sdk-core/ApplicationNotifications.h"

namespace beacon {

inline const char* BMSApplicationDidBecomeActiveNotification() {
  return kApplicationDidBecomeActiveNotification;
}
inline const char* BMSApplicationWillResignActiveNotification() {
  return kApplicationWillResignActiveNotification;
}
inline const char* BMSApplicationDidFinishLaunchingNotification() {
  return kApplicationDidFinishLaunchingNotification;
}
inline const char* BMSWindowDidResignKeyNotification() {
  return kWindowDidResignKeyNotification;
}

}  // namespace beacon
