#include "analytics-connector/BCNAnalyticsConnector.h"

#include <atomic>
#include <chrono>

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNConnectorConversions.h"
#include "analytics-connector/BCNConnectorUtils.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/BCNAConditionalUserPropertyController.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/dispatch/Semaphore.h"
#include "sdk-core/BCNApp.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {
namespace {

constexpr std::int64_t kMaxUserPropertiesOnConnectorQueue = 25061;
constexpr auto kMaxUserPropertiesWait = std::chrono::seconds(10);

// Campaign events of the SDK's own integrations say which integration reported them.
const std::map<std::string, std::string, std::less<>>& campaignIntegrationSources() {
  // Never destroyed, like the queue below: connector work may still run during the exit handlers.
  static const auto& sources =
      *new std::map<std::string, std::string, std::less<>>{{"bcm", "bcm_integration"},
                                                           {"bdl", "bdl_integration"},
                                                           {"biam", "biam_integration"},
                                                           {"brc", "brc_integration"}};
  return sources;
}

class ConnectorLibrary final : public BCNLibrary {
 public:
  std::vector<std::shared_ptr<const BCNComponent>> componentsToRegister() const override {
    return {BCNComponent::componentWithProtocol(BCNAnalyticsInteropProtocol(), BCNInstantiationTiming::Lazy,
                                                {},
                                                [](BCNComponentContainer&, bool&) -> std::shared_ptr<Object> {
                                                  return std::make_shared<BCNAnalyticsConnector>();
                                                })};
  }
};

}  // namespace

void BCNAnalyticsConnector::load() {
  const platform::ClassEntry& entry = platform::ClassDirectory::shared().registerClass(
      "BCNAnalyticsConnector", std::shared_ptr<BCNLibrary>(std::make_shared<ConnectorLibrary>()));
  BCNApp::registerInternalLibrary(entry, kLibraryName, kLibraryVersion);
}

platform::QueueRef BCNAnalyticsConnector::queue() {
  static const platform::QueueRef& queue =
      *new platform::QueueRef(platform::makeSerialQueue(vendorLabel("analytics_connector.queue")));
  return queue;
}

void BCNAnalyticsConnector::logEventWithOrigin(const std::string& origin, const std::string& name,
                                               const platform::Dictionary& parameters) {
  if (!BCNConnectorUtils::isOriginAllowed(origin) ||
      !BCNConnectorUtils::shouldLogEventWithName(name, parameters))
    return;
  platform::Dictionary eventParameters = parameters;
  if (name == "_cmp") {
    const auto source = campaignIntegrationSources().find(origin);
    if (source != campaignIntegrationSources().end()) eventParameters["_cis"] = source->second;
  } else if (name == "_ae" && origin == "bcr") {
    eventParameters["_r"] = 1;
  }
  BCNAnalytics::logInternalEventWithOrigin(origin, name, BMSParametersFromDictionary(eventParameters));
}

void BCNAnalyticsConnector::setUserPropertyWithOrigin(const std::string& origin, const std::string& name,
                                                      const platform::Value& value) {
  if (!BCNConnectorUtils::isOriginAllowed(origin) || !BCNConnectorUtils::isUserPropertyAllowed(name, origin))
    return;
  BCNAnalytics::sharedInstance().setInternalUserProperty(value, name, origin);
}

void BCNAnalyticsConnector::getUserPropertiesWithCallback(BCNAnalyticsUserPropertiesCallback callback) {
  if (!callback) return;
  BCNAnalytics::userPropertiesIncludingInternal(
      true, queue(), [callback = std::move(callback)](const platform::Dictionary& properties) {
        platform::Dictionary visible;
        for (const auto& [name, value] : properties) {
          if (BCNConnectorUtils::isUserPropertyAllowedForQuery(name)) visible.emplace(name, value);
        }
        callback(visible);
      });
}

std::int64_t BCNAnalyticsConnector::maxUserProperties(const std::string& origin) {
  // The answer arrives on the connector queue: waiting there would only wait out the time limit.
  if (queue()->isCurrent()) {
    BMSLog(2, kMaxUserPropertiesOnConnectorQueue,
           "Max user properties cannot be asked on the connector queue");
    return 0;
  }
  auto answer = std::make_shared<std::atomic<std::int64_t>>(0);
  platform::Semaphore answered;
  BCNAnalytics::sharedInstance().maxUserPropertiesForOrigin(origin, queue(),
                                                            [answer, answered](std::int64_t maximum) mutable {
                                                              answer->store(maximum);
                                                              answered.signal();
                                                            });
  return answered.wait(kMaxUserPropertiesWait) ? answer->load() : 0;
}

void BCNAnalyticsConnector::setConditionalUserProperty(const platform::Dictionary& property) {
  if (property.empty()) return;
  const BCNAConditionalUserProperty filled = BCNConnectorConditionalUserProperty(property);
  BCNAConditionalUserPropertyController::sharedInstance().setConditionalUserProperty(filled, filled.name);
}

// The property to clear is named by the clear event's first parameter, not by the first argument.
void BCNAnalyticsConnector::clearConditionalUserProperty(const std::string& /*userPropertyName*/,
                                                         const std::string& origin,
                                                         const std::string& clearEventName,
                                                         const platform::Dictionary& clearEventParameters) {
  if (clearEventParameters.empty() || clearEventParameters.begin()->second.isNull()) return;
  const auto& [propertyName, value] = *clearEventParameters.begin();
  BCNAConditionalUserPropertyController::sharedInstance().clearConditionalUserPropertyWithClearEvent(
      BCNConnectorEventWithOrigin(origin, clearEventName, {{propertyName, value}}), propertyName);
}

std::vector<platform::Dictionary> BCNAnalyticsConnector::conditionalUserProperties(
    const std::string& origin, const std::string& propertyNamePrefix) {
  std::vector<platform::Dictionary> described;
  const auto properties =
      BCNAConditionalUserPropertyController::sharedInstance().conditionalUserPropertiesWithNamePrefix(
          propertyNamePrefix, origin);
  if (!properties) return described;
  for (const BCNAConditionalUserProperty& property : *properties) {
    if (property.name.empty() || !property.value || !property.value->isString()) continue;
    described.push_back({{"name", property.name}, {"value", *property.value->stringValue()}});
  }
  return described;
}

}  // namespace beacon
