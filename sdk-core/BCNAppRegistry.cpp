// The class side of BCNApp: the registry of apps, the configure road, library registration and the
// shared user agent.

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/prefs/PreferencesDomain.h"
#include "platform/text/Characters.h"
#include "platform/text/Format.h"
#include "platform/text/Scalars.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNBeaconUserAgent.h"
#include "sdk-core/BCNComponent.h"
#include "sdk-core/BCNComponentContainer.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-core/BCNSDKVersion.h"
#include "sdk-core/CoreError.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

struct RegistryState {
  // The class lock. Recursive: the readiness observers and the libraries' configureWithApp run under
  // it and may call back into BCNApp.
  std::recursive_mutex mutex;
  // Changed only with `mutex` held as well; lets defaultApp() answer while a configure holds the
  // class lock (an analytics start that waits for the main thread must not deadlock against it).
  std::mutex defaultAppMutex;
  std::shared_ptr<BCNApp> defaultApp;
  std::optional<BCNApp::AppsByName> apps;
  // Libraries that asked to hear of every configured app, in registration order.
  std::vector<const platform::ClassEntry*> libraries;
};

RegistryState& registry() {
  static RegistryState* const state = new RegistryState;
  return *state;
}

void setDefaultApp(RegistryState& state, std::shared_ptr<BCNApp> app) {
  std::lock_guard lock(state.defaultAppMutex);
  state.defaultApp = std::move(app);
}

std::shared_ptr<BCNApp> currentDefaultApp(RegistryState& state) {
  std::lock_guard lock(state.defaultAppMutex);
  return state.defaultApp;
}

BCNBeaconUserAgent& sharedUserAgent() {
  static BCNBeaconUserAgent* const agent = [] {
    auto* made = new BCNBeaconUserAgent;
    made->setValue(BCNSDKVersion(), "bcn-ios");
    return made;
  }();
  return *agent;
}

bool consistsOf(const std::string& text, std::u32string_view extraCharacters) {
  const std::u32string scalars = platform::toScalars(text);
  return std::all_of(scalars.begin(), scalars.end(), [&](char32_t scalar) {
    return platform::isAlphanumeric(scalar) || extraCharacters.find(scalar) != std::u32string_view::npos;
  });
}

// A second configure of a name that is taken: a programmer error, except that an app extension may
// run its start-up code again with the same options.
void applyDuplicateRule(const BCNApp& existing, const BCNOptions& options) {
  if (CVUAppEnvironmentUtil::isAppExtension() && existing.options()->isEqual(options)) {
    BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000035", "Ignoring second `configure` call in an extension.");
    return;
  }
  if (existing.isDefaultApp() && !CVUAppEnvironmentUtil::isAppExtension()) {
    raiseCoreException("Default app has already been configured.");
  }
  raiseCoreException(platform::format("App named %@ has already been configured.", existing.name()));
}

// Optional SDK libraries that announce themselves by class name only.
void registerOptionalLibrariesOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const platform::ClassDirectory& directory = platform::ClassDirectory::shared();
    const std::pair<const char*, const char*> componentLibraries[] = {
        {"BCNSessions", "bcn-ses"},
        {"BCNFunctionsComponent", "bcn-fun"},
        {"BCNStorageComponent", "bcn-str"},
        {"BCNGenAIComponent", "bcn-genai"},
    };
    for (const auto& [className, libraryName] : componentLibraries) {
      const platform::ClassEntry* libraryClass = directory.lookup(className);
      if (libraryClass && libraryClass->facet<BCNLibrary>())
        BCNApp::registerInternalLibrary(*libraryClass, libraryName);
    }
    const std::pair<const char*, const char*> combinedLibraries[] = {
        {"BCNCombineAuthLibrary", "comb-auth"},
        {"BCNCombineDocstoreLibrary", "comb-docstore"},
        {"BCNCombineFunctionsLibrary", "comb-functions"},
        {"BCNCombineStorageLibrary", "comb-storage"},
    };
    for (const auto& [className, libraryName] : combinedLibraries) {
      if (directory.lookup(className)) BCNApp::registerLibrary(libraryName, BCNSDKVersion());
    }
  });
}

// Needs the class lock held.
void notifyLibraries(RegistryState& state, const std::shared_ptr<BCNApp>& app) {
  platform::NotificationCenter::defaultCenter().post(
      kBCNAppReadyToConfigureSDKNotification, BCNApp::classTag(),
      platform::Dictionary{{kBCNAppNameKey, app->name()},
                           {kBCNAppIsDefaultAppKey, app->isDefaultApp()},
                           {kBCNAppCorvaneAppIDKey, app->options()->corvaneAppID().value_or("")}});
  // A copy: a library may register further libraries while it is told.
  const std::vector<const platform::ClassEntry*> libraries = state.libraries;
  for (const platform::ClassEntry* libraryClass : libraries)
    libraryClass->facet<BCNLibrary>()->configureWithApp(app);
}

}  // namespace

void BCNApp::configure() {
  std::shared_ptr<BCNOptions> options = BCNOptions::defaultOptions();
  if (!options) {
    raiseCoreException(
        platform::format("`BeaconApp.configure()` could not find a valid BeaconService-Info.plist in your "
                         "project. Please download "
                         "one from %@.",
                         kBCNConsoleLink));
  }
  configureWithOptions(options);
}

void BCNApp::configureWithOptions(const std::shared_ptr<BCNOptions>& options) {
  if (!options) raiseCoreException("Options is nil. Please pass a valid options.");
  configureWithName(kBCNDefaultAppName, options);
}

void BCNApp::configureWithName(const std::string& name, const std::shared_ptr<BCNOptions>& options) {
  if (!options) raiseCoreException("Neither name nor options can be nil.");
  if (name.empty()) raiseCoreException("Name cannot be empty.");
  const bool isDefault = name == kBCNDefaultAppName;
  if (!isDefault && !consistsOf(name, U"-_")) {
    raiseCoreException("App name can only contain alphanumeric, hyphen (-), and underscore (_) characters");
  }

  // Before the class lock: registration takes it itself, and running it ahead of the name check
  // changes nothing, since a name can only be taken after a configure that got this far.
  registerOptionalLibrariesOnce();

  RegistryState& state = registry();
  std::lock_guard lock(state.mutex);
  std::shared_ptr<BCNApp> existing;
  if (isDefault) {
    existing = currentDefaultApp(state);
  } else if (state.apps) {
    if (auto found = state.apps->find(name); found != state.apps->end()) existing = found->second;
  }
  if (existing) {
    applyDuplicateRule(*existing, *options);
    return;
  }
  if (isDefault) {
    BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000001", "Configuring the default app.");
  } else {
    BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000002", "Configuring app named %@", name);
  }

  std::shared_ptr<BCNApp> app = create(name, options);
  // Recorded before the core checks, so that the analytics start finds its app.
  if (isDefault) setDefaultApp(state, app);
  if (!state.apps) state.apps.emplace();
  // A configure that fails part-way - the core checks, the analytics start or an eager component
  // refusing the options - leaves no app behind: neither a default app that no registry holds nor a
  // registered app whose components never came up.
  try {
    if (!app->configureCore()) {
      raiseCoreException(
          "Configuration fails. It may be caused by an invalid CORVANE_APP_ID in BeaconService-Info.plist or "
          "set in "
          "the customized options.");
    }
    (*state.apps)[name] = app;
    app->container()->instantiateEagerComponents();
  } catch (...) {
    if (isDefault) setDefaultApp(state, nullptr);
    state.apps->erase(name);
    throw;
  }
  notifyLibraries(state, app);
}

std::shared_ptr<BCNApp> BCNApp::defaultApp() {
  std::shared_ptr<BCNApp> app = currentDefaultApp(registry());
  if (!app) {
    BCNLoggerLogError(
        kBCNLoggerCore, "I-COR000003",
        "The default Beacon app has not yet been configured. Add `BeaconApp.configure()` to your "
        "application initialization. This can be done in in the App Delegate's "
        "application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's initializer in "
        "SwiftUI). Read more: %@.",
        kBCNSetUpGuideLink);
  }
  return app;
}

bool BCNApp::isDefaultAppConfigured() {
  return currentDefaultApp(registry()) != nullptr;
}

std::shared_ptr<BCNApp> BCNApp::defaultAppIfConfigured() {
  return currentDefaultApp(registry());
}

std::shared_ptr<BCNApp> BCNApp::appNamed(const std::string& name) {
  RegistryState& state = registry();
  std::lock_guard lock(state.mutex);
  if (state.apps) {
    if (auto found = state.apps->find(name); found != state.apps->end()) return found->second;
  }
  BCNLoggerLogError(kBCNLoggerCore, "I-COR000004", "App with name %@ does not exist.", name);
  return nullptr;
}

std::optional<BCNApp::AppsByName> BCNApp::allApps() {
  RegistryState& state = registry();
  std::lock_guard lock(state.mutex);
  if (!state.apps) BCNLoggerLogError(kBCNLoggerCore, "I-COR000005", "No app has been configured yet.");
  return state.apps;
}

void BCNApp::resetApps() {
  RegistryState& state = registry();
  std::optional<AppsByName> forgotten;
  {
    std::lock_guard lock(state.mutex);
    setDefaultApp(state, nullptr);
    forgotten = std::exchange(state.apps, std::nullopt);
    sharedUserAgent().reset();
  }
  // Outside the class lock: a component winding down may wait for work that calls BCNApp from
  // another thread.
  if (!forgotten) return;
  for (const auto& [name, app] : *forgotten) app->windDown();
}

void BCNApp::deleteApp(const std::function<void(bool)>& completion) {
  RegistryState& state = registry();
  std::lock_guard lock(state.mutex);
  // The registry must hold this very app: an app left over from before resetApps must not delete a
  // newer app that took its name.
  const bool registered = state.apps && state.apps->contains(name_) && state.apps->at(name_).get() == this;
  if (!registered) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000007", "App does not exist.");
    if (completion) completion(false);
    return;
  }
  BCNLoggerLogDebug(kBCNLoggerCore, "I-COR000006", "Deleting app named %@", name_);
  // Keeps this app alive while the registry lets go of it.
  const std::shared_ptr<BCNApp> self = shared_from_this();
  windDown();
  state.apps->erase(name_);
  platform::PreferencesDomain::application()->removeObject(dataCollectionKey());
  if (name_ == kBCNDefaultAppName) setDefaultApp(state, nullptr);
  platform::NotificationCenter::defaultCenter().post(kBCNAppDeleteNotification, classTag(),
                                                     platform::Dictionary{{kBCNAppNameKey, name_}});
  if (completion) completion(true);
}

void BCNApp::registerLibrary(const std::string& name, const std::string& version) {
  if (!consistsOf(name, U"-_.") || !consistsOf(version, U"-_.")) {
    BCNLoggerLogError(
        kBCNLoggerCore, "I-COR000027",
        "The library name (%@) or version number (%@) contain invalid characters. Only alphanumeric, "
        "dash, underscore and period characters are allowed.",
        name, version);
    return;
  }
  sharedUserAgent().setValue(version, name);
}

void BCNApp::registerInternalLibrary(const platform::ClassEntry& libraryClass, const std::string& name) {
  registerInternalLibrary(libraryClass, name, BCNSDKVersion());
}

void BCNApp::registerInternalLibrary(const platform::ClassEntry& libraryClass, const std::string& name,
                                     const std::string& version) {
  const BCNLibrary* library = libraryClass.facet<BCNLibrary>();
  if (!library) {
    throw platform::ProgrammerError(
        std::string(kBCNInvalidArgumentException),
        platform::format(
            "Class %@ attempted to register components, but it does not conform to `BCNLibrary or "
            "provide a `componentsToRegister:` method.",
            libraryClass.name()));
  }
  BCNComponentContainer::registerAsComponentRegistrant(libraryClass);
  if (library->answersConfigureWithApp()) {
    RegistryState& state = registry();
    std::lock_guard lock(state.mutex);
    if (std::find(state.libraries.begin(), state.libraries.end(), &libraryClass) == state.libraries.end()) {
      state.libraries.push_back(&libraryClass);
    }
  }
  registerLibrary(name, version);
}

std::string BCNApp::beaconUserAgent() {
  return sharedUserAgent().beaconUserAgent();
}

platform::ObjectTag BCNApp::classTag() {
  static const char tag = 0;
  return &tag;
}

}  // namespace beacon
