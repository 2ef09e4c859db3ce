#pragma once
// The reporters' host over one analytics context: events and user properties go the facade's
// internal road, the configuration and the session reporter are the context's engine's, and the
// activation and screen answers are the context's shared screen-view reporter's.
//
// Threads: any; it holds no state of its own.

#include "measurement/reporters/BMSReporterHost.h"

namespace beacon {

class AnalyticsContext;

class EngineReporterHost : public BMSReporterHost {
 public:
  explicit EngineReporterHost(AnalyticsContext& context) : context_(context) {}

  void logInternalEvent(const std::string& origin, const std::string& name,
                        const BMSParameters& parameters) override;
  void logInternalEventWithTimestamp(const std::string& origin, const std::string& name, double timestamp,
                                     const BMSParameters& parameters) override;
  void setInternalUserProperty(const std::optional<BMSValue>& value, const std::string& name,
                               const std::string& origin) override;
  std::shared_ptr<BMSRemoteConfig> remoteConfig() const override;
  std::shared_ptr<BMSSessionReporter> sessionReporter() const override;
  bool isAppActive() const override;
  BMSParameters currentScreenParameters() const override;

 private:
  std::shared_ptr<class BMSMeasurement> engine() const;

  AnalyticsContext& context_;
};

}  // namespace beacon
