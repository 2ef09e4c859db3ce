#include "measurement/runtime/EngineReporterHost.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

void EngineReporterHost::logInternalEvent(const std::string& origin, const std::string& name,
                                          const BMSParameters& parameters) {
  BMSAnalytics::logInternalEventWithOrigin(origin, name, parameters);
}

void EngineReporterHost::logInternalEventWithTimestamp(const std::string& origin, const std::string& name,
                                                       double timestamp, const BMSParameters& parameters) {
  BMSAnalytics::logInternalEventWithOrigin(origin, name, timestamp, parameters);
}

void EngineReporterHost::setInternalUserProperty(const std::optional<BMSValue>& value,
                                                 const std::string& name, const std::string& origin) {
  BMSAnalytics::sharedInstance().setInternalUserProperty(value ? BMSPlainValue(*value) : platform::Value(),
                                                         name, origin);
}

std::shared_ptr<BMSMeasurement> EngineReporterHost::engine() const {
  AnalyticsContext::EngineSlot& slot = context_.engineSlot();
  std::lock_guard lock(slot.mutex);
  return slot.engine;
}

std::shared_ptr<BMSRemoteConfig> EngineReporterHost::remoteConfig() const {
  const std::shared_ptr<BMSMeasurement> measurement = engine();
  std::shared_ptr<BMSRemoteConfig> config = measurement ? measurement->remoteConfigInstance() : nullptr;
  return config ? config : BMSRemoteConfig::defaultInstance();
}

std::shared_ptr<BMSSessionReporter> EngineReporterHost::sessionReporter() const {
  const std::shared_ptr<BMSMeasurement> measurement = engine();
  if (!measurement || !measurement->didInitializeComponents()) return nullptr;
  return measurement->sessionReporter();
}

bool EngineReporterHost::isAppActive() const {
  return context_.screenViewReporter()->isAppActive();
}

BMSParameters EngineReporterHost::currentScreenParameters() const {
  return context_.screenViewReporter()->screenParameters();
}

}  // namespace beacon
