#include "measurement/runtime/BCNAConditionalUserPropertyController.h"

#include "measurement/audiences/BMSConditionalUserPropertyController.h"
#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {
namespace {

constexpr std::int64_t kNoEngine = 10010;
constexpr std::int64_t kInvalidProperty = 10011;

// The started engine, or nothing (logged).
std::shared_ptr<BMSMeasurement> startedEngine(const std::string& name) {
  std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
  if (!engine)
    BMSLog(2, kNoEngine, "Analytics is not running. Conditional user property ignored. Name", {name});
  return engine;
}

bool isValid(const BCNAConditionalUserProperty& property) {
  std::int64_t failure = 0;
  if (!BMSDataTypeValidator::isValidConditionalUserPropertyName(platform::Value(property.name), &failure) ||
      !BMSDataTypeValidator::isValidConditionalUserPropertyOrigin(platform::Value(property.origin),
                                                                  &failure) ||
      !property.value ||
      !BMSDataTypeValidator::isValidConditionalUserPropertyValue(*property.value, &failure)) {
    BMSLog(2, kInvalidProperty, "Invalid conditional user property. Name, failure code",
           {property.name, platform::Value(failure)});
    return false;
  }
  return true;
}

// The events a property produced outside an event's processing are written like the ones produced
// during it; with collection off they are dropped like any other event.
void writeProducedEvents(BMSMeasurement& engine, std::optional<std::vector<BMSEvent>> produced) {
  if (!produced || !engine.isEnabled()) return;
  for (BMSEvent& event : *produced) engine.writeFilteredEventOnWorkerQueue(std::move(event));
}

}  // namespace

BCNAConditionalUserPropertyController& BCNAConditionalUserPropertyController::sharedInstance() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static BCNAConditionalUserPropertyController& controller = *new BCNAConditionalUserPropertyController;
  return controller;
}

void BCNAConditionalUserPropertyController::setConditionalUserProperty(
    const BCNAConditionalUserProperty& property, const std::string& name) {
  BCNAConditionalUserProperty copy = property;
  copy.name = name;
  if (!isValid(copy)) return;
  copy.creationTimestamp = AnalyticsContext::current().nowSince1970();
  std::shared_ptr<BMSMeasurement> engine = startedEngine(name);
  if (!engine) return;
  engine->scheduler()->scheduleOnWorkerQueueBlockID(
      "BCNAConditionalUserPropertyController:1",
      [weakEngine = std::weak_ptr(engine), copy = std::move(copy)] {
        std::shared_ptr<BMSMeasurement> self = weakEngine.lock();
        if (!self || !self->conditionalUserPropertyController()) return;
        writeProducedEvents(
            *self, self->conditionalUserPropertyController()->setConditionalUserPropertyOnWorkerQueue(copy));
      });
}

void BCNAConditionalUserPropertyController::clearConditionalUserPropertyWithClearEvent(
    const std::optional<BMSEvent>& clearEvent, const std::string& name) {
  std::int64_t failure = 0;
  if (!BMSDataTypeValidator::isValidConditionalUserPropertyName(platform::Value(name), &failure)) {
    BMSLog(2, kInvalidProperty, "Invalid conditional user property. Name, failure code",
           {name, platform::Value(failure)});
    return;
  }
  std::shared_ptr<BMSMeasurement> engine = startedEngine(name);
  if (!engine) return;
  engine->scheduler()->scheduleOnWorkerQueueBlockID(
      "BCNAConditionalUserPropertyController:2", [weakEngine = std::weak_ptr(engine), clearEvent, name] {
        std::shared_ptr<BMSMeasurement> self = weakEngine.lock();
        if (!self || !self->conditionalUserPropertyController()) return;
        writeProducedEvents(
            *self, self->conditionalUserPropertyController()->clearConditionalUserPropertyOnWorkerQueue(
                       name, clearEvent));
      });
}

std::optional<std::vector<BCNAConditionalUserProperty>>
BCNAConditionalUserPropertyController::conditionalUserPropertiesWithNamePrefix(
    const std::optional<std::string>& prefix, const std::optional<std::string>& origin) {
  std::shared_ptr<BMSMeasurement> engine = startedEngine(prefix.value_or(""));
  if (!engine) return std::nullopt;
  std::optional<std::vector<BCNAConditionalUserProperty>> properties;
  engine->scheduler()->dispatchSyncOnWorkerQueueBlockID("BCNAConditionalUserPropertyController:3", [&] {
    if (const auto& controller = engine->conditionalUserPropertyController())
      properties = controller->conditionalUserPropertiesWithNamePrefix(prefix, origin);
  });
  return properties;
}

}  // namespace beacon
