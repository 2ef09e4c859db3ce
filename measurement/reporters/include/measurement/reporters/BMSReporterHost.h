#pragma once
// What the reporters reach outside themselves, as one narrow interface the engine implements: the
// facade's road for the engine's own events and user properties, the configuration in force, the
// engine's session reporter, and the answers of the shared screen-view reporter.
//
// Threads: every call may come from any thread (the main thread, the reporters' own queues, the
// worker queue); implementations must not call back into the calling reporter synchronously.

#include <memory>
#include <optional>
#include <string>

#include "measurement/engine/BMSValue.h"

namespace beacon {

class BMSRemoteConfig;
class BMSSessionReporter;

class BMSReporterHost {
 public:
  virtual ~BMSReporterHost() = default;

  // Logs an internal (not public) event through the facade, time-stamped now.
  virtual void logInternalEvent(const std::string& origin, const std::string& name,
                                const BMSParameters& parameters) = 0;
  // The same with the given time stamp, seconds since 1970.
  virtual void logInternalEventWithTimestamp(const std::string& origin, const std::string& name,
                                             double timestamp, const BMSParameters& parameters) = 0;
  // Sets an internal user property; no value removes it.
  virtual void setInternalUserProperty(const std::optional<BMSValue>& value, const std::string& name,
                                       const std::string& origin) = 0;

  // The engine's configuration, or the built-in defaults before the engine has one.
  virtual std::shared_ptr<BMSRemoteConfig> remoteConfig() const = 0;
  // The engine's session reporter once the engine has built its components; null before.
  virtual std::shared_ptr<BMSSessionReporter> sessionReporter() const = 0;

  // The shared screen-view reporter's activation flag and current screen parameters.
  virtual bool isAppActive() const = 0;
  virtual BMSParameters currentScreenParameters() const = 0;
};

}  // namespace beacon
