#include "platform/app/Application.h"

#include <cstdio>
#include <utility>

namespace platform {

std::optional<bool> ApplicationDelegate::continueUserActivity(Application&, const UserActivity&,
                                                              const RestorationHandler&) {
  return std::nullopt;
}
std::optional<bool> ApplicationDelegate::openURL(Application&, const std::string&, const Dictionary&) {
  return std::nullopt;
}
bool ApplicationDelegate::didRegisterForRemoteNotificationsWithDeviceToken(Application&, const Bytes&) {
  return false;
}
bool ApplicationDelegate::didFailToRegisterForRemoteNotificationsWithError(Application&, const Error&) {
  return false;
}
bool ApplicationDelegate::didReceiveRemoteNotification(Application&, const Dictionary&) {
  return false;
}
std::string ApplicationDelegate::className() const {
  return "ApplicationDelegate";
}
std::string ApplicationDelegate::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "%p", static_cast<const void*>(this));
  return "<" + className() + ": " + text + ">";
}

Application& Application::shared() {
  static Application* application = new Application();
  return *application;
}

std::shared_ptr<ApplicationDelegate> Application::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

void Application::setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
  std::shared_ptr<ApplicationDelegate> old;
  std::vector<DelegateObserver> observers;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(delegate_, delegate);
    for (const auto& [token, observer] : observers_) observers.push_back(observer);
  }
  for (const auto& observer : observers) observer(delegate, old);
}

std::uint64_t Application::addDelegateObserver(DelegateObserver observer) {
  std::lock_guard lock(mutex_);
  const std::uint64_t token = nextToken_++;
  observers_.emplace(token, std::move(observer));
  return token;
}

void Application::removeDelegateObserver(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  observers_.erase(token);
}

}  // namespace platform
