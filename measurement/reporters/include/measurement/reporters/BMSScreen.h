#pragma once
// One screen of the application, as a "screen_view" event named it: its name and class (each may be
// absent), the instance ID the screen-view reporter gave it, and when the "screen_view" was logged.
// Screens are immutable once made and shared between the reporters' queues.

#include <cstdint>
#include <optional>
#include <string>

#include "measurement/engine/BMSValue.h"

namespace beacon {

inline constexpr const char* kBMSScreenNameParameter = "_sn";
inline constexpr const char* kBMSScreenClassParameter = "_sc";
inline constexpr const char* kBMSScreenInstanceIDParameter = "_si";

struct BMSScreen {
  std::optional<std::string> name;
  std::optional<std::string> className;
  std::int64_t instanceID = 0;
  // Seconds since 1970.
  double eventTimestamp = 0;

  // "_si" = the instance ID, "_sc" = the class name and "_sn" = the name, each of those two only
  // when not empty.
  BMSParameters parameters() const;
};

}  // namespace beacon
