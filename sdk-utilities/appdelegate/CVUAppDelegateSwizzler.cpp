#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"

#include <cstdio>
#include <mutex>

#include "CVUAppDelegateProxy.h"
#include "platform/bundle/Bundle.h"
#include "platform/classdir/ClassDirectory.h"
#include "sdk-utilities/collections/CVUMutableDictionary.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

constexpr std::string_view kSwizzlerService = "[CorvaneUtilities/AppDelegateSwizzler]";
constexpr const char* kBeaconProxyKey = "BeaconAppDelegateProxyEnabled";
constexpr const char* kUtilitiesProxyKey = "CorvaneUtilitiesAppDelegateProxyEnabled";

struct ProxyState {
  std::mutex mutex;
  bool installAttempted = false;
  bool remoteNotificationsProxied = false;
  std::shared_ptr<CVUAppDelegateProxy> proxied;
  std::optional<std::uint64_t> observer;
};

ProxyState& state() {
  static auto* proxyState = new ProxyState();
  return *proxyState;
}

CVUMutableDictionary<std::string, std::weak_ptr<platform::ApplicationDelegate>>& interceptors() {
  static auto* registry =
      new CVUMutableDictionary<std::string, std::weak_ptr<platform::ApplicationDelegate>>();
  return *registry;
}

bool classExists(const char* name) {
  return platform::ClassDirectory::shared().lookup(name) != nullptr;
}

// Forgets the decorated delegate once the application takes another delegate.
void observeDelegateChanges(platform::Application& application) {
  std::lock_guard lock(state().mutex);
  if (state().observer) return;
  state().observer = application.addDelegateObserver(
      [&application](const std::shared_ptr<platform::ApplicationDelegate>& newDelegate,
                     const std::shared_ptr<platform::ApplicationDelegate>& oldDelegate) {
        std::lock_guard lock(state().mutex);
        if (newDelegate == oldDelegate || !state().proxied || oldDelegate != state().proxied) return;
        state().proxied.reset();
        if (state().observer) application.removeDelegateObserver(*state().observer);
        state().observer.reset();
      });
}

}  // namespace

bool CVUAppDelegateSwizzler::isAppDelegateProxyEnabled() {
  const auto bundle = platform::Bundle::main();
  auto enabled = [&](const char* key) {
    const platform::Value* value = bundle->objectForInfoDictionaryKey(key);
    return !(value && value->isNumber()) || value->boolValue();
  };
  return enabled(kBeaconProxyKey) && enabled(kUtilitiesProxyKey);
}

platform::Application* CVUAppDelegateSwizzler::sharedApplication() {
  if (CVUAppEnvironmentUtil::isAppExtension()) return nullptr;
  return &platform::Application::shared();
}

void CVUAppDelegateSwizzler::proxyOriginalDelegate() {
  platform::Application* application = sharedApplication();
  if (!application) return;
  {
    std::lock_guard lock(state().mutex);
    if (state().installAttempted) return;
    state().installAttempted = true;
  }
  const std::string hint = correctAlternativeWhenAppDelegateProxyNotCreated();
  auto delegate = application->delegate();
  if (!delegate) {
    CVULoggerLogNotice(kSwizzlerService, false, "I-SWZ001014",
                       "App Delegate does not conform to UIApplicationDelegate protocol. %@", hint);
    return;
  }
  if (!isAppDelegateProxyEnabled()) {
    CVULoggerLogNotice(kSwizzlerService, false, "I-SWZ001011", "App Delegate Proxy is disabled. %@", hint);
    return;
  }
  try {
    auto proxy = std::make_shared<CVUAppDelegateProxy>(std::move(delegate));
    {
      std::lock_guard lock(state().mutex);
      state().proxied = proxy;
    }
    application->setDelegate(proxy);
    observeDelegateChanges(*application);
    CVULoggerLogDebug(
        kSwizzlerService, false, "I-SWZ001008",
        "Successfully created App Delegate Proxy automatically. To disable the proxy, set the flag %@ to "
        "NO (Boolean) in the Info.plist",
        correctAppDelegateProxyKey());
  } catch (const std::exception&) {
    CVULoggerLogError(kSwizzlerService, false, "I-SWZ001013", "Cannot create App Delegate Proxy. %@", hint);
  }
}

void CVUAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods() {
  proxyOriginalDelegate();
  std::lock_guard lock(state().mutex);
  if (state().remoteNotificationsProxied || !state().proxied) return;
  state().remoteNotificationsProxied = true;
  state().proxied->proxyRemoteNotificationCalls();
}

std::string CVUAppDelegateSwizzler::registerAppDelegateInterceptor(
    const std::shared_ptr<platform::ApplicationDelegate>& interceptor) {
  if (!interceptor) {
    throw platform::ProgrammerError("NSInternalInconsistencyException",
                                    "AppDelegateProxy cannot add nil interceptor");
  }
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(interceptor.get()));
  const std::string interceptorID = std::string("CVU_") + address;
  interceptors().setObject(interceptor, interceptorID);
  return interceptorID;
}

void CVUAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(const std::string& interceptorID) {
  if (interceptorID.empty()) {
    throw platform::ProgrammerError("NSInternalInconsistencyException",
                                    "AppDelegateProxy cannot unregister empty interceptor ID.");
  }
  auto container = interceptors().objectForKey(interceptorID);
  if (container && container->lock()) {
    interceptors().removeObjectForKey(interceptorID);
    return;
  }
  CVULoggerLogError(
      kSwizzlerService, false, "I-SWZ001004",
      "AppDelegateProxy cannot unregister interceptor that was not registered. Interceptor ID %@",
      interceptorID);
}

void CVUAppDelegateSwizzler::notifyInterceptors(
    const std::function<void(platform::ApplicationDelegate&)>& callback) {
  for (const auto& [interceptorID, container] : interceptors().dictionary()) {
    auto interceptor = container.lock();
    if (!interceptor) {
      CVULoggerLogWarning(kSwizzlerService, false, "I-SWZ001010",
                          "AppDelegateProxy cannot find interceptor with ID %@. Removing the interceptor.",
                          interceptorID);
      interceptors().removeObjectForKey(interceptorID);
      continue;
    }
    callback(*interceptor);
  }
}

std::shared_ptr<platform::ApplicationDelegate> CVUAppDelegateSwizzler::originalDelegate() {
  std::lock_guard lock(state().mutex);
  return state().proxied;
}

void CVUAppDelegateSwizzler::clearInterceptors() {
  interceptors().removeAllObjects();
}

void CVUAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken() {
  std::lock_guard lock(state().mutex);
  state().installAttempted = false;
  state().remoteNotificationsProxied = false;
}

std::string CVUAppDelegateSwizzler::correctAppDelegateProxyKey() {
  return classExists("BCNCore") ? kBeaconProxyKey : kUtilitiesProxyKey;
}

std::string CVUAppDelegateSwizzler::correctAlternativeWhenAppDelegateProxyNotCreated() {
  return classExists("BCNCore")
             ? "To log deep link campaigns manually, call the methods in BCNAnalytics+AppDelegate.h."
             : "";
}

}  // namespace beacon
