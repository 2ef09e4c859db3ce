#pragma once
// The application object and its delegate: the calls the desktop hands to the program's delegate
// that the SDK wants to see (a continued user activity, the remote-notification registration and
// delivery), and the one application of the process whose delegate can be read, replaced and
// watched.
//
// A delegate overrides the calls it implements; the base versions answer "not implemented"
// (nullopt or false), so a caller can tell an implementation's own answer from none. The application
// calls its delegate on the main thread. Replacing the delegate tells every delegate observer,
// synchronously on the replacing thread, the new and the old delegate.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/error/Error.h"
#include "platform/value/Value.h"

namespace platform {

class Application;

// A continued activity: a link the user opened into the program, or a hand-off from another device.
struct UserActivity {
  std::string activityType;
  std::optional<std::string> webpageURL;
  Dictionary userInfo;
};

using RestorationHandler = std::function<void()>;

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;

  // nullopt when not implemented; otherwise whether the activity was handled.
  virtual std::optional<bool> continueUserActivity(Application& application, const UserActivity& activity,
                                                   const RestorationHandler& restorationHandler);
  // A link handed to the program (with what is known of it, e.g. when the click happened): nullopt
  // when not implemented; otherwise whether the delegate opened it.
  virtual std::optional<bool> openURL(Application& application, const std::string& url,
                                      const Dictionary& options);
  // Each answers whether the delegate implements the call.
  virtual bool didRegisterForRemoteNotificationsWithDeviceToken(Application& application,
                                                                const Bytes& deviceToken);
  virtual bool didFailToRegisterForRemoteNotificationsWithError(Application& application, const Error& error);
  virtual bool didReceiveRemoteNotification(Application& application, const Dictionary& userInfo);

  // The name of the delegate's kind, and how it describes itself in logs.
  virtual std::string className() const;
  virtual std::string description() const;
};

class Application {
 public:
  using DelegateObserver = std::function<void(const std::shared_ptr<ApplicationDelegate>& newDelegate,
                                              const std::shared_ptr<ApplicationDelegate>& oldDelegate)>;

  // The process's application.
  static Application& shared();

  std::shared_ptr<ApplicationDelegate> delegate() const;
  void setDelegate(std::shared_ptr<ApplicationDelegate> delegate);

  std::uint64_t addDelegateObserver(DelegateObserver observer);
  void removeDelegateObserver(std::uint64_t token);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<ApplicationDelegate> delegate_;
  std::map<std::uint64_t, DelegateObserver> observers_;
  std::uint64_t nextToken_ = 1;
};

}  // namespace platform
