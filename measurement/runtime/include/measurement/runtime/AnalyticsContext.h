#pragma once
// Every piece of process-wide state on the analytics side lives in one AnalyticsContext: the
// facade's queues, flags and preferences, the shared engine and its monitor, the shared identity and
// identifiers, identity support and environment facts. The class-level calls (BMSAnalytics, BCNAnalytics,
// BMSIdentity::shared() ...) forward to the current context, so nothing of it hides in function-local
// statics.
//
// The program has one context, made on first use of current() over the real clock, the shared class
// directory, the default notification centre and the system random source. A test makes its own
// (after installing its deterministic dispatch backend, so the context's queues belong to it),
// installs it with a Scope, and tears it down with the Scope.
//
// Members are created once, on first use, and live as long as the context. Thread-safe. A context is
// always held by a shared_ptr: work queued for later holds it weakly and does nothing once it went.

#include <memory>
#include <mutex>

#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/identity/RandomSource.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/reach/Reachability.h"
#include "platform/time/Clock.h"

namespace beacon {

class BMSAdExposureReporter;
class BMSAnalyticsState;
class BMSIdentifiers;
class BMSIdentity;
class BMSMeasurement;
class BMSMonitor;
class BMSReporterHost;
class BMSScreenViewReporter;
class BMSDefaultIdentitySupport;
class BMSEnvironmentInfo;

class AnalyticsContext : public std::enable_shared_from_this<AnalyticsContext> {
 public:
  // What the context reads the outside world through. Members left empty take the process's own.
  struct Services {
    std::shared_ptr<const platform::Clock> clock;
    platform::ClassDirectory* classes = nullptr;
    platform::NotificationCenter* notifications = nullptr;
    platform::RandomSource* random = nullptr;
    // The monitor, once made, becomes the engine's log sink. Tests that capture log lines say no.
    bool monitorIsLogSink = true;
    // How the engine's network watches the analytics service's host.
    const platform::ReachabilityApi* reachability = nullptr;
    // Builds the runtime of a downloaded event-editing program; this program runs none, tests may.
    BMSEventEditingLoader eventEditingLoader = {};
  };

  // The shared engine and whether its creation was tried, under the engine lock.
  struct EngineSlot {
    std::mutex mutex;
    bool initialized = false;
    std::shared_ptr<BMSMeasurement> engine;
  };

  AnalyticsContext();
  explicit AnalyticsContext(Services services);
  ~AnalyticsContext();
  AnalyticsContext(const AnalyticsContext&) = delete;
  AnalyticsContext& operator=(const AnalyticsContext&) = delete;

  // The context the class-level calls use; made on first use when none is installed.
  static AnalyticsContext& current();

  // Installs a context for as long as the Scope lives, then puts back the one before (or none, so
  // the next current() makes a fresh default). Scopes nest; test thread only.
  class Scope {
   public:
    explicit Scope(std::shared_ptr<AnalyticsContext> context);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    AnalyticsContext& context() const { return *context_; }

   private:
    std::shared_ptr<AnalyticsContext> context_;
    std::shared_ptr<AnalyticsContext> previous_;
  };

  const platform::Clock& clock() const { return *clock_; }
  const std::shared_ptr<const platform::Clock>& sharedClock() const { return clock_; }
  // The wall clock as seconds since 1970, the unit of every analytics time stamp.
  double nowSince1970() const;
  platform::ClassDirectory& classes() const { return *classes_; }
  bool classExists(std::string_view name) const { return classes_->lookup(name) != nullptr; }
  platform::NotificationCenter& notifications() const { return *notifications_; }
  platform::RandomSource& random() const { return *random_; }
  const platform::ReachabilityApi& reachability() const { return *reachability_; }
  const BMSEventEditingLoader& eventEditingLoader() const { return eventEditingLoader_; }

  BMSAnalyticsState& facade();
  BMSDefaultIdentitySupport& identitySupport();
  BMSEnvironmentInfo& environmentInfo();
  BMSIdentifiers& identifiers();
  // Over the shared persisted state and consent; nullptr when it could not be made.
  std::shared_ptr<BMSIdentity> identity();
  std::shared_ptr<BMSMonitor> monitor();
  EngineSlot& engineSlot() { return engineSlot_; }
  // The public interface's observation of the installation ID; each start replaces it, so repeated
  // starts leave one.
  platform::ObserverToken& installationIDObservation() { return installationIDObservation_; }
  // The shared screen-view and ad-exposure reporters, made together on first use and observing this
  // context's notification centre, and the host through which every reporter reaches the engine.
  std::shared_ptr<BMSScreenViewReporter> screenViewReporter();
  std::shared_ptr<BMSAdExposureReporter> adExposureReporter();
  std::shared_ptr<BMSReporterHost> reporterHost();

 private:
  // Lets the engine go, waiting for work of its that is running now.
  void retireEngine();

  std::shared_ptr<const platform::Clock> clock_;
  platform::ClassDirectory* classes_;
  platform::NotificationCenter* notifications_;
  platform::RandomSource* random_;
  const platform::ReachabilityApi* reachability_;
  bool monitorIsLogSink_;
  BMSEventEditingLoader eventEditingLoader_;

  std::mutex mutex_;
  std::unique_ptr<BMSAnalyticsState> facade_;
  std::unique_ptr<BMSDefaultIdentitySupport> identitySupport_;
  std::unique_ptr<BMSEnvironmentInfo> environmentInfo_;
  std::unique_ptr<BMSIdentifiers> identifiers_;
  std::once_flag identityOnce_;
  std::shared_ptr<BMSIdentity> identity_;
  std::once_flag monitorOnce_;
  std::shared_ptr<BMSMonitor> monitor_;
  EngineSlot engineSlot_;
  platform::ObserverToken installationIDObservation_;
  std::once_flag reportersOnce_;
  std::shared_ptr<BMSReporterHost> reporterHost_;
  std::shared_ptr<BMSAdExposureReporter> adExposureReporter_;
  std::shared_ptr<BMSScreenViewReporter> screenViewReporter_;
  // Last, so it ends before anything its handler reaches.
  platform::ObserverToken didFinishLaunchingObservation_;
};

}  // namespace beacon
