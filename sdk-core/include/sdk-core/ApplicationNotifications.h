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
// In the user info of the finished-launching notification, when the application was started to
// open something: the continued activity (a dictionary under the activity key, itself inside a
// dictionary under the activity dictionary key), or the URL (a string).
inline constexpr const char* kApplicationLaunchOptionsUserActivityDictionaryKey =
    "ApplicationLaunchOptionsUserActivityDictionaryKey";
inline constexpr const char* kApplicationLaunchOptionsUserActivityKey =
    "ApplicationLaunchOptionsUserActivityKey";
inline constexpr const char* kApplicationLaunchOptionsURLKey = "ApplicationLaunchOptionsURLKey";
// A continued activity as a dictionary: its type and, for a link opened in the browser, its URL.
inline constexpr const char* kUserActivityTypeKey = "activityType";
inline constexpr const char* kUserActivityWebpageURLKey = "webpageURL";
inline constexpr const char* kUserActivityTypeBrowsingWeb = "UserActivityTypeBrowsingWeb";
// A window of the application has stopped being the key window.
inline constexpr const char* kWindowDidResignKeyNotification = "WindowDidResignKeyNotification";

}  // namespace beacon
