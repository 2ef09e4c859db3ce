#pragma once
// Names of the notifications by which the application tells the SDK about its own state. The
// application posts them on the default notification centre (its toolkit bridge does so when its
// window becomes active); SDK components observe them with any sender.

namespace beacon {

// The application has become the active one.
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";
// The application is about to stop being the active one.
inline constexpr const char* kApplicationWillResignActiveNotification =
    "ApplicationWillResignActiveNotification";
// The application has finished starting up.
inline constexpr const char* kApplicationDidFinishLaunchingNotification =
    "ApplicationDidFinishLaunchingNotification";
// A window of the application has stopped being the key window.
inline constexpr const char* kWindowDidResignKeyNotification = "WindowDidResignKeyNotification";

}  // namespace beacon
