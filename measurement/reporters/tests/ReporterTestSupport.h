#pragma once
// Shared by the reporter tests: a host that keeps every event and user property the reporters hand
// it, configurations with chosen settings, and readers of typed parameters.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/reporters/BMSReporterHost.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon::testing {

struct HostEvent {
  std::string origin;
  std::string name;
  std::optional<double> timestamp;
  BMSParameters parameters;
};

struct HostUserProperty {
  std::optional<BMSValue> value;
  std::string name;
  std::string origin;
};

class RecordingReporterHost : public BMSReporterHost {
 public:
  void logInternalEvent(const std::string& origin, const std::string& name,
                        const BMSParameters& parameters) override {
    events.push_back({origin, name, std::nullopt, parameters});
  }
  void logInternalEventWithTimestamp(const std::string& origin, const std::string& name, double timestamp,
                                     const BMSParameters& parameters) override {
    events.push_back({origin, name, timestamp, parameters});
  }
  void setInternalUserProperty(const std::optional<BMSValue>& value, const std::string& name,
                               const std::string& origin) override {
    userProperties.push_back({value, name, origin});
  }
  std::shared_ptr<BMSRemoteConfig> remoteConfig() const override { return config; }
  std::shared_ptr<BMSSessionReporter> sessionReporter() const override { return session.lock(); }
  // The screen-view reporter's answers when one is attached, else the fields below.
  bool isAppActive() const override {
    const auto screens = screenReporter.lock();
    return screens ? screens->isAppActive() : active;
  }
  BMSParameters currentScreenParameters() const override {
    const auto screens = screenReporter.lock();
    return screens ? screens->screenParameters() : screen;
  }

  std::vector<std::string> eventNames() const {
    std::vector<std::string> names;
    for (const HostEvent& event : events) names.push_back(event.name);
    return names;
  }

  std::vector<HostEvent> events;
  std::vector<HostUserProperty> userProperties;
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  // Held weakly, as the engine's host does: the reporter holds its host.
  std::weak_ptr<BMSSessionReporter> session;
  std::weak_ptr<BMSScreenViewReporter> screenReporter;
  bool active = true;
  BMSParameters screen;
};

inline std::shared_ptr<BMSRemoteConfig> configWithSettings(
    std::map<std::string, std::string, std::less<>> settings) {
  auto config = BMSRemoteConfig::defaultInstance();
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 1;
  snapshot.settings = std::move(settings);
  config->updateWithSnapshot(std::move(snapshot), {});
  return config;
}

inline constexpr const char* kEfficientReporting =
    "measurement.collection.efficient_engagement_reporting_enabled";
inline constexpr const char* kRedundantRemoval =
    "measurement.collection.redundant_engagement_removal_enabled";
inline constexpr const char* kAppBackgrounded = "measurement.lifecycle.app_backgrounded_tracking";
inline constexpr const char* kEngagementInterval = "measurement.session.event_user_engagement_interval";

// The parameter as a typed value; nothing when absent or untyped.
inline std::optional<BMSValue> typed(const BMSParameters& parameters, const std::string& key) {
  const auto found = parameters.find(key);
  if (found == parameters.end()) return std::nullopt;
  return BMSValueFromObject(found->second);
}
inline std::optional<std::int64_t> integerOf(const BMSParameters& parameters, const std::string& key) {
  const std::optional<BMSValue> value = typed(parameters, key);
  if (!value || !value->isInt64()) return std::nullopt;
  return value->int64Value();
}
inline std::optional<std::string> textOf(const BMSParameters& parameters, const std::string& key) {
  const std::optional<BMSValue> value = typed(parameters, key);
  if (!value || !value->isString()) return std::nullopt;
  return *value->stringValue();
}
inline std::vector<std::string> keysOf(const BMSParameters& parameters) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : parameters) keys.push_back(key);
  return keys;
}

}  // namespace beacon::testing
