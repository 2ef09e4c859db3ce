// The facade's user properties and user ID: names and values are checked on the caller's thread
// (refusals become "_err" events), the engine gets the property through the operation queue.

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/UserPropertyNames.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

constexpr const char* kAllowPersonalizedAdsName = "allow_personalized_ads";
constexpr std::int64_t kUserPropertyErrorMaxLength = 24;
constexpr std::int64_t kReservedUserPropertyNameErrorCode = 15;
constexpr std::int64_t kInvalidUserPropertyNameErrorCode = 6;
constexpr std::int64_t kUserPropertyValueTooLongErrorCode = 7;
constexpr std::size_t kMaxOriginLength = 32;

double now() {
  return AnalyticsContext::current().nowSince1970();
}

// The public name rule; a refused name is logged as an "_err" event.
bool isValidPublicName(const std::string& name) {
  std::int64_t failure = BMSValidationFailure::kNone;
  if (BMSDataTypeValidator::isValidPublicUserAttributeName(platform::Value(name), &failure)) return true;
  BMSLogErrorEventWithValue(failure == BMSValidationFailure::kReserved ? kReservedUserPropertyNameErrorCode
                                                                       : kInvalidUserPropertyNameErrorCode,
                            platform::Value(name), kUserPropertyErrorMaxLength, platform::Value(name));
  return false;
}

void logValueTooLong(const platform::Value& valueText) {
  BMSLogErrorEventWithValue(kUserPropertyValueTooLongErrorCode, valueText, kUserPropertyErrorMaxLength,
                            valueText);
}

void queueToEngine(std::function<void(BMSMeasurement&)> work) {
  BMSAnalytics::queueOperationWithBlock([work = std::move(work)] {
    if (const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance()) work(*engine);
  });
}

// The application's switch for personalised ads: persisted, and mirrored into "_npa" while
// collection is on.
void queuePersonalizedAdsUpdate(const platform::Value& value) {
  const std::optional<bool> allow = value.isNull() ? std::nullopt : std::optional<bool>(value.boolValue());
  BMSAnalytics::queueOperationWithBlock([allow] {
    const bool enabled = BMSAnalytics::isEnabled();
    if (!enabled) BMSLog(7, 25033, "Personalized Ads property changed while Analytics is disabled");
    BMSPersistedConfig::sharedInstance()->setAllowPersonalizedAds(
        allow ? std::optional<platform::Value>(*allow) : std::nullopt);
    if (!allow && BMSMeasurement::remoteConfig()->DMAConsentEnabled() &&
        BMSConsentSettingsUtil::adPersonalization()) {
      BMSConsentSettingsUtil::unsetAdPersonalization();
    }
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!enabled || !engine) return;
    const std::optional<std::int64_t> disable = engine->shouldDisableAdPersonalization();
    std::optional<BMSUserAttribute> property = BMSUserAttribute::initWithOrigin(
        "auto", kNonPersonalizedAdsName, BMSValue::initWithInt64(disable.value_or(0)), now());
    if (disable) {
      engine->setUserAttribute(std::move(property));
    } else {
      engine->removeUserAttribute(std::move(property));
    }
  });
}

}  // namespace

void BMSAnalytics::setUserPropertyString(const platform::Value& value, const std::string& name) {
  if (name == kAllowPersonalizedAdsName) {
    queuePersonalizedAdsUpdate(value);
    return;
  }
  if (value.isNull()) {
    removeUserAttributeForName(name);
    return;
  }
  if (!isValidPublicName(name)) return;
  if (!value.isString()) {
    BMSLog(0, 25003, "User property must be NSString. Value", {value});
    return;
  }
  std::int64_t failure = BMSValidationFailure::kNone;
  if (!BMSDataTypeValidator::isValidPublicUserAttributeValue(BMSValue::initWithStringValue(*value.asString()),
                                                             &failure)) {
    if (failure == BMSValidationFailure::kTooLong) logValueTooLong(value);
    return;
  }
  sharedInstance().setInternalUserProperty(value, name, kApplicationOrigin);
}

void BMSAnalytics::setUserID(const platform::Value& userID) {
  if (userID.isNull()) {
    removeInternalUserAttributeForName(kUserIDName);
    removeInternalUserAttributeForName(kLastAdvertisingIDResetName);
    return;
  }
  if (!userID.isString()) {
    BMSLog(0, 25004, "User ID must be NSString. User ID", {userID});
    return;
  }
  sharedInstance().setInternalUserProperty(userID, kUserIDName, kApplicationOrigin);
}

void BMSAnalytics::removeUserAttributeForName(const std::string& name) {
  if (BMSDataTypeValidator::isValidPublicUserAttributeName(platform::Value(name)))
    removeInternalUserAttributeForName(name);
}

void BMSAnalytics::setUserAttributeNumber(const platform::Value& number, const std::string& name) {
  if (!isValidPublicName(name) || !number.isNumber()) return;
  sharedInstance().setInternalUserProperty(number, name, "auto");
}

void BMSAnalyticsInstance::setInternalUserProperty(const platform::Value& value, const std::string& name,
                                                   const std::string& origin) const {
  std::int64_t failure = BMSValidationFailure::kNone;
  if (!BMSDataTypeValidator::isValidInternalUserAttributeName(platform::Value(name), &failure)) {
    BMSLogErrorEventWithValue(kInvalidUserPropertyNameErrorCode, platform::Value(name),
                              kUserPropertyErrorMaxLength, platform::Value(name));
    return;
  }
  if (origin.empty() || origin.size() > kMaxOriginLength) {
    BMSLog(2, 25005, "Unable to set user property. Origin is invalid. Origin, name", {origin, name});
    return;
  }
  if (value.isNull()) {
    BMSAnalytics::removeInternalUserAttributeForName(name);
    return;
  }
  // Floating-point numbers stay doubles, every other number becomes a 64-bit integer.
  const std::optional<BMSValue> typed = BMSValueFromObject(value);
  if (!typed) return;
  if (!BMSDataTypeValidator::isValidInternalUserAttributeValue(*typed, name, &failure)) {
    if (failure == BMSValidationFailure::kTooLong) {
      logValueTooLong(typed->isArray() ? platform::Value() : platform::Value(typed->description()));
    } else if (failure == BMSValidationFailure::kNotNumeric) {
      BMSLogErrorEventWithValue(BMSErrorCode::kValueIsNotNumeric, platform::Value(name),
                                kUserPropertyErrorMaxLength, std::nullopt);
    }
    return;
  }
  std::optional<BMSUserAttribute> property = BMSUserAttribute::initWithOrigin(origin, name, *typed, now());
  if (!property) return;
  queueToEngine(
      [property = std::move(*property)](BMSMeasurement& engine) { engine.setUserAttribute(property); });
}

void BMSAnalytics::removeInternalUserAttributeForName(const std::string& name) {
  std::optional<BMSUserAttribute> property =
      BMSUserAttribute::initWithOrigin("", name, BMSValue::initWithDouble(0), now());
  if (!property) return;
  queueToEngine(
      [property = std::move(*property)](BMSMeasurement& engine) { engine.removeUserAttribute(property); });
}

void BMSAnalytics::userPropertiesIncludingInternal(bool includingInternal, platform::QueueRef queue,
                                                   BMSUserPropertiesCallback callback) {
  queueOperationWithBlock([includingInternal, queue = std::move(queue), callback = std::move(callback)] {
    if (!callback) {
      BMSLog(2, 25006, "Analytics userProperties callback cannot be nil");
      return;
    }
    if (!queue) {
      BMSLog(2, 25007, "Cannot query for Analytics user properties. Queue cannot be nil");
      platform::mainQueue()->async([callback] { callback({}); });
      return;
    }
    if (!isEnabled()) {
      BMSLog(5, 25008, "Cannot query for public user properties when Analytics is disabled");
      queue->async([callback] { callback({}); });
      return;
    }
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!engine) return;
    engine->userPropertiesIncludingInternal(includingInternal,
                                            [queue, callback](const platform::Dictionary& properties) {
                                              queue->async([callback, properties] { callback(properties); });
                                            });
  });
}

}  // namespace beacon
