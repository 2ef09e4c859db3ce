#pragma once
// The coordinator joins a model to the store loaded for it, and is what every context of a
// container reads and writes through. It holds one store at a time.
//
// After every commit that changed model objects it
//  - merges the changed object IDs into every other live context that merges automatically, on the
//    committing thread, before save() returns; and
//  - when the store was loaded with kRemoteChangeNotificationPostOption, posts
//    kRemoteChangeNotification on its notification centre, sender: the coordinator
//    (notificationSender()), user info: the store's identifier, its file path (file stores only) and,
//    when history is tracked, the serialized token of the transaction just recorded.
// The commit is complete and visible to every reader before either happens.
//
// Thread-safe. The clock and the notification centre given at construction must outlive it.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/ManagedObjectModel.h"
#include "platform/pstore/PersistentStore.h"
#include "platform/time/Clock.h"

namespace platform {

inline constexpr std::string_view kRemoteChangeNotification = "PersistentStoreRemoteChange";
inline constexpr std::string_view kRemoteChangeStoreIdentifierKey = "storeIdentifier";
inline constexpr std::string_view kRemoteChangeStorePathKey = "storePath";
inline constexpr std::string_view kRemoteChangeHistoryTokenKey = "historyToken";

class ManagedObjectContext;

namespace detail {
class StoreLayout;
struct CommitResult;
}  // namespace detail

class PersistentStoreCoordinator {
 public:
  PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model, const Clock& clock,
                             NotificationCenter& notificationCenter);
  ~PersistentStoreCoordinator();
  PersistentStoreCoordinator(const PersistentStoreCoordinator&) = delete;
  PersistentStoreCoordinator& operator=(const PersistentStoreCoordinator&) = delete;

  const ManagedObjectModel& managedObjectModel() const { return *model_; }

  // Opens the described store, creating it when its file does not exist (or is empty), and checks
  // that this coordinator's model made it. Failures: IncompatibleModel, MigrationFailed or
  // MissingSourceModel for a store of another model; StoreOpenFailed when a store is loaded already
  // or a file store has no path; kSQLiteErrorDomain for a file that cannot be opened or is no database.
  // A failed load leaves no connection open: the file may be destroyed at once. A load that was to
  // make a new store (no file at the path) takes away what it made, so a failure such as a full disk
  // leaves the folder as it was; it never removes a file that was there before it, nor one another
  // process made. Loads of file stores in one folder take turns, also across processes (see
  // detail/StoreOpenTurn.h): any number of processes that load a store that is not there yet at the
  // same moment all load the one store the first of them made.
  Result<std::shared_ptr<PersistentStore>> addPersistentStore(const StoreDescription& description);

  // The loaded store; nullptr before loading, after a failed load and after destroying it.
  std::shared_ptr<PersistentStore> persistentStore() const;

  // Removes the SQLite store at `path`: closes it first when it is the loaded store (contexts then
  // fail with StoreOperationFailed), then deletes the file and its "-shm" and "-wal" companions, in that
  // order. A missing file is no failure. Removal that the system refuses for lack of permission fails with
  // WriteNoPermission, any other refusal with StoreOperationFailed; the system's reason is in the
  // description.
  Result<void> destroyPersistentStore(const std::filesystem::path& path);

  // Lets go of the loaded store, leaving its files: a read, commit or write batch under way ends
  // first, then the connections close, which folds the write-ahead log into the database file. Contexts then
  // fail with StoreOperationFailed until a store is loaded again. Without a loaded store it does nothing.
  void removePersistentStore();

  ObjectTag notificationSender() const { return this; }

  // For the layer's contexts.
  const detail::StoreLayout& layout() const { return *layout_; }
  const Clock& clock() const { return clock_; }
  void registerContext(const std::shared_ptr<ManagedObjectContext>& context);
  // After a commit (a context's save, or a write batch's commit: then no source), merges and posts
  // as above; a save written into an open batch waits for the batch's commit instead.
  void didCommit(const ManagedObjectContext* source, const PersistentStore& store,
                 const detail::CommitResult& result);

 private:
  std::shared_ptr<const ManagedObjectModel> model_;
  std::shared_ptr<const detail::StoreLayout> layout_;
  const Clock& clock_;
  NotificationCenter& notificationCenter_;

  mutable std::mutex mutex_;
  std::shared_ptr<PersistentStore> store_;
  std::vector<std::weak_ptr<ManagedObjectContext>> contexts_;
};

}  // namespace platform
