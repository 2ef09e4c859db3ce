#include "platform/pstore/PersistentContainer.h"

#include "platform/time/SystemClock.h"

namespace platform {

const Clock& PersistentContainer::defaultClock() {
  return SystemClock::shared();
}

PersistentContainer::PersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                                         const Clock& clock, NotificationCenter& notificationCenter)
    : name_(std::move(name)),
      coordinator_(std::make_shared<PersistentStoreCoordinator>(std::move(model), clock, notificationCenter)),
      viewContext_(ManagedObjectContext::make(coordinator_, ManagedObjectContext::ConcurrencyType::MainQueue,
                                              mainQueue())),
      taskQueue_(makeSerialQueue("platform.pstore.tasks")) {}

PersistentContainer::~PersistentContainer() = default;

void PersistentContainer::loadPersistentStores(const LoadCompletion& completion) {
  for (const StoreDescription& description : descriptions_) {
    Result<std::shared_ptr<PersistentStore>> store = coordinator_->addPersistentStore(description);
    if (store) persistentStoreDidLoad(description, *store);
    completion(description, store ? std::nullopt : std::optional<Error>(store.error()));
  }
}

void PersistentContainer::closePersistentStores() {
  if (std::shared_ptr<PersistentStore> store = coordinator_->persistentStore())
    persistentStoreWillClose(store);
  coordinator_->removePersistentStore();
}

void PersistentContainer::persistentStoreDidLoad(const StoreDescription&,
                                                 const std::shared_ptr<PersistentStore>&) {}

void PersistentContainer::persistentStoreWillClose(const std::shared_ptr<PersistentStore>&) {}

std::shared_ptr<ManagedObjectContext> PersistentContainer::newBackgroundContext() const {
  return ManagedObjectContext::make(coordinator_, ManagedObjectContext::ConcurrencyType::PrivateQueue,
                                    makeSerialQueue("platform.pstore.context"));
}

void PersistentContainer::performBackgroundTask(std::function<void(ManagedObjectContext&)> task) {
  taskQueue_->async([coordinator = coordinator_, queue = taskQueue_, task = std::move(task)] {
    std::shared_ptr<ManagedObjectContext> context =
        ManagedObjectContext::make(coordinator, ManagedObjectContext::ConcurrencyType::PrivateQueue, queue);
    task(*context);
  });
}

}  // namespace platform
