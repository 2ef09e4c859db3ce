#pragma once
// One configured SDK app, and the process-wide registry of apps that is the start-up road of the
// whole SDK.
//
// The application calls BCNApp::configure() once at launch. That reads "BeaconService-Info.plist"
// (BCNOptions::defaultOptions), validates it, builds the default app with its component container
// and heartbeat logger, starts the analytics engine when one is linked (the class "BCNAnalytics"
// with the BCNAnalyticsStart facet), makes the eager components of every registered library, posts
// "BCNAppReadyToConfigureSDKNotification" and tells every library that asked for it. Further apps
// may be configured under names of their own.
//
// Misuse throws platform::ProgrammerError in the core error domain (missing options, a bad or empty
// name, configuring a name twice, an invalid Corvane app ID, a library without components);
// everything else is logged and survives.
//
// Ownership: apps are shared objects; the registry holds every configured app until deleteApp or
// resetApps. An app owns its container and its heartbeat logger.
//
// Threads: one recursive lock guards the registry, the default app and the library list. Checking
// whether a name is taken and creating its app happen under one hold of it, so two concurrent
// configures of one name never make two apps. The readiness notification and the libraries'
// configureWithApp calls are made on the configuring thread while the lock is held, so their
// observers may call BCNApp again but must not wait for another thread that does. The default app
// is also readable without waiting for a configure in progress. Heartbeats are logged on the thread
// that posts the application's did-become-active notification.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/classdir/ClassDirectory.h"
#include "platform/error/Error.h"
#include "platform/notify/NotificationCenter.h"

namespace beacon {

class BCNComponentContainer;
class BCNHeartbeatLogger;
class BCNOptions;

inline constexpr const char* kBCNDefaultAppName = "__BCNAPP_DEFAULT";

inline constexpr const char* kBCNAppReadyToConfigureSDKNotification = "BCNAppReadyToConfigureSDKNotification";
inline constexpr const char* kBCNAppDeleteNotification = "BCNAppDeleteNotification";
inline constexpr const char* kBCNAppNameKey = "BCNAppNameKey";
inline constexpr const char* kBCNAppIsDefaultAppKey = "BCNAppIsDefaultAppKey";
inline constexpr const char* kBCNAppCorvaneAppIDKey = "BCNCorvaneAppIDKey";

// The per-app data-collection switch in the application's preferences; "%@" is the app name.
inline constexpr const char* kBCNGlobalDataCollectionEnabledKeyFormat =
    "/corvane/beacon/global_data_collection_enabled:%@";
// The Info.plist default of that switch.
inline constexpr const char* kBCNDataCollectionDefaultEnabledPlistKey = "BeaconDataCollectionDefaultEnabled";

// The user-info key of the recovery suggestion in the errors BCNApp hands out.
inline constexpr const char* kBCNErrorRecoverySuggestionKey = "recoverySuggestion";

class BCNApp : public std::enable_shared_from_this<BCNApp> {
  struct Passkey {};

 public:
  using AppsByName = std::map<std::string, std::shared_ptr<BCNApp>>;

  // --- The registry -------------------------------------------------------------------------------

  // Configures the default app from BCNOptions::defaultOptions(); throws when there are none.
  static void configure();
  // Configures the default app from `options`; throws when there are none.
  static void configureWithOptions(const std::shared_ptr<BCNOptions>& options);
  // Configures an app named `name`: the default name, or letters, digits, "-" and "_". A name that
  // is taken throws, except inside an app extension when the options are equal (then it is ignored).
  static void configureWithName(const std::string& name, const std::shared_ptr<BCNOptions>& options);

  // The default app; nullptr, with the error line "I-COR000003", when there is none.
  static std::shared_ptr<BCNApp> defaultApp();
  // Whether there is a default app; never logs.
  static bool isDefaultAppConfigured();
  // The default app or nullptr, never logging: for SDK code to which "none" is an ordinary answer.
  static std::shared_ptr<BCNApp> defaultAppIfConfigured();
  // The app of that name; nullptr (logged) when there is none.
  static std::shared_ptr<BCNApp> appNamed(const std::string& name);
  // A copy of the registry; nullopt (logged) before the first configure.
  static std::optional<AppsByName> allApps();
  // Forgets the default app and every app, and resets the shared user agent (for tests). Each app is
  // wound down as deleteApp does, so that nothing of it goes on working (and writing) once it is
  // gone; this waits for its lifecycle maintainers and its logged heartbeats.
  static void resetApps();

  // Adds "name/version" to the SDK's user agent. Names and versions may hold only letters, digits,
  // "-", "_" and "."; anything else is logged ("I-COR000027") and ignored.
  static void registerLibrary(const std::string& name, const std::string& version);
  // Registers a library class (which must carry the BCNLibrary facet, else ProgrammerError) as a
  // component registrant for apps configured afterwards, lets it hear of every app configured
  // afterwards when it asks to, and adds it to the user agent with the SDK version or the given one.
  static void registerInternalLibrary(const platform::ClassEntry& libraryClass, const std::string& name);
  static void registerInternalLibrary(const platform::ClassEntry& libraryClass, const std::string& name,
                                      const std::string& version);

  // The SDK's user-agent text (BCNBeaconUserAgent), which always includes "bcn-ios/<SDK version>"
  // until resetApps.
  static std::string beaconUserAgent();

  // Whether a Corvane app ID is acceptable: "1:<project number>:ios:<hex hash>", or any ID whose
  // leading version is not "1" (logged as unknown, "I-COR000010").
  static bool validateAppID(const std::string& appID);

  // Code -100: the configuration file could not be read.
  static platform::Error errorForMissingOptions();
  // Code -101: the Corvane app ID is invalid.
  static platform::Error errorForInvalidAppID();

  // The sender of the registry's notifications.
  static platform::ObjectTag classTag();

  // --- One app ------------------------------------------------------------------------------------

  // Made only by configure.
  BCNApp(Passkey, const std::string& name, const std::shared_ptr<BCNOptions>& options);
  ~BCNApp();
  BCNApp(const BCNApp&) = delete;
  BCNApp& operator=(const BCNApp&) = delete;

  const std::string& name() const { return name_; }
  bool isDefaultApp() const { return isDefaultApp_; }
  // A locked copy of the app's options.
  std::shared_ptr<BCNOptions> options() const;
  const std::shared_ptr<BCNComponentContainer>& container() const { return container_; }
  const std::shared_ptr<BCNHeartbeatLogger>& heartbeatLogger() const { return heartbeatLogger_; }

  // The per-app switch when one is stored, else the Info.plist default when it is a number, else
  // true.
  bool isDataCollectionDefaultEnabled() const;
  // Stores the per-app switch; for the default app whose options leave analytics collection to it,
  // also switches analytics collection for this run (not persisted).
  void setDataCollectionDefaultEnabled(bool enabled);

  // Removes the app from the registry and tells its components, waiting for them to wind down and for
  // its logged heartbeats to be stored; completes with true. Completes with false (logged) when the
  // registry no longer holds this app.
  void deleteApp(const std::function<void(bool)>& completion);

 private:
  static std::shared_ptr<BCNApp> create(const std::string& name, const std::shared_ptr<BCNOptions>& options);

  // Checks the options and starts what the app needs; false when the Corvane app ID is invalid.
  bool configureCore();
  void appDidBecomeActive();
  // Empties the container, telling the lifecycle maintainers among its instances that the app goes,
  // and waits for the heartbeats logged before to be stored: nothing of the app writes afterwards.
  void windDown();
  std::string dataCollectionKey() const;

  const std::string name_;
  const bool isDefaultApp_;
  // The app's own locked copy; handed out only as further copies, except to the analytics start.
  const std::shared_ptr<BCNOptions> options_;
  std::shared_ptr<BCNComponentContainer> container_;
  const std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger_;
  platform::ObserverToken didBecomeActiveObserver_;
};

}  // namespace beacon
