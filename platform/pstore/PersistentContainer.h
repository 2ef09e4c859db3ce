#pragma once
// The container bundles what an application needs to keep objects of a model: the coordinator, the
// descriptions of the stores to load, the view context and fresh contexts for background work.
//
// Loading is synchronous: loadPersistentStores() opens each described store on the calling thread
// and calls the completion there, once per description, before it returns. It never waits for any
// queue, so a caller may block the main thread on it.
//
// Threads and queues
//  - Set the descriptions and load before using contexts, from one thread.
//  - viewContext() belongs to the main queue; it exists from construction on.
//  - newBackgroundContext() makes a context with a serial queue of its own.
//  - performBackgroundTask() runs each task on the container's task queue, one task at a time, each
//    with a fresh context that lives for that task only. Because tasks never overlap, two tasks can
//    never write over each other's reads. A task must not wait for a later task.
//
// A subclass that keeps the loaded store in step with something else (a mirror, say) hears of each
// store that loaded through persistentStoreDidLoad(), and of each store about to close through
// persistentStoreWillClose().
//
// Closing: closePersistentStores() ends the container's use of its store for good, as a process
// does before it exits, so that no work on the store is still under way when it ends.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/ManagedObjectModel.h"
#include "platform/pstore/PersistentStoreCoordinator.h"
#include "platform/pstore/StoreDescription.h"
#include "platform/time/Clock.h"

namespace platform {

class PersistentContainer {
 public:
  using LoadCompletion = std::function<void(const StoreDescription&, const std::optional<Error>&)>;

  // The clock stamps history transactions; the centre carries remote-change notifications. Both
  // must outlive the container and every context it made.
  PersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                      const Clock& clock = defaultClock(),
                      NotificationCenter& notificationCenter = NotificationCenter::defaultCenter());
  virtual ~PersistentContainer();
  PersistentContainer(const PersistentContainer&) = delete;
  PersistentContainer& operator=(const PersistentContainer&) = delete;

  const std::string& name() const { return name_; }
  const ManagedObjectModel& managedObjectModel() const { return coordinator_->managedObjectModel(); }

  void setPersistentStoreDescriptions(std::vector<StoreDescription> descriptions) {
    descriptions_ = std::move(descriptions);
  }

  void loadPersistentStores(const LoadCompletion& completion);
  // Closes the loaded store, leaving its files complete (PersistentStoreCoordinator::
  // removePersistentStore); whatever keeps the store in step with something else finishes first.
  // Contexts then fail with StoreOperationFailed. Call it from the thread that loaded the store.
  void closePersistentStores();

  const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const {
    return coordinator_;
  }
  const std::shared_ptr<ManagedObjectContext>& viewContext() const { return viewContext_; }
  std::shared_ptr<ManagedObjectContext> newBackgroundContext() const;
  void performBackgroundTask(std::function<void(ManagedObjectContext&)> task);

  ObjectTag notificationSender() const { return this; }

 protected:
  // Called on the loading thread after a store loaded, before its completion.
  virtual void persistentStoreDidLoad(const StoreDescription& description,
                                      const std::shared_ptr<PersistentStore>& store);
  // Called by closePersistentStores() on its thread while the store is still loaded.
  virtual void persistentStoreWillClose(const std::shared_ptr<PersistentStore>& store);

 private:
  static const Clock& defaultClock();

  std::string name_;
  std::shared_ptr<PersistentStoreCoordinator> coordinator_;
  std::vector<StoreDescription> descriptions_;
  std::shared_ptr<ManagedObjectContext> viewContext_;
  QueueRef taskQueue_;
};

}  // namespace platform
