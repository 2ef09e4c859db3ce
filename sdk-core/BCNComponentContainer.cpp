#include "sdk-core/BCNComponentContainer.h"

#include <algorithm>

#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

// The process-wide registrant list. Libraries register from the program's composition root, but a
// lock costs nothing there and keeps a late registration from racing with a configure.
struct RegistrantList {
  std::mutex mutex;
  BCNComponentContainer::Registrants classes;
};

RegistrantList& registrantList() {
  static RegistrantList* const list = new RegistrantList;
  return *list;
}

BCNComponentContainer::Registrants currentRegistrants() {
  RegistrantList& list = registrantList();
  std::lock_guard lock(list.mutex);
  return list.classes;
}

bool isSpatialCoreApp(const BCNApp& app) {
  return app.name() == BCNComponentContainer::kSpatialCoreAppName &&
         app.options()->CCMSenderID() == BCNComponentContainer::kSpatialCoreSenderID;
}

}  // namespace

void BCNComponentContainer::registerAsComponentRegistrant(const platform::ClassEntry& libraryClass) {
  RegistrantList& list = registrantList();
  std::lock_guard lock(list.mutex);
  if (std::find(list.classes.begin(), list.classes.end(), &libraryClass) == list.classes.end()) {
    list.classes.push_back(&libraryClass);
  }
}

std::shared_ptr<BCNComponentContainer> BCNComponentContainer::initWithApp(
    const std::shared_ptr<BCNApp>& app) {
  return initWithApp(app, currentRegistrants());
}

std::shared_ptr<BCNComponentContainer> BCNComponentContainer::initWithApp(const std::shared_ptr<BCNApp>& app,
                                                                          const Registrants& registrants) {
  Registrants chosen = registrants;
  if (isSpatialCoreApp(*app)) {
    const platform::ClassEntry* integrity =
        platform::ClassDirectory::shared().lookup("BCNAppIntegrityComponent");
    chosen.erase(std::remove(chosen.begin(), chosen.end(), integrity), chosen.end());
  }
  std::shared_ptr<BCNComponentContainer> container(new BCNComponentContainer(app));
  container->populate(chosen, *app);
  return container;
}

BCNComponentContainer::BCNComponentContainer(const std::shared_ptr<BCNApp>& app) : app_(app) {}

void BCNComponentContainer::populate(const Registrants& registrants, const BCNApp& app) {
  std::lock_guard lock(mutex_);
  eagerProtocolsToInstantiate_.emplace();
  for (const platform::ClassEntry* registrant : registrants) {
    const BCNLibrary* library = registrant ? registrant->facet<BCNLibrary>() : nullptr;
    if (!library) continue;
    for (const auto& component : library->componentsToRegister()) {
      const std::string& name = component->protocol().name();
      if (components_.contains(name)) {
        BCNLoggerLogError(kBCNLoggerCore, "I-COR000029",
                          "Attempted to register protocol %@, but it already has an implementation.", name);
        continue;
      }
      components_.emplace(name, component->creationBlock());
      const BCNInstantiationTiming timing = component->instantiationTiming();
      if (timing == BCNInstantiationTiming::AlwaysEager ||
          (timing == BCNInstantiationTiming::EagerInDefaultApp && app.isDefaultApp())) {
        eagerProtocolsToInstantiate_->push_back(component->protocol());
      }
    }
  }
}

void BCNComponentContainer::instantiateEagerComponents() {
  std::lock_guard lock(mutex_);
  if (!eagerProtocolsToInstantiate_) return;
  for (const Protocol& protocol : *eagerProtocolsToInstantiate_) instanceForProtocol(protocol);
  eagerProtocolsToInstantiate_.reset();
}

std::shared_ptr<Object> BCNComponentContainer::instanceForProtocol(const Protocol& protocol) {
  std::lock_guard lock(mutex_);
  const std::string& name = protocol.name();
  if (auto cached = cachedInstances_.find(name); cached != cachedInstances_.end()) return cached->second;

  auto component = components_.find(name);
  if (component == components_.end()) return nullptr;
  // A copy: the block may request other components, and a removal it triggers must not destroy the
  // block while it runs.
  const BCNComponentCreationBlock creationBlock = component->second;
  bool isCacheable = false;
  std::shared_ptr<Object> instance = creationBlock(*this, isCacheable);
  if (!instance) return nullptr;
  if (!protocol.isConformedBy(*instance)) {
    BCNLoggerLogError(
        kBCNLoggerCore, "I-COR000030",
        "An instance conforming to %@ was requested, but the instance provided does not conform to "
        "the protocol",
        name);
  }
  if (isCacheable) cachedInstances_[name] = instance;
  return instance;
}

void BCNComponentContainer::removeAllCachedInstances() {
  std::lock_guard lock(mutex_);
  // A snapshot: a maintainer may request components while it is told, which changes the cache.
  const auto instances = cachedInstances_;
  if (std::shared_ptr<BCNApp> owner = app_.lock()) {
    for (const auto& [name, instance] : instances) {
      if (auto* maintainer = dynamic_cast<BCNComponentLifecycleMaintainer*>(instance.get())) {
        maintainer->appWillBeDeleted(*owner);
      }
    }
  }
  cachedInstances_.clear();
}

void BCNComponentContainer::removeAllComponents() {
  std::lock_guard lock(mutex_);
  components_.clear();
}

}  // namespace beacon
