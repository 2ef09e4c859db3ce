#include "platform/pstore/PersistentStoreCoordinator.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/FileIO.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/SoundStamp.h"
#include "platform/pstore/detail/StoreDatabase.h"
#include "platform/pstore/detail/StoreOpenTurn.h"
#include "platform/sqlite/SqliteFiles.h"

namespace platform {
namespace {

Result<void> removeIfPresent(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::remove(file, error);
  if (!error) return {};
  const bool denied = error.value() == EACCES || error.value() == EPERM;
  return persistentStoreError(
      denied ? PersistentStoreErrorCode::WriteNoPermission : PersistentStoreErrorCode::StoreOperationFailed,
      "Cannot remove " + file.string() + ": " + error.message());
}

}  // namespace

PersistentStoreCoordinator::PersistentStoreCoordinator(std::shared_ptr<const ManagedObjectModel> model,
                                                       const Clock& clock,
                                                       NotificationCenter& notificationCenter)
    : model_(std::move(model)),
      layout_(std::make_shared<const detail::StoreLayout>(*model_)),
      clock_(clock),
      notificationCenter_(notificationCenter) {}

PersistentStoreCoordinator::~PersistentStoreCoordinator() = default;

Result<std::shared_ptr<PersistentStore>> PersistentStoreCoordinator::addPersistentStore(
    const StoreDescription& description) {
  std::lock_guard lock(mutex_);
  if (store_) {
    return persistentStoreError(PersistentStoreErrorCode::StoreOpenFailed,
                                "A store is loaded already; a coordinator holds one store.");
  }
  std::optional<detail::StoreOpenTurn> turn;
  if (description.type != StoreType::InMemory && description.path && !description.path->empty())
    turn.emplace(*description.path);
  Result<std::unique_ptr<detail::StoreDatabase>> database =
      detail::StoreDatabase::open(description, layout_, model_->versionHash());
  if (!database) {
    // The failed open has closed its connection. A store it was making (a full disk fails the first
    // write, after the engine made the files) leaves the folder as it was; the open's error is what
    // the caller needs, so a file that cannot go is left.
    if (turn) turn->removeWhatThisOpenMade();
    return database.error();
  }
  store_ = std::make_shared<PersistentStore>(description, std::move(*database));
  return store_;
}

std::shared_ptr<PersistentStore> PersistentStoreCoordinator::persistentStore() const {
  std::lock_guard lock(mutex_);
  return store_;
}

Result<void> PersistentStoreCoordinator::destroyPersistentStore(const std::filesystem::path& path) {
  std::shared_ptr<PersistentStore> closing;
  {
    std::lock_guard lock(mutex_);
    if (store_ && store_->path() && comparablePath(*store_->path()) == comparablePath(path))
      closing = std::move(store_);
  }
  // Outside the lock: closing waits for a write batch under way, whose thread may need the lock
  // to finish.
  if (closing) closing->database().close();
  // The shared-memory index before the log it indexes: a failure leaves the log, never an index
  // without its log.
  for (std::string_view suffix : {std::string_view(), kSqliteLogIndexSuffix, kSqliteLogSuffix}) {
    if (Result<void> removed = removeIfPresent(path.string() + std::string(suffix)); !removed) return removed;
  }
  // Best effort: a stamp left behind never matches the files of another store.
  std::error_code ignored;
  std::filesystem::remove(path.string() + std::string(detail::kSoundStampSuffix), ignored);
  return {};
}

void PersistentStoreCoordinator::removePersistentStore() {
  std::shared_ptr<PersistentStore> closing;
  {
    std::lock_guard lock(mutex_);
    closing = std::move(store_);
  }
  if (closing) closing->database().close();
}

void PersistentStoreCoordinator::registerContext(const std::shared_ptr<ManagedObjectContext>& context) {
  std::lock_guard lock(mutex_);
  std::erase_if(contexts_, [](const auto& weak) { return weak.expired(); });
  contexts_.push_back(context);
}

void PersistentStoreCoordinator::didCommit(const ManagedObjectContext* source, const PersistentStore& store,
                                           const detail::CommitResult& result) {
  if (result.deferred || result.changes.empty()) return;
  std::vector<std::shared_ptr<ManagedObjectContext>> others;
  {
    std::lock_guard lock(mutex_);
    for (const auto& weak : contexts_) {
      if (auto context = weak.lock(); context && context.get() != source)
        others.push_back(std::move(context));
    }
  }
  for (const auto& context : others) {
    if (context->automaticallyMergesChangesFromParent()) context->mergeChanges(result.changes);
  }
  if (!store.description().option(kRemoteChangeNotificationPostOption)) return;
  Dictionary userInfo{{std::string(kRemoteChangeStoreIdentifierKey), store.identifier().uuidString()}};
  if (store.path()) userInfo[std::string(kRemoteChangeStorePathKey)] = store.path()->string();
  if (result.token) userInfo[std::string(kRemoteChangeHistoryTokenKey)] = result.token->serialized();
  notificationCenter_.post(std::string(kRemoteChangeNotification), notificationSender(), std::move(userInfo));
}

}  // namespace platform
