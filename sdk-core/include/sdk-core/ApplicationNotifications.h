#pragma once
// Names of the notifications by which the application tells the SDK about its own state. The
// application posts them on the default notification centre (its toolkit bridge does so when its
// window becomes active); SDK components observe them with any sender.

namespace beacon {

// The application has become the active one.
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "ApplicationDidBecomeActiveNotification";

}  // namespace beacon
