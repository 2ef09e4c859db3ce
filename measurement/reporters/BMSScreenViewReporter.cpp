#include "measurement/reporters/BMSScreenViewReporter.h"

#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/reporters/BMSSessionReporter.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

constexpr const char* kScreenNameParameter = "screen_name";
constexpr const char* kScreenClassParameter = "screen_class";

// Reads the parameter `key` into `text` when present. False when it is present and not a valid screen
// name or class (a string of 1 to 100 characters).
bool readScreenText(const BMSParameters& parameters, const char* key, std::optional<std::string>& text) {
  const auto found = parameters.find(key);
  if (found == parameters.end()) return true;
  if (!BMSDataTypeValidator::isValidScreenParameterValue(found->second)) return false;
  const std::optional<BMSValue> value = BMSValueFromObject(found->second);
  text = value && value->stringValue() ? *value->stringValue() : std::string();
  return true;
}

bool isValidScreenText(const std::string& text, std::int64_t* failureCode = nullptr) {
  return BMSDataTypeValidator::isValidScreenParameterValue(platform::Value(text), failureCode);
}

struct ScreenParameterNames {
  const char* instanceID;
  const char* className;
  const char* name;
};

// Adds one screen's parameters under `names`. An invalid class name keeps both texts out; an empty
// one keeps only the class out. `logProblems` logs what was left out (for the new screen).
void addScreenParameters(BMSParameters& parameters, const BMSScreen& screen,
                         const ScreenParameterNames& names, bool logProblems) {
  parameters.insert_or_assign(names.instanceID, BMSValue::initWithInt64(screen.instanceID));
  const std::string className = screen.className.value_or("");
  if (className.empty()) {
    if (logProblems) BMSLog(3, 31014, "Screen class name is empty");
  } else if (std::int64_t failure = 0; !isValidScreenText(className, &failure)) {
    if (logProblems) BMSLog(3, 31015, "Screen class name is invalid. Error code", {failure});
    return;
  } else {
    parameters.insert_or_assign(names.className, BMSValue::initWithStringValue(className));
  }
  if (screen.name && !screen.name->empty() && isValidScreenText(*screen.name)) {
    parameters.insert_or_assign(names.name, BMSValue::initWithStringValue(*screen.name));
  }
}

}  // namespace

std::shared_ptr<BMSScreenViewReporter> BMSScreenViewReporter::make(
    std::shared_ptr<BMSReporterHost> host, std::shared_ptr<BMSAdExposureReporter> adExposureReporter,
    platform::NotificationCenter& notifications, std::int64_t firstInstanceID) {
  std::shared_ptr<BMSScreenViewReporter> reporter(
      new BMSScreenViewReporter(std::move(host), std::move(adExposureReporter), firstInstanceID));
  const std::weak_ptr<BMSScreenViewReporter> weakReporter = reporter;
  reporter->becomeActiveObserver_ =
      notifications.addObserver(BMSApplicationDidBecomeActiveNotification(), nullptr, nullptr,
                                [weakReporter](const platform::Notification&) {
                                  if (const auto self = weakReporter.lock())
                                    self->handleApplicationDidBecomeActive();
                                });
  reporter->resignActiveObserver_ =
      notifications.addObserver(BMSApplicationWillResignActiveNotification(), nullptr, nullptr,
                                [weakReporter](const platform::Notification&) {
                                  if (const auto self = weakReporter.lock())
                                    self->handleApplicationWillResignActive();
                                });
  return reporter;
}

BMSScreenViewReporter::BMSScreenViewReporter(std::shared_ptr<BMSReporterHost> host,
                                             std::shared_ptr<BMSAdExposureReporter> adExposureReporter,
                                             std::int64_t firstInstanceID)
    : host_(std::move(host)),
      adExposureReporter_(std::move(adExposureReporter)),
      queue_(platform::makeSerialQueue("BMSScreenViewReporter")),
      currentScreenInstanceID_(firstInstanceID) {}

std::int64_t BMSScreenViewReporter::incrementScreenInstanceID() {
  // Wraps instead of overflowing: the first ID is random and may stand near the top.
  return static_cast<std::int64_t>(
      static_cast<std::uint64_t>(currentScreenInstanceID_.fetch_add(1, std::memory_order_relaxed)) + 1);
}

void BMSScreenViewReporter::trackScreenWithParameters(const BMSParameters& parameters, double timestamp) {
  std::optional<std::string> name;
  if (!readScreenText(parameters, kScreenNameParameter, name)) {
    BMSLog(3, 31027, "Received invalid name for screen",
           {BMSDescription(parameters.at(kScreenNameParameter))});
    return;
  }
  std::optional<std::string> className;
  if (!readScreenText(parameters, kScreenClassParameter, className)) {
    BMSLog(3, 31028, "Received invalid class for screen",
           {BMSDescription(parameters.at(kScreenClassParameter))});
    return;
  }
  auto screen = std::make_shared<BMSScreen>();
  screen->name = name;
  screen->className = className;
  screen->instanceID = incrementScreenInstanceID();
  screen->eventTimestamp = timestamp;
  BMSLog(7, 31029, "Logging screen view with screen name and screen class",
         {name ? platform::Value(*name) : platform::Value(),
          className ? platform::Value(*className) : platform::Value()});

  std::shared_ptr<const BMSScreen> previous;
  {
    // One step, so that two screens tracked at once each see the other as previous, never both the same.
    std::lock_guard lock(mutex_);
    previous = std::exchange(currentScreen_, screen);
  }
  queue_->async([weakSelf = weak_from_this(), previous, screen, parameters] {
    const std::shared_ptr<BMSScreenViewReporter> self = weakSelf.lock();
    if (!self) return;
    self->postScreenDidChangeNotification(previous.get(), screen.get());
    BMSParameters eventParameters;
    if (std::optional<BMSEventParameters> sanitized =
            BMSSanitizeEventParameters(parameters, "screen_view", true, false)) {
      sanitized->erase(kScreenNameParameter);
      sanitized->erase(kScreenClassParameter);
      eventParameters = BMSParametersFromEventParameters(*sanitized);
    }
    self->logViewScreenEvent(previous.get(), *screen, std::move(eventParameters));
  });
}

BMSParameters BMSScreenViewReporter::screenParameters() const {
  const std::shared_ptr<const BMSScreen> screen = currentScreen();
  return screen ? screen->parameters() : BMSParameters{};
}

std::shared_ptr<const BMSScreen> BMSScreenViewReporter::currentScreen() const {
  std::lock_guard lock(mutex_);
  return currentScreen_;
}

void BMSScreenViewReporter::setScreenName(const std::optional<std::string>&,
                                          const std::optional<std::string>&) {
  BMSLog(3, 31000, "Ignoring call to setScreenName:screenClass:. Screen reporting is disabled.");
}

void BMSScreenViewReporter::postScreenDidChangeNotification(const BMSScreen* previous,
                                                            const BMSScreen* next) {
  if (!isAppActive()) return;
  if (previous) {
    if (const std::shared_ptr<BMSSessionReporter> session = host_->sessionReporter()) {
      session->handleScreenDidChangeFromScreen(previous, next);
    }
  }
  adExposureReporter_->handleScreenDidChangeFromScreen(previous, next);
}

void BMSScreenViewReporter::logViewScreenEvent(const BMSScreen* previous, const BMSScreen& next,
                                               BMSParameters parameters) {
  addScreenParameters(parameters, next, {"_si", "_sc", "_sn"}, true);
  if (previous) {
    addScreenParameters(parameters, *previous, {"_pi", "_pc", "_pn"}, false);
    const std::shared_ptr<BMSSessionReporter> session = host_->sessionReporter();
    if (session && host_->remoteConfig()->efficientEngagementReportingEnabled()) {
      if (const std::int64_t engaged = session->cutFreerideEngagementTimeMillis(); engaged >= 1) {
        parameters.insert_or_assign("_et", BMSValue::initWithInt64(engaged));
      }
    }
  }
  parameters.insert_or_assign("_mst", BMSValue::initWithInt64(1));
  host_->logInternalEventWithTimestamp("app", "_vs", next.eventTimestamp, parameters);
}

void BMSScreenViewReporter::handleApplicationDidBecomeActive() {
  isAppActive_.store(true);
  if (const std::shared_ptr<BMSSessionReporter> session = host_->sessionReporter()) {
    session->handleAppDidBecomeActive();
  }
  adExposureReporter_->handleAppDidBecomeActive();
}

void BMSScreenViewReporter::handleApplicationWillResignActive() {
  if (const std::shared_ptr<BMSSessionReporter> session = host_->sessionReporter()) {
    session->handleAppWillResignActiveWithScreen(nullptr);
  }
  adExposureReporter_->handleAppWillResignActiveWithScreen(nullptr);
}

}  // namespace beacon
