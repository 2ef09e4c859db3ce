// The engine's entry points for events, default event parameters, user properties and purchases:
// each hops to the worker queue under its block ID and holds the engine weakly.

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSDisplayNames.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/UserPropertyNames.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

constexpr const char* kSessionIDName = "_sid";
constexpr std::int64_t kTooManyDefaultParametersErrorCode = 26;
constexpr std::int64_t kArrayDefaultParameterErrorCode = 27;

bool isArray(const BMSObject& value) {
  const auto* plain = std::get_if<platform::Value>(&value);
  const auto* typed = std::get_if<BMSValue>(&value);
  return (plain && plain->isArray()) || (typed && typed->isArray());
}

bool isNull(const BMSObject& value) {
  const auto* plain = std::get_if<platform::Value>(&value);
  return plain && plain->isNull();
}

// Null, a number or a string, plain or typed.
bool isDefaultParameterKind(const BMSObject& value) {
  if (const auto* plain = std::get_if<platform::Value>(&value))
    return plain->isNull() || plain->isNumber() || plain->isString();
  return !std::get<BMSValue>(value).isArray();
}

// The stored default event parameters overlaid with the event's own (which win).
BMSParameters parametersOverDefaults(const BMSParameters& parameters, const platform::Dictionary& defaults) {
  BMSParameters merged = BMSParametersFromDictionary(defaults);
  for (const auto& [key, value] : parameters) merged.insert_or_assign(key, value);
  return merged;
}

}  // namespace

bool BMSIsEventHiddenFromListeners(const BMSEvent& event) {
  return event.origin() == "am" || event.name() == "_xa" || event.name() == "_xu";
}

void BMSMeasurement::logEventWithOrigin(std::string origin, bool isPublicEvent, std::string name,
                                        BMSParameters parameters, double timestamp, bool enabled,
                                        bool ignoreEnabled, bool ignoreInterceptor,
                                        std::optional<BMSLogEventInterceptor> interceptor,
                                        BMSParameters addedScreenParameters,
                                        std::shared_ptr<const void> heldUntilHandled) {
  scheduler_->scheduleOnWorkerQueueBlockID(
      "BMSMeasurement:2403",
      [weakSelf = weak_from_this(), origin = std::move(origin), isPublicEvent, name = std::move(name),
       parameters = std::move(parameters), timestamp, enabled, ignoreEnabled, ignoreInterceptor,
       interceptor = std::move(interceptor), addedScreenParameters = std::move(addedScreenParameters),
       heldUntilHandled = std::move(heldUntilHandled)]() mutable {
        if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock()) {
          self->logEventOnWorkerQueueWithOrigin(origin, isPublicEvent, name, std::move(parameters), timestamp,
                                                enabled, ignoreEnabled, ignoreInterceptor, interceptor,
                                                addedScreenParameters);
        }
      });
}

void BMSMeasurement::logEventOnWorkerQueueWithOrigin(const std::string& origin, bool isPublicEvent,
                                                     const std::string& name, BMSParameters parameters,
                                                     double timestamp, bool enabled, bool ignoreEnabled,
                                                     bool ignoreInterceptor,
                                                     const std::optional<BMSLogEventInterceptor>& interceptor,
                                                     const BMSParameters& addedScreenParameters) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("logEventOnWorkerQueueWithOrigin");
  const platform::Dictionary defaults = ignoreInterceptor || name == kErrorEventName
                                            ? platform::Dictionary()
                                            : persistedConfig_->defaultEventParameters();
  // Without stored defaults the event's parameters are the caller's: taken over, not copied.
  const BMSParameters eventParameters =
      defaults.empty() ? std::move(parameters) : parametersOverDefaults(parameters, defaults);
  std::optional<BMSEvent> event =
      BMSEvent::initWithOrigin(origin, isPublicEvent, name, timestamp, 0, eventParameters);
  if (!event) {
    BMSLog(1, 23219, "Attempted to log nil event. Origin, name, parameters",
           {origin, BMSEventNameForDisplay(name),
            BMSParametersDescription(defaults.empty() ? eventParameters : parameters)});
    return;
  }
  if (!addedScreenParameters.empty()) event->addScreenParameters(addedScreenParameters);

  bool notifyEventListeners = true;
  if (!enabled && !ignoreEnabled) {
    notifyEventListeners = false;
  } else if (BMSIsEventHiddenFromListeners(*event)) {
    notifyEventListeners = false;
  } else if (interceptor && *interceptor && isPublicEvent && !ignoreInterceptor) {
    // The interceptor takes the event instead of the engine.
    BMSParameters merged = eventParameters;
    for (const auto& [key, value] : addedScreenParameters) merged.insert_or_assign(key, value);
    (*interceptor)(origin, name, merged, timestamp);
    return;
  }
  logEventOnWorkerQueue(std::move(*event), notifyEventListeners);
}

void BMSMeasurement::logEventOnWorkerQueue(BMSEvent event, bool notifyEventListeners) {
  std::optional<BMSEvent> beforeHandling;
  if (notifyEventListeners && BMSAnalytics::hasLogEventListeners()) beforeHandling = event;
  handleEventOnWorkerQueue(std::move(event));
  if (beforeHandling) BMSAnalytics::notifyEventListeners(*beforeHandling);
}

void BMSMeasurement::setDefaultEventParameters(std::optional<BMSParameters> parameters) {
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:2518",
                                           [weakSelf = weak_from_this(), parameters = std::move(parameters)] {
                                             if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                               self->handleSetDefaultEventParametersOnWorkerQueue(parameters);
                                           });
}

void BMSMeasurement::handleSetDefaultEventParametersOnWorkerQueue(
    const std::optional<BMSParameters>& parameters) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("handleSetDefaultEventParametersOnWorkerQueue");
  if (!enabled_) {
    BMSLog(7, 23211, "Analytics is disabled. Default event parameters not updated");
    return;
  }
  BMSEventParameters defaults;
  if (parameters) {
    for (const auto& [key, value] : persistedConfig_->defaultEventParameters()) {
      if (std::optional<BMSValue> typed = BMSValueFromObject(value)) defaults.insert_or_assign(key, *typed);
    }
    for (const auto& [key, value] : *parameters) {
      if (!isDefaultParameterKind(value)) {
        if (isArray(value)) BMSLogErrorEvent(kArrayDefaultParameterErrorCode);
        BMSLog(4, 23213, "Invalid key in default event parameters. Parameter ignored.");
        continue;
      }
      if (!BMSDataTypeValidator::isValidPublicEventParameterName(platform::Value(key))) {
        BMSLog(4, 23214, "Invalid default event parameter name. Name", {key});
        continue;
      }
      if (isNull(value)) {
        defaults.erase(key);
        continue;
      }
      std::optional<BMSValue> typed = BMSValueFromObject(value);
      if (typed && BMSDataTypeValidator::isValidPublicEventParameterValue(*typed))
        defaults.insert_or_assign(key, *typed);
    }
  }
  const std::int64_t limit = remoteConfig()->maxPublicEventParams();
  if (static_cast<std::int64_t>(defaults.size()) > limit) {
    BMSTrimPublicParameters(defaults, limit, false);
    BMSLogErrorEvent(kTooManyDefaultParametersErrorCode);
    BMSLog(4, 23215, "Too many default event parameters set. Discarding beyond event parameter limit");
  }
  const platform::Dictionary stored = BMSPlainParameters(defaults);
  BMSLog(7, 23216, "Updating default event parameters. Parameters", {stored});
  persistedConfig_->setDefaultEventParameters(stored);
}

void BMSMeasurement::setUserAttribute(std::optional<BMSUserAttribute> attribute) {
  if (!attribute) {
    BMSLog(3, 23079, "Attempted to set nil user property");
    return;
  }
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:2745",
                                           [weakSelf = weak_from_this(), attribute = std::move(*attribute)] {
                                             if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                               self->setUserAttributeOnWorkerQueue(attribute);
                                           });
}

void BMSMeasurement::setUserAttributeOnWorkerQueue(const BMSUserAttribute& attribute) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setUserAttributeOnWorkerQueue");
  if (!isCollectingOnWorkerQueue()) {
    BMSLog(7, 23081, "Analytics is disabled. User property not set");
    return;
  }
  setUserPropertyInDatabaseOnWorkerQueue(attribute);
}

void BMSMeasurement::removeUserAttribute(std::optional<BMSUserAttribute> attribute) {
  if (!attribute) {
    BMSLog(3, 23074, "Attempted to remove nil user property");
    return;
  }
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:2700",
                                           [weakSelf = weak_from_this(), attribute = std::move(*attribute)] {
                                             if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                               self->removeUserAttributeOnWorkerQueue(attribute);
                                           });
}

void BMSMeasurement::removeUserAttributeOnWorkerQueue(const BMSUserAttribute& attribute) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("removeUserAttributeOnWorkerQueue");
  if (!isCollectingOnWorkerQueue()) {
    BMSLog(7, 23076, "Analytics is disabled. User property not removed");
    return;
  }
  // A new user gets a new session stitching token.
  if (attribute.name() == kUserIDName) identity_->resetSessionStitchingToken();
  const std::string displayName = BMSUserPropertyNameForDisplay(attribute.name());
  if (platform::Result<void> deleted = database_->deleteUserAttributeWithName(attribute.name()); !deleted) {
    BMSLog(1, 23077, "Unable to remove user property. Name, error",
           {displayName, BMSContextFromError(deleted.error())});
    return;
  }
  BMSLog(7, 23078, "User property removed. Name", {displayName});
}

void BMSMeasurement::userPropertiesIncludingInternal(bool includingInternal,
                                                     BMSUserPropertiesCallback callback) {
  if (!callback) {
    BMSLog(0, 23090, "Unable to retrieve user properties. Callback is nil");
    return;
  }
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:2942", [weakSelf = weak_from_this(),
                                                                   includingInternal,
                                                                   callback = std::move(callback)] {
    std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
    if (!self) return;
    platform::Dictionary properties;
    if (!self->database_) {
      BMSLog(1, 23091, "Unable to retrieve user properties. Error", {"Analytics is not started"});
    } else if (auto stored = self->database_->userAttributesIncludingInternal(includingInternal); !stored) {
      BMSLog(1, 23091, "Unable to retrieve user properties. Error", {BMSContextFromError(stored.error())});
    } else {
      for (const BMSUserAttribute& attribute : *stored) {
        // Array values have no user-property form.
        if (!attribute.value().isArray())
          properties.emplace(attribute.name(), BMSPlainValue(attribute.value()));
      }
    }
    platform::globalQueue(platform::QualityOfService::Background)->async([callback, properties] {
      callback(properties);
    });
  });
}

void BMSMeasurement::sessionIDWithCompletion(BMSSessionIDCompletion completion) {
  scheduler_->scheduleOnWorkerQueueBlockID(
      "BMSMeasurement:3098", [weakSelf = weak_from_this(), completion = std::move(completion)] {
        const auto fail = [&completion](const char* reason) {
          completion(0, bms_errorWithCode(kBMSSessionIDErrorCode, reason));
        };
        std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
        if (!self) return fail("Analytics deallocated");
        if (!self->isCollectingOnWorkerQueue()) return fail("Analytics disabled");
        const std::shared_ptr<BMSSessionReporter> sessions = self->sessionReporter();
        if (!sessions || sessions->isSessionExpired()) return fail("Session expired");
        const auto stored = self->database_->userAttributeWithName(kSessionIDName);
        if (!stored || !*stored || !(*stored)->value().isInt64()) return fail("Session ID not found");
        completion((*stored)->value().int64Value(), std::nullopt);
      });
}

void BMSMeasurement::setSessionTimeoutInterval(double seconds) {
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:1584", [weakSelf = weak_from_this(), seconds] {
    std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
    if (!self) return;
    if (const std::shared_ptr<BMSSessionReporter> sessions = self->sessionReporter())
      sessions->setTimeoutSessionInterval(seconds);
  });
}

void BMSMeasurement::filterPurchaseTransactions(
    std::vector<BMSPaymentTransaction> transactions,
    std::function<void(std::vector<BMSPaymentTransaction>)> callback) {
  scheduler_->scheduleOnWorkerQueueBlockID(
      "BMSMeasurement:4063",
      [weakSelf = weak_from_this(), transactions = std::move(transactions), callback = std::move(callback)] {
        std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
        if (!self) return;
        std::vector<BMSPaymentTransaction> kept;
        for (const BMSPaymentTransaction& transaction : transactions) {
          if (transaction.state != BMSPaymentTransaction::State::Purchased) continue;
          if (self->isNewPurchaseOnWorkerQueue(transaction)) kept.push_back(transaction);
        }
        if (!callback) return;
        platform::globalQueue(platform::QualityOfService::Default)->async([callback, kept = std::move(kept)] {
          callback(kept);
        });
      });
}

bool BMSMeasurement::isNewPurchaseOnWorkerQueue(const BMSPaymentTransaction& transaction) {
  const std::string fingerprint = BMSInAppPurchaseTransactionReporter::transactionFingerprint(transaction);
  if (fingerprint.empty()) {
    BMSLog(2, 23139,
           "Purchase has nil or empty fingerprint. Purchase will not be checked for duplicates. Product ID",
           {transaction.productID});
    return true;
  }
  platform::Result<bool> inserted =
      database_ ? database_->insertIfNotDuplicatePurchaseFingerprint(fingerprint)
                : platform::Result<bool>(bms_errorWithCode(23140, "Analytics is not started"));
  if (!inserted) {
    BMSLog(
        1, 23140,
        "Failed to save purchase fingerprint. Purchase will not be checked for duplicates. Product ID, error",
        {transaction.productID, BMSContextFromError(inserted.error())});
    return true;
  }
  if (!*inserted) {
    BMSLog(4, 23141, "Purchase is a duplicate and will not be reported. Product ID", {transaction.productID});
    return false;
  }
  return true;
}

bool BMSMeasurement::isCollectingOnWorkerQueue() const {
  return enabled_ && database_;
}

}  // namespace beacon
