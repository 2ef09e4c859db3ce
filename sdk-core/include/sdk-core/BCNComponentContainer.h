#pragma once
// The per-app registry of components. At creation the container collects one creation block per
// protocol from every registered library; configure then makes the eager components, and every
// other component is made on its first request and kept when its block allows.
//
// Libraries join the process-wide registrant list once (registerAsComponentRegistrant, reached
// through BCNApp::registerInternalLibrary); containers made afterwards see them. The list keeps
// registration order, so when two libraries publish the same protocol the one registered first wins,
// every time.
//
// Ownership: a BCNApp owns its container; the container holds its app weakly.
// Threads: the container's recursive lock guards every request, the eager step and both removals, so
// a creation block may request other components of the same container. A creation block must not
// wait for another thread that requests from the same container.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/classdir/ClassDirectory.h"
#include "sdk-core/BCNComponent.h"

namespace beacon {

class BCNApp;

class BCNComponentContainer {
 public:
  // Library classes, each carrying the BCNLibrary facet, in registration order.
  using Registrants = std::vector<const platform::ClassEntry*>;

  // The name of the one app that must not get the "BCNAppIntegrityComponent" library, and the fixed
  // sender ID that identifies it.
  static constexpr const char* kSpatialCoreAppName = "SpatialCoreBCNApp";
  static constexpr const char* kSpatialCoreSenderID = "100000000001";

  // Adds a library class to the process-wide registrant list; a class already there stays in its
  // place. The class must carry the BCNLibrary facet (BCNApp::registerInternalLibrary checks it).
  static void registerAsComponentRegistrant(const platform::ClassEntry& libraryClass);

  // A container for `app`, populated from the process-wide registrants or from the given ones.
  static std::shared_ptr<BCNComponentContainer> initWithApp(const std::shared_ptr<BCNApp>& app);
  static std::shared_ptr<BCNComponentContainer> initWithApp(const std::shared_ptr<BCNApp>& app,
                                                            const Registrants& registrants);

  BCNComponentContainer(const BCNComponentContainer&) = delete;
  BCNComponentContainer& operator=(const BCNComponentContainer&) = delete;

  // The owning app, or nullptr once it is gone.
  std::shared_ptr<BCNApp> app() const { return app_.lock(); }

  // Requests each eager protocol once, in order, then forgets the list. Called by configure.
  void instantiateEagerComponents();

  // The cached instance, else a new one from the protocol's creation block (kept when the block says
  // so), else nullptr when nobody published the protocol or the block made nothing. An instance that
  // does not conform to the protocol is logged ("I-COR000030") and still returned.
  std::shared_ptr<Object> instanceForProtocol(const Protocol& protocol);

  // Tells every cached instance that maintains its lifecycle that the app is being deleted, then
  // forgets the cached instances.
  void removeAllCachedInstances();
  // Forgets every creation block.
  void removeAllComponents();

 private:
  explicit BCNComponentContainer(const std::shared_ptr<BCNApp>& app);
  void populate(const Registrants& registrants, const BCNApp& app);

  std::weak_ptr<BCNApp> app_;
  mutable std::recursive_mutex mutex_;
  std::map<std::string, BCNComponentCreationBlock, std::less<>> components_;
  std::map<std::string, std::shared_ptr<Object>, std::less<>> cachedInstances_;
  std::optional<std::vector<Protocol>> eagerProtocolsToInstantiate_;
};

// Typed access to a container's components.
template <class T>
class BCNComponentType {
 public:
  BCNComponentType() = delete;

  // The container's instance for `protocol` as a T, or nullptr when there is none or it is no T.
  static std::shared_ptr<T> instanceForProtocol(const Protocol& protocol, BCNComponentContainer& container) {
    return std::dynamic_pointer_cast<T>(container.instanceForProtocol(protocol));
  }
};

}  // namespace beacon
