// The facade's event road: public names are checked on the caller's thread, every event takes its
// time stamp and its place in the operation queue in one step, and the engine gets it on the
// analytics queue with the facade's switch and interceptor.

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSNumericUtil.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {
namespace {

constexpr const char* kApplicationOrigin = "app";
constexpr const char* kAdReachOrigin = "am";
constexpr std::int64_t kEventNameErrorMaxLength = 40;
constexpr std::int64_t kReservedEventNameErrorCode = 13;
constexpr std::int64_t kInvalidEventNameErrorCode = 2;
constexpr const char* kScreenParameterNames[] = {"_sn", "_sc", "_si"};

constexpr const char* kScreenViewEventName = "screen_view";

// The current screen's parameters for an event that names no screen of its own.
BMSParameters currentScreenParameters(const BMSParameters& parameters) {
  for (const char* key : kScreenParameterNames) {
    if (parameters.contains(key)) return {};
  }
  return AnalyticsContext::current().screenViewReporter()->screenParameters();
}

// Reads the time and queues the block with it under the time-stamp queue, so time stamps follow the
// order in which events enter the operation queue.
void queueWithTimestamp(std::function<void(double timestamp)> log) {
  AnalyticsContext& context = AnalyticsContext::current();
  context.facade().timestampQueue()->sync([&context, &log] {
    const double now = context.nowSince1970();
    BMSAnalytics::queueOperationWithBlock([log = std::move(log), now] { log(now); });
  });
}

// The road of the engine's own "_err" events: through the facade like every internal event.
class FacadeInternalEventLogger final : public BMSInternalEventLogger {
 public:
  void logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                  const platform::Dictionary& parameters) override {
    BMSAnalytics::logInternalEventWithOrigin(origin, name, BMSParametersFromDictionary(parameters));
  }
};

}  // namespace

std::shared_ptr<BMSInternalEventLogger> BMSAnalytics::internalEventLogger() {
  static const std::shared_ptr<BMSInternalEventLogger>& logger =
      *new std::shared_ptr<BMSInternalEventLogger>(std::make_shared<FacadeInternalEventLogger>());
  return logger;
}

void BMSAnalytics::logEventWithName(const std::string& name, const BMSParameters& parameters) {
  logEventWithOrigin(kApplicationOrigin, name, parameters);
}

void BMSAnalytics::logEventWithOrigin(const std::string& origin, const std::string& name,
                                      const BMSParameters& parameters) {
  std::int64_t failure = BMSValidationFailure::kNone;
  if (!BMSDataTypeValidator::isValidPublicEventName(platform::Value(name), &failure)) {
    BMSLogErrorEventWithValue(
        failure == BMSValidationFailure::kReserved ? kReservedEventNameErrorCode : kInvalidEventNameErrorCode,
        platform::Value(name), kEventNameErrorMaxLength, platform::Value(name));
    return;
  }
  logEventWithOrigin(origin, true, name, parameters);
}

void BMSAnalytics::logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                              const BMSParameters& parameters) {
  logEventWithOrigin(origin, false, name, parameters);
}

void BMSAnalytics::logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                      const BMSParameters& parameters) {
  AnalyticsContext& context = AnalyticsContext::current();
  // A screen view makes the new current screen; the screen-view reporter logs it itself.
  if (name == kScreenViewEventName) {
    context.screenViewReporter()->trackScreenWithParameters(parameters, context.nowSince1970());
    return;
  }
  queueWithTimestamp([origin, isPublicEvent, name, parameters,
                      screen = currentScreenParameters(parameters)](double timestamp) {
    logEventOnSerialQueueWithOrigin(origin, isPublicEvent, name, parameters, timestamp, false, false, screen);
  });
}

void BMSAnalytics::logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                              double timestamp, const BMSParameters& parameters) {
  queueOperationWithBlock(
      [origin, name, timestamp, parameters, screen = currentScreenParameters(parameters)] {
        logEventOnSerialQueueWithOrigin(origin, false, name, parameters, timestamp, false, false, screen);
      });
}

void BMSAnalytics::logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                      const BMSParameters& parameters, double timestamp, bool ignoreEnabled,
                                      bool ignoreInterceptor) {
  queueOperationWithBlock([=] {
    logEventOnSerialQueueWithOrigin(origin, isPublicEvent, name, parameters, timestamp, ignoreEnabled,
                                    ignoreInterceptor, {});
  });
}

void BMSAnalytics::logEventOnSerialQueueWithOrigin(const std::string& origin, bool isPublicEvent,
                                                   const std::string& name, const BMSParameters& parameters,
                                                   double timestamp, bool ignoreEnabled,
                                                   bool ignoreInterceptor,
                                                   const BMSParameters& addedScreenParameters) {
  BMSParameters eventParameters = parameters;
  BMSParameters screenParameters = addedScreenParameters;
  // A forwarded event brings its screen along inside its parameters.
  if (ignoreInterceptor && screenParameters.empty() &&
      BMSDataTypeValidator::isValidForwardedEventOrigin(platform::Value(origin))) {
    for (const char* key : kScreenParameterNames) {
      if (auto found = eventParameters.extract(key)) screenParameters.insert(std::move(found));
    }
  }
  const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
  if (!engine) return;
  engine->logEventWithOrigin(origin, isPublicEvent, name, eventParameters, timestamp, isEnabled(),
                             ignoreEnabled, ignoreInterceptor, logEventInterceptor(), screenParameters);
}

void BMSAnalyticsInstance::logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                                      const BMSParameters& parameters) const {
  BMSParameters eventParameters = parameters;
  if (origin == kAdReachOrigin) {
    const auto adEventID = eventParameters.find("_aeid");
    const auto* text =
        adEventID == eventParameters.end() ? nullptr : std::get_if<platform::Value>(&adEventID->second);
    if (text && text->isString()) {
      if (BMSIsDecimalNumberString(*text->asString())) {
        adEventID->second = platform::Value(static_cast<long long>(text->integerValue()));
      } else {
        BMSLog(2, 25024, "AdEvent ID string is not a number");
      }
    }
  }
  BMSAnalytics::logInternalEventWithOrigin(origin, name, eventParameters);
}

const BMSAnalyticsInstance& BMSAnalytics::sharedInstance() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const BMSAnalyticsInstance& instance = *new BMSAnalyticsInstance;
  return instance;
}

}  // namespace beacon
