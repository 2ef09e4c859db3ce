#pragma once
// What the SDK's other components (messaging, configuration and the like) may do with analytics:
// the interface they request from an app's component container under BCNAnalyticsInteropProtocol().
// The analytics connector implements it; a component that finds nothing under the protocol runs
// without analytics.
//
// Parameters and values are plain values, so a component needs none of the analytics types.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/value/Value.h"
#include "sdk-core/BCNComponent.h"

namespace beacon {

// Told of the events logged under the origin it registered for (and of the application's own).
// Called on the main queue.
class BCNAnalyticsInteropListener {
 public:
  virtual ~BCNAnalyticsInteropListener() = default;
  // `parameters` hold the event's numbers and strings only.
  virtual void messageTriggered(const std::string& name, const platform::Dictionary& parameters) = 0;
};

// Delivers user properties: name -> string or number.
using BCNAnalyticsUserPropertiesCallback = std::function<void(const platform::Dictionary& properties)>;

class BCNAnalyticsInterop {
 public:
  virtual ~BCNAnalyticsInterop() = default;

  // Origins, names and parameters reserved for the application and the SDK's automatic data are
  // refused silently.
  virtual void logEventWithOrigin(const std::string& origin, const std::string& name,
                                  const platform::Dictionary& parameters) = 0;
  // A null value removes the property.
  virtual void setUserPropertyWithOrigin(const std::string& origin, const std::string& name,
                                         const platform::Value& value) = 0;
  // The user properties a component may see, delivered later on another queue.
  virtual void getUserPropertiesWithCallback(BCNAnalyticsUserPropertiesCallback callback) = 0;
  // Blocks for up to 10 seconds; 0 when no answer came.
  virtual std::int64_t maxUserProperties(const std::string& origin) = 0;

  // A property described by the keys "name", "origin", "value", "triggerEventName", "triggerTimeout",
  // "timeToLive", "creationTimestamp", "triggeredTimestamp", "active", "triggeredEvent",
  // "timedOutEvent" and "expiredEvent" (events as dictionaries of "origin", "name", "timestamp" and
  // "parameters").
  virtual void setConditionalUserProperty(const platform::Dictionary& property) = 0;
  // Clears the property named by the first key of `clearEventParameters`, with an event of
  // `clearEventName` carrying that key and its value; `userPropertyName` is not consulted.
  virtual void clearConditionalUserProperty(const std::string& userPropertyName, const std::string& origin,
                                            const std::string& clearEventName,
                                            const platform::Dictionary& clearEventParameters) = 0;
  // {"name", "value"} of each stored property of `origin` whose name begins with the prefix and whose
  // value is a string. Waits for the engine's worker queue.
  virtual std::vector<platform::Dictionary> conditionalUserProperties(
      const std::string& origin, const std::string& propertyNamePrefix) = 0;

  // One listener per origin; only a few origins may listen. Register and unregister from one thread.
  virtual void registerAnalyticsListener(std::shared_ptr<BCNAnalyticsInteropListener> listener,
                                         const std::string& origin) = 0;
  virtual void unregisterAnalyticsListenerWithOrigin(const std::string& origin) = 0;
};

// The protocol the interface is published under.
inline Protocol BCNAnalyticsInteropProtocol() {
  return Protocol::of<BCNAnalyticsInterop>("BCNAnalyticsInterop");
}

}  // namespace beacon
