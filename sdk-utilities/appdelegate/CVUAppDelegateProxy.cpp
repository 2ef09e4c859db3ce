#include "CVUAppDelegateProxy.h"

#include <cstdio>

#include "platform/identity/UUID.h"
#include "sdk-utilities/appdelegate/CVUAppDelegateSwizzler.h"

namespace beacon {

CVUAppDelegateProxy::CVUAppDelegateProxy(std::shared_ptr<platform::ApplicationDelegate> real)
    : real_(std::move(real)),
      className_("CVU_" + real_->className() + "-" + platform::UUID::random().uuidString()) {}

std::optional<bool> CVUAppDelegateProxy::continueUserActivity(
    platform::Application& application, const platform::UserActivity& activity,
    const platform::RestorationHandler& restorationHandler) {
  bool handled = false;
  CVUAppDelegateSwizzler::notifyInterceptors([&](platform::ApplicationDelegate& interceptor) {
    if (auto answer = interceptor.continueUserActivity(application, activity, restorationHandler))
      handled |= *answer;
  });
  if (auto answer = real_->continueUserActivity(application, activity, restorationHandler))
    handled |= *answer;
  return handled;
}

bool CVUAppDelegateProxy::forward(const std::function<bool(platform::ApplicationDelegate&)>& call) {
  bool implemented = false;
  if (remoteNotifications_.load()) {
    CVUAppDelegateSwizzler::notifyInterceptors(
        [&](platform::ApplicationDelegate& interceptor) { implemented = call(interceptor) || implemented; });
  }
  return call(*real_) || implemented;
}

bool CVUAppDelegateProxy::didRegisterForRemoteNotificationsWithDeviceToken(
    platform::Application& application, const platform::Bytes& deviceToken) {
  return forward([&](platform::ApplicationDelegate& target) {
    return target.didRegisterForRemoteNotificationsWithDeviceToken(application, deviceToken);
  });
}

bool CVUAppDelegateProxy::didFailToRegisterForRemoteNotificationsWithError(platform::Application& application,
                                                                           const platform::Error& error) {
  return forward([&](platform::ApplicationDelegate& target) {
    return target.didFailToRegisterForRemoteNotificationsWithError(application, error);
  });
}

bool CVUAppDelegateProxy::didReceiveRemoteNotification(platform::Application& application,
                                                       const platform::Dictionary& userInfo) {
  return forward([&](platform::ApplicationDelegate& target) {
    return target.didReceiveRemoteNotification(application, userInfo);
  });
}

std::string CVUAppDelegateProxy::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(real_.get()));
  return "<" + real_->className() + ": " + address + ">";
}

}  // namespace beacon
