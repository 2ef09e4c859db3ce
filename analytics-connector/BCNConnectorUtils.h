#pragma once
// The fixed allow and block lists that keep the SDK's other components away from the application's
// own data and the SDK's automatic data, as predicates. The lists are built once; any thread.

#include <string>

#include "platform/value/Value.h"

namespace beacon {

class BCNConnectorUtils {
 public:
  BCNConnectorUtils() = delete;

  // Not one of the origins of the application and the SDK's automatic data ("auto", "app", "am").
  static bool isOriginAllowed(const std::string& origin);
  // "app", or "app+" followed by anything.
  static bool isAppOrigin(const std::string& origin);
  // One of the origins that may listen to logged events.
  static bool isListenerOriginAllowed(const std::string& origin);
  static bool isEventNameAllowedForListeners(const std::string& name);
  // A non-empty name that is not reserved, and no reserved parameter among the keys.
  static bool shouldLogEventWithName(const std::string& name, const platform::Dictionary& parameters);
  // "_ln" only from "bcm" and "biam"; otherwise not a reserved name and no reserved pattern.
  static bool isUserPropertyAllowed(const std::string& name, const std::string& origin);
  // A public name, or "_fot".
  static bool isUserPropertyAllowedForQuery(const std::string& name);
};

}  // namespace beacon
