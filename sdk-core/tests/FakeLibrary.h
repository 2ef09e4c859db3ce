#pragma once
// Fake libraries and component instances for the registry and container tests.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/classdir/ClassDirectory.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNComponent.h"

namespace beacon::testing {

// Interfaces components are published under.
class GreetingService {
 public:
  virtual ~GreetingService() = default;
  virtual std::string greeting() const = 0;
};

class Greeter final : public Object, public GreetingService {
 public:
  explicit Greeter(std::string text) : text_(std::move(text)) {}
  std::string greeting() const override { return text_; }

 private:
  std::string text_;
};

// Conforms to nothing the tests publish.
class Stranger final : public Object {};

class Maintainer final : public Object, public GreetingService, public BCNComponentLifecycleMaintainer {
 public:
  std::string greeting() const override { return "maintained"; }
  void appWillBeDeleted(BCNApp& app) override { deletedApps.push_back(app.name()); }
  std::vector<std::string> deletedApps;
};

inline Protocol greetingProtocol(const std::string& name = "GreetingService") {
  return Protocol::of<GreetingService>(name);
}

class FakeLibrary final : public BCNLibrary {
 public:
  std::vector<std::shared_ptr<const BCNComponent>> components;
  // When set, the library asks to hear of every configured app.
  std::function<void(const std::shared_ptr<BCNApp>&)> onConfigure;

  std::vector<std::shared_ptr<const BCNComponent>> componentsToRegister() const override {
    return components;
  }
  bool answersConfigureWithApp() const override { return static_cast<bool>(onConfigure); }
  void configureWithApp(const std::shared_ptr<BCNApp>& app) override { onConfigure(app); }
};

// Announces a library class in the process's class directory.
inline const platform::ClassEntry& announceLibrary(const std::string& className,
                                                   const std::shared_ptr<FakeLibrary>& library) {
  return platform::ClassDirectory::shared().registerClass(className, std::shared_ptr<BCNLibrary>(library));
}

// A component whose block counts its calls and makes a Greeter.
inline std::shared_ptr<const BCNComponent> countingComponent(const Protocol& protocol,
                                                             BCNInstantiationTiming timing,
                                                             std::shared_ptr<std::atomic<int>> calls,
                                                             std::string greeting, bool cacheable = true) {
  return BCNComponent::componentWithProtocol(
      protocol, timing, {}, [calls, greeting, cacheable](BCNComponentContainer&, bool& isCacheable) {
        ++*calls;
        isCacheable = cacheable;
        return std::make_shared<Greeter>(greeting);
      });
}

}  // namespace beacon::testing
