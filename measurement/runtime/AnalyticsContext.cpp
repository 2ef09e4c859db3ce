#include "measurement/runtime/AnalyticsContext.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSNumericUtil.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSScreenViewReporter.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSDefaultIdentitySupport.h"
#include "measurement/runtime/BMSEnvironmentInfo.h"
#include "measurement/runtime/BMSIdentifiers.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/EngineReporterHost.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/time/SystemClock.h"

#include <atomic>
#include <utility>

namespace beacon {
namespace {

std::mutex& installedMutex() {
  static std::mutex mutex;
  return mutex;
}

// The installed context. Never released by the program itself: blocks still queued at exit may
// reach it.
std::shared_ptr<AnalyticsContext>& installed() {
  static auto* context = new std::shared_ptr<AnalyticsContext>();
  return *context;
}

// The installed context's address, for the readers on every call: they take no lock while a context
// is installed (one lock shared by every queue thread would make callers wait for each other).
// Written only under installedMutex(), together with installed().
std::atomic<AnalyticsContext*>& installedAddress() {
  static std::atomic<AnalyticsContext*> address{nullptr};
  return address;
}

// Makes a member on first use, under the context's lock.
template <class T>
T& memberOnce(std::mutex& mutex, std::unique_ptr<T>& member, AnalyticsContext& context) {
  std::lock_guard lock(mutex);
  if (!member) member = std::make_unique<T>(context);
  return *member;
}

}  // namespace

AnalyticsContext::AnalyticsContext() : AnalyticsContext(Services{}) {}

AnalyticsContext::AnalyticsContext(Services services)
    : clock_(services.clock ? std::move(services.clock) : platform::SystemClock::sharedPointer()),
      classes_(services.classes ? services.classes : &platform::ClassDirectory::shared()),
      notifications_(services.notifications ? services.notifications
                                            : &platform::NotificationCenter::defaultCenter()),
      random_(services.random ? services.random : &platform::systemRandomSource()),
      reachability_(services.reachability ? services.reachability : &platform::defaultReachabilityApi()),
      monitorIsLogSink_(services.monitorIsLogSink),
      eventEditingLoader_(std::move(services.eventEditingLoader)) {
  // The facade's operation queue exists from the start, so operations can collect before the start.
  facade_ = std::make_unique<BMSAnalyticsState>(*this);
  didFinishLaunchingObservation_ = BMSMeasurement::subscribeForAppDidFinishLaunchingNotifications(*this);
}

AnalyticsContext::~AnalyticsContext() {
  // The monitor of a context that goes stops taking the process's log lines.
  if (monitor_ && monitorIsLogSink_ && BMSEngineServices::logSink() == monitor_)
    BMSEngineServices::setLogSink(nullptr);
  retireEngine();
}

void AnalyticsContext::retireEngine() {
  std::shared_ptr<BMSMeasurement> engine;
  {
    std::lock_guard lock(engineSlot_.mutex);
    engine = std::move(engineSlot_.engine);
  }
  if (!engine) return;
  // A block the worker queue runs now may hold the engine, which reaches this context: it finishes
  // first. The engine is let go before, so blocks that come later find it gone.
  const platform::QueueRef worker = engine->scheduler()->workerQueue();
  engine.reset();
  worker->sync([] {});
}

AnalyticsContext& AnalyticsContext::current() {
  if (AnalyticsContext* context = installedAddress().load(std::memory_order_acquire)) return *context;
  std::lock_guard lock(installedMutex());
  std::shared_ptr<AnalyticsContext>& context = installed();
  if (!context) context = std::make_shared<AnalyticsContext>();
  installedAddress().store(context.get(), std::memory_order_release);
  return *context;
}

AnalyticsContext::Scope::Scope(std::shared_ptr<AnalyticsContext> context) : context_(std::move(context)) {
  std::lock_guard lock(installedMutex());
  previous_ = std::exchange(installed(), context_);
  installedAddress().store(installed().get(), std::memory_order_release);
}

AnalyticsContext::Scope::~Scope() {
  std::lock_guard lock(installedMutex());
  installed() = std::move(previous_);
  installedAddress().store(installed().get(), std::memory_order_release);
}

double AnalyticsContext::nowSince1970() const {
  return clock_->now().unixSeconds();
}

BMSAnalyticsState& AnalyticsContext::facade() {
  return *facade_;
}

BMSDefaultIdentitySupport& AnalyticsContext::identitySupport() {
  return memberOnce(mutex_, identitySupport_, *this);
}

BMSEnvironmentInfo& AnalyticsContext::environmentInfo() {
  return memberOnce(mutex_, environmentInfo_, *this);
}

}  // namespace beacon

namespace beacon {

BMSIdentifiers& AnalyticsContext::identifiers() {
  return memberOnce(mutex_, identifiers_, *this);
}

std::shared_ptr<BMSIdentity> AnalyticsContext::identity() {
  std::call_once(identityOnce_, [this] {
    // Until the engine holds a downloaded configuration, the refresh reads the built-in settings.
    identity_ = BMSIdentity::initWithCollaborators(
        *this,
        {BMSPersistedConfig::sharedInstance(), &identitySupport(),
         [] {
           const std::shared_ptr<BMSRemoteConfig> config = BMSMeasurement::remoteConfig();
           return BMSIdentity::RefreshSettings{config->adIDCacheTime(), config->gateIDFAOnATTMASEnabled()};
         },
         &BMSConsentSettingsUtil::isAnalyticsStorageDenied, &BMSConsentSettingsUtil::isAdStorageDenied});
  });
  return identity_;
}

std::shared_ptr<BMSMonitor> AnalyticsContext::monitor() {
  std::call_once(monitorOnce_, [this] {
    monitor_ = BMSMonitor::initWithLibraryVersion(BMSIdentity::appMeasurementLibraryVersion());
    if (monitorIsLogSink_) BMSEngineServices::setLogSink(monitor_);
  });
  return monitor_;
}

}  // namespace beacon

namespace beacon {

std::shared_ptr<BMSScreenViewReporter> AnalyticsContext::screenViewReporter() {
  reporterHost();
  return screenViewReporter_;
}

std::shared_ptr<BMSAdExposureReporter> AnalyticsContext::adExposureReporter() {
  reporterHost();
  return adExposureReporter_;
}

std::shared_ptr<BMSReporterHost> AnalyticsContext::reporterHost() {
  std::call_once(reportersOnce_, [this] {
    reporterHost_ = std::make_shared<EngineReporterHost>(*this);
    adExposureReporter_ = BMSAdExposureReporter::make(reporterHost_, clock_, *notifications_);
    screenViewReporter_ = BMSScreenViewReporter::make(reporterHost_, adExposureReporter_, *notifications_,
                                                      BMSNumericUtil::randomInt64(*random_));
  });
  return reporterHost_;
}

}  // namespace beacon
