#pragma once
// The decorator the app-delegate proxy installs as the application's delegate (see
// CVUAppDelegateSwizzler.h). Internal to the proxy.

#include <atomic>
#include <memory>
#include <string>

#include "platform/app/Application.h"

namespace beacon {

class CVUAppDelegateProxy final : public platform::ApplicationDelegate {
 public:
  explicit CVUAppDelegateProxy(std::shared_ptr<platform::ApplicationDelegate> real);

  const std::shared_ptr<platform::ApplicationDelegate>& realDelegate() const { return real_; }
  // Also proxy the three remote-notification calls from now on.
  void proxyRemoteNotificationCalls() { remoteNotifications_.store(true); }

  std::optional<bool> continueUserActivity(platform::Application& application,
                                           const platform::UserActivity& activity,
                                           const platform::RestorationHandler& restorationHandler) override;
  // Only the real delegate opens links; interceptors take no part in it.
  std::optional<bool> openURL(platform::Application& application, const std::string& url,
                              const platform::Dictionary& options) override {
    return real_->openURL(application, url, options);
  }
  bool didRegisterForRemoteNotificationsWithDeviceToken(platform::Application& application,
                                                        const platform::Bytes& deviceToken) override;
  bool didFailToRegisterForRemoteNotificationsWithError(platform::Application& application,
                                                        const platform::Error& error) override;
  bool didReceiveRemoteNotification(platform::Application& application,
                                    const platform::Dictionary& userInfo) override;

  std::string className() const override { return className_; }
  std::string description() const override;

 private:
  // Interceptors first (when the call is proxied), then the real delegate; answers whether anyone
  // implemented it.
  bool forward(const std::function<bool(platform::ApplicationDelegate&)>& call);

  std::shared_ptr<platform::ApplicationDelegate> real_;
  std::string className_;
  std::atomic<bool> remoteNotifications_{false};
};

}  // namespace beacon
