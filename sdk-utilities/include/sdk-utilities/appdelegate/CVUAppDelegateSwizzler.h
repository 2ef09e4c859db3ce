#pragma once
// The app-delegate proxy: lets the SDK see some of the application delegate's calls (a continued
// user activity, used for deep links; optionally the remote-notification calls) without the program
// forwarding them.
//
// Installing the proxy replaces the application's delegate by a decorator around it: for each
// proxied call the decorator first calls every registered interceptor that implements it, then the
// delegate's own implementation when it has one; for the continued activity the answers are or-ed.
// Every other call reaches the delegate unchanged. The decorator's class name is "CVU_" + the
// delegate's class name + "-" + a UUID, and it describes itself under the delegate's class name.
//
// Interceptors are held weakly in a process-wide registry under IDs "CVU_<address>"; an interceptor
// that went away is dropped (with a warning) at the next forwarded call. The Info.plist keys
// "BeaconAppDelegateProxyEnabled" and "CorvaneUtilitiesAppDelegateProxyEnabled" switch the proxy
// off (a number that is false).
//
// Installation runs at most once per process (until resetProxyOriginalDelegateOnceToken). When the
// application later gets a different delegate, the proxy forgets the delegate it decorated.
// Everything here is safe on any thread; forwarded calls run on the thread the application calls
// its delegate on.

#include <functional>
#include <memory>
#include <string>

#include "platform/app/Application.h"

namespace beacon {

class CVUAppDelegateSwizzler {
 public:
  CVUAppDelegateSwizzler() = delete;

  static bool isAppDelegateProxyEnabled();
  static void proxyOriginalDelegate();
  static void proxyOriginalDelegateIncludingAPNSMethods();

  // A null interceptor is a programmer error ("AppDelegateProxy cannot add nil interceptor").
  static std::string registerAppDelegateInterceptor(
      const std::shared_ptr<platform::ApplicationDelegate>& interceptor);
  // An empty ID is a programmer error; an ID whose interceptor is gone or unknown logs I-SWZ001004.
  static void unregisterAppDelegateInterceptorWithID(const std::string& interceptorID);
  // Calls `callback` with every live interceptor (over a snapshot of the registry).
  static void notifyInterceptors(const std::function<void(platform::ApplicationDelegate&)>& callback);

  // Null in an app extension.
  static platform::Application* sharedApplication();
  // The decorator installed as the application's delegate, until the application replaced it.
  static std::shared_ptr<platform::ApplicationDelegate> originalDelegate();
  static void clearInterceptors();
  static void resetProxyOriginalDelegateOnceToken();

  static std::string correctAppDelegateProxyKey();
  static std::string correctAlternativeWhenAppDelegateProxyNotCreated();
};

// The scene-delegate counterpart does nothing on this platform.
class CVUSceneDelegateSwizzler {
 public:
  static bool isSceneDelegateProxyEnabled() { return CVUAppDelegateSwizzler::isAppDelegateProxyEnabled(); }
  static void proxyOriginalSceneDelegate() {}
};

}  // namespace beacon
