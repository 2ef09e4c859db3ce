// The facade's event road: public names are checked on the caller's thread, every event takes its
// time stamp and its place in the operation queue in one step, and the engine gets it on the
// analytics queue with the facade's switch and interceptor.

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSNumericUtil.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"

namespace beacon {
namespace {

constexpr std::int64_t kEventNameErrorMaxLength = 40;
constexpr std::int64_t kReservedEventNameErrorCode = 13;
constexpr std::int64_t kInvalidEventNameErrorCode = 2;
constexpr const char* kScreenParameterNames[] = {"_sn", "_sc", "_si"};

constexpr const char* kScreenViewEventName = "screen_view";

// One event on its way to the engine. Made once on the caller's thread - the only copy of the
// caller's parameters - and moved from queue to queue after that.
struct QueuedEvent {
  std::string origin;
  bool isPublicEvent = false;
  std::string name;
  BMSParameters parameters;
  double timestamp = 0;
  bool ignoreEnabled = false;
  bool ignoreInterceptor = false;
  // The screen whose parameters the event gets; none when it names a screen of its own. Screens
  // are immutable, so the parameters are built later, off the caller's thread.
  std::shared_ptr<const BMSScreen> screen;
  // Its place among the events waiting to be stored.
  BMSEventBacklog::Place backlogPlace;
};

// The current screen for an event that names no screen of its own.
std::shared_ptr<const BMSScreen> currentScreenFor(const BMSParameters& parameters) {
  for (const char* key : kScreenParameterNames) {
    if (parameters.contains(key)) return nullptr;
  }
  return AnalyticsContext::current().screenViewReporter()->currentScreen();
}

// Gives the event its place among the events waiting to be stored; false when it is refused. While
// the operation queue holds events back until the start every event is let through; a hold after
// the start (setUserData's) ends by itself, so callers meanwhile wait for places as always.
bool admit(BMSAnalyticsState& facade, QueuedEvent& event) {
  BMSEventBacklog& backlog = facade.backlog();
  BMSEventBacklog::Admission admission = facade.holdsOperationsUntilStart()
                                             ? backlog.letThrough()
                                             : backlog.admit(event.name, BMSEventBacklog::callerWait());
  event.backlogPlace = std::move(admission.place);
  return admission.admitted;
}

// Queues the admitted event in one closure: the operation queue's operation hands it on to the
// analytics queue from the operation queue's thread.
void queueAdmittedEvent(BMSAnalyticsState& facade, QueuedEvent event) {
  facade.queueOperationWithBlock([event = std::move(event)]() mutable {
    BMSParameters screenParameters = event.screen ? event.screen->parameters() : BMSParameters{};
    BMSAnalytics::logEventOnSerialQueueWithOrigin(
        std::move(event.origin), event.isPublicEvent, std::move(event.name), std::move(event.parameters),
        event.timestamp, event.ignoreEnabled, event.ignoreInterceptor, std::move(screenParameters),
        std::move(event.backlogPlace));
  });
}

void queueEvent(BMSAnalyticsState& facade, QueuedEvent event) {
  if (admit(facade, event)) queueAdmittedEvent(facade, std::move(event));
}

// Reads the time and queues the event with it under the time-stamp queue, so time stamps follow the
// order in which events enter the operation queue.
void queueWithTimestamp(QueuedEvent event) {
  AnalyticsContext& context = AnalyticsContext::current();
  // Outside the time-stamp queue: a caller waiting for a place holds no other caller up there.
  if (!admit(context.facade(), event)) return;
  // Two references: small enough for the block to be held without an allocation.
  context.facade().timestampQueue()->sync([&context, &event] {
    event.timestamp = context.nowSince1970();
    queueAdmittedEvent(context.facade(), std::move(event));
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
  queueWithTimestamp(
      {origin, isPublicEvent, name, parameters, 0, false, false, currentScreenFor(parameters), nullptr});
}

void BMSAnalytics::logInternalEventWithOrigin(const std::string& origin, const std::string& name,
                                              double timestamp, const BMSParameters& parameters) {
  queueEvent(AnalyticsContext::current().facade(), {origin, false, name, parameters, timestamp, false, false,
                                                    currentScreenFor(parameters), nullptr});
}

void BMSAnalytics::logEventWithOrigin(const std::string& origin, bool isPublicEvent, const std::string& name,
                                      const BMSParameters& parameters, double timestamp, bool ignoreEnabled,
                                      bool ignoreInterceptor) {
  queueEvent(AnalyticsContext::current().facade(), {origin, isPublicEvent, name, parameters, timestamp,
                                                    ignoreEnabled, ignoreInterceptor, nullptr, nullptr});
}

void BMSAnalytics::logEventOnSerialQueueWithOrigin(std::string origin, bool isPublicEvent, std::string name,
                                                   BMSParameters parameters, double timestamp,
                                                   bool ignoreEnabled, bool ignoreInterceptor,
                                                   BMSParameters addedScreenParameters,
                                                   std::shared_ptr<const void> backlogPlace) {
  // A forwarded event brings its screen along inside its parameters.
  if (ignoreInterceptor && addedScreenParameters.empty() &&
      BMSDataTypeValidator::isValidForwardedEventOrigin(platform::Value(origin))) {
    for (const char* key : kScreenParameterNames) {
      if (auto found = parameters.extract(key)) addedScreenParameters.insert(std::move(found));
    }
  }
  const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
  if (!engine) return;
  engine->logEventWithOrigin(std::move(origin), isPublicEvent, std::move(name), std::move(parameters),
                             timestamp, isEnabled(), ignoreEnabled, ignoreInterceptor, logEventInterceptor(),
                             std::move(addedScreenParameters), std::move(backlogPlace));
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
