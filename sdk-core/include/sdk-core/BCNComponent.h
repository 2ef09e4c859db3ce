#pragma once
// What SDK modules publish to each other: components, each found under a protocol (an interface
// with a name), made by a creation block when an app's container first needs it.
//
// A module announces itself as a library: its class, in the class directory, carries the BCNLibrary
// facet, which lists the module's components and may ask to hear of every configured app. The
// library registers through BCNApp::registerInternalLibrary.
//
// Components and dependencies are immutable values once made; share them freely between threads.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sdk-core/Object.h"

namespace beacon {

class BCNApp;
class BCNComponentContainer;

// An interface under which a component is found: its name, and how to tell whether an object
// conforms to it.
class Protocol {
 public:
  // The protocol of interface I, named `name` (the name components are registered under).
  template <class I>
  static Protocol of(std::string name) {
    return Protocol(std::move(name),
                    [](const Object& object) { return dynamic_cast<const I*>(&object) != nullptr; });
  }

  const std::string& name() const { return name_; }
  bool isConformedBy(const Object& object) const { return conforms_(object); }

 private:
  Protocol(std::string name, std::function<bool(const Object&)> conforms)
      : name_(std::move(name)), conforms_(std::move(conforms)) {}

  std::string name_;
  std::function<bool(const Object&)> conforms_;
};

// When a component is made.
enum class BCNInstantiationTiming : std::int64_t {
  Lazy = 0,               // on its first request
  AlwaysEager = 1,        // when any app is configured
  EagerInDefaultApp = 2,  // when the default app is configured; lazily in other apps
};

class BCNDependency {
 public:
  // A required dependency.
  static std::shared_ptr<const BCNDependency> dependencyWithProtocol(Protocol protocol);
  static std::shared_ptr<const BCNDependency> dependencyWithProtocol(Protocol protocol, bool isRequired);

  const Protocol& protocol() const { return protocol_; }
  bool isRequired() const { return isRequired_; }

  BCNDependency(Protocol protocol, bool isRequired)
      : protocol_(std::move(protocol)), isRequired_(isRequired) {}

 private:
  Protocol protocol_;
  bool isRequired_;
};

// Makes a component's instance for a container. Setting `isCacheable` keeps the instance: later
// requests get it without calling the block again. Runs under the container's lock, so it may
// request other components of the same container, but must not wait for another thread that does.
using BCNComponentCreationBlock =
    std::function<std::shared_ptr<Object>(BCNComponentContainer& container, bool& isCacheable)>;

class BCNComponent {
 public:
  // A lazy component without dependencies.
  static std::shared_ptr<const BCNComponent> componentWithProtocol(Protocol protocol,
                                                                   BCNComponentCreationBlock creationBlock);
  static std::shared_ptr<const BCNComponent> componentWithProtocol(
      Protocol protocol, BCNInstantiationTiming instantiationTiming,
      std::vector<std::shared_ptr<const BCNDependency>> dependencies,
      BCNComponentCreationBlock creationBlock);

  const Protocol& protocol() const { return protocol_; }
  BCNInstantiationTiming instantiationTiming() const { return instantiationTiming_; }
  // Declared needs; kept for the record, the container does not resolve them.
  const std::vector<std::shared_ptr<const BCNDependency>>& dependencies() const { return dependencies_; }
  const BCNComponentCreationBlock& creationBlock() const { return creationBlock_; }

  BCNComponent(Protocol protocol, BCNInstantiationTiming instantiationTiming,
               std::vector<std::shared_ptr<const BCNDependency>> dependencies,
               BCNComponentCreationBlock creationBlock);

 private:
  Protocol protocol_;
  BCNInstantiationTiming instantiationTiming_;
  std::vector<std::shared_ptr<const BCNDependency>> dependencies_;
  BCNComponentCreationBlock creationBlock_;
};

// The class-directory facet of a library class.
class BCNLibrary {
 public:
  virtual ~BCNLibrary() = default;

  virtual std::vector<std::shared_ptr<const BCNComponent>> componentsToRegister() const = 0;

  // Whether the library wants configureWithApp; only such libraries are told of new apps.
  virtual bool answersConfigureWithApp() const { return false; }
  // Called on the configuring thread, under BCNApp's registry lock, for every app configured after
  // the library registered.
  virtual void configureWithApp(const std::shared_ptr<BCNApp>& app) { (void)app; }
};

// Implemented by component instances that want to hear that their app is being deleted.
class BCNComponentLifecycleMaintainer {
 public:
  virtual ~BCNComponentLifecycleMaintainer() = default;
  virtual void appWillBeDeleted(BCNApp& app) = 0;
};

}  // namespace beacon
