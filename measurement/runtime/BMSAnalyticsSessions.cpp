// The facade's session queries and settings, and the URLs and activities the application was opened
// with. These are dispatched straight onto the analytics queue, not held for the start.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {
namespace {

void completeOnGlobalQueue(const BMSSessionIDCompletion& completion, std::int64_t sessionID,
                           std::optional<platform::Error> error) {
  platform::globalQueue(platform::QualityOfService::Default)
      ->async([completion, sessionID, error = std::move(error)] { completion(sessionID, error); });
}

}  // namespace

void BMSAnalytics::sessionIDWithCompletion(BMSSessionIDCompletion completion) {
  if (!completion) {
    BMSLog(1, 25050, "Analytics sessionID completion cannot be nil");
    return;
  }
  dispatchAsyncOnSerialQueue([completion = std::move(completion)] {
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!engine || !engine->didInitializeComponents()) {
      completeOnGlobalQueue(completion, 0,
                            bms_errorWithCode(kBMSSessionIDErrorCode, "Analytics uninitialized"));
    } else if (!BMSMeasurement::remoteConfig()->isSessionIDEnabled()) {
      completeOnGlobalQueue(completion, 0,
                            bms_errorWithCode(kBMSSessionIDErrorCode, "Session ID API disabled"));
    } else {
      engine->sessionIDWithCompletion(
          [completion](std::int64_t sessionID, std::optional<platform::Error> error) {
            completeOnGlobalQueue(completion, sessionID, std::move(error));
          });
    }
  });
}

void BMSAnalytics::setSessionTimeoutInterval(double seconds) {
  dispatchAsyncOnSerialQueue([seconds] {
    if (const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance())
      engine->setSessionTimeoutInterval(seconds);
  });
}

void BMSAnalytics::handleOpenURL(const std::string& url) {
  const double now = AnalyticsContext::current().nowSince1970();
  dispatchAsyncOnSerialQueue([url, now] {
    if (const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance())
      engine->handleNonFirstOpenEventURL(url, now);
    if (const BMSOpenURLListener& listener = AnalyticsContext::current().facade().openURLListener)
      listener(url);
  });
}

void BMSAnalytics::handleUserActivity(const platform::UserActivity& activity) {
  const double now = AnalyticsContext::current().nowSince1970();
  dispatchAsyncOnSerialQueue([activity, now] {
    const std::optional<std::string> link = BMSMeasurement::deepLinkFromUserActivity(activity);
    if (!link || link->empty()) return;
    if (const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance())
      engine->handleNonFirstOpenEventURL(*link, now);
  });
}

void BMSAnalytics::setOpenURLListener(BMSOpenURLListener listener) {
  dispatchAsyncOnSerialQueue(
      [listener = std::move(listener)] { AnalyticsContext::current().facade().openURLListener = listener; });
}

}  // namespace beacon
