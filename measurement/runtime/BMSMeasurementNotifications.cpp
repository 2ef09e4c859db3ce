// The engine's reactions to the application becoming active and resigning active, writing its
// persisted state to disk, and the bridge of its HTTP client's log lines.

#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/time/StampAge.h"

namespace beacon {
namespace {

// A configuration updated this long ago, or stamped ahead of the clock, is fetched again when the
// app becomes active (with the internal blocklist switched on).
constexpr double kConfigurationRecheckAgeSeconds = 604800;

}  // namespace

platform::ObserverToken BMSMeasurement::subscribeForAppDidFinishLaunchingNotifications(
    AnalyticsContext& context) {
  return context.notifications().addObserver(BMSApplicationDidFinishLaunchingNotification(), nullptr, nullptr,
                                             [&context](const platform::Notification& notification) {
                                               handleAppDidFinishLaunching(context, notification);
                                             });
}

void BMSMeasurement::handleAppDidFinishLaunching(AnalyticsContext& context,
                                                 const platform::Notification& notification) {
  // The screen-view reporter follows the application from launch on.
  context.screenViewReporter();
  if (notification.userInfo) handleStoredURLAfterAppLaunchWithNotification(context, notification);
}

void BMSMeasurement::subscribeForAppForegroundBackgroundNotifications() {
  const std::weak_ptr<BMSMeasurement> weakSelf = weak_from_this();
  platform::NotificationCenter& center = context_.notifications();
  appObservations_.clear();
  appObservations_.push_back(center.addObserver(BMSApplicationDidBecomeActiveNotification(), nullptr, nullptr,
                                                [weakSelf](const platform::Notification& notification) {
                                                  if (auto self = weakSelf.lock())
                                                    self->handleAppDidBecomeActiveEvent(notification);
                                                }));
  appObservations_.push_back(center.addObserver(BMSApplicationWillResignActiveNotification(), nullptr,
                                                nullptr,
                                                [weakSelf](const platform::Notification& notification) {
                                                  if (auto self = weakSelf.lock())
                                                    self->handleAppWillResignActiveEvent(notification);
                                                }));
}

void BMSMeasurement::handleAppDidBecomeActiveEvent(const platform::Notification&) {
  if (!remoteConfig()->blocklistInternal()) return;
  scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:4197", [weakSelf = weak_from_this()] {
    std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
    if (!self) return;
    const double lastUpdate = self->remoteConfigInstance()->lastRemoteConfigUpdateTimestamp();
    if (platform::secondsSinceStamp(lastUpdate, self->context_.nowSince1970()) <
        kConfigurationRecheckAgeSeconds)
      return;
    if (self->isNetworkReadyForRequest()) {
      self->fetchRemoteConfig();
    } else {
      BMSLog(8, 23143, "Network operation is pending. Ignoring request to fetch configuration");
    }
  });
}

void BMSMeasurement::handleAppWillResignActiveEvent(const platform::Notification&) {
  persistedConfig_->synchronizeToDisk();
  BMSLog(8, 23144, "App will resign active state. Scheduling data upload");
  BMSAnalytics::queueOperationWithBlock([weakSelf = weak_from_this()] {
    std::shared_ptr<BMSMeasurement> self = weakSelf.lock();
    if (!self) return;
    self->scheduler_->scheduleOnWorkerQueueBlockID("BMSMeasurement:4250", [weakSelf] {
      if (std::shared_ptr<BMSMeasurement> engine = weakSelf.lock()) engine->uploadDataRespectingBackoff();
    });
  });
}

void BMSMeasurement::terminateBackgroundTask() {
  persistedConfig_->synchronizeToDisk();
}

void BMSMeasurement::closeDatabaseOnWorkerQueue() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("closeDatabaseOnWorkerQueue");
  if (database_) database_->close();
}

}  // namespace beacon
