#pragma once
// A scratch pad over the store: fetch objects, change, insert and delete them, then save all of it
// in one transaction, or drop the context to forget it.
//
// Which queue owns which context
//  - The view context (PersistentContainer::viewContext) belongs to the main queue.
//  - A background context (newBackgroundContext) owns a serial queue of its own.
//  - A task context (PersistentContainer::performBackgroundTask) lives for one task and belongs to
//    the container's task queue, which runs one task at a time.
// perform() runs a block later on the context's queue; performAndWait() runs it on that queue and
// waits (inline when the caller is already there, and for the view context whenever the caller is
// on the main thread). Work on a context belongs in such blocks. Every call also takes the context's
// own lock, so a call from another thread is never a data race, and objects fetched by one
// context are never handed to another (ManagedObject.h).
//
// What a context sees
//  - Every fetch reads the store anew, then lays this context's unsaved changes over the result.
//  - Objects read earlier keep their values until fetched again, or until changes saved elsewhere
//    are merged in: automatically after every other context's save when
//    automaticallyMergesChangesFromParent is on, or by mergeChangesFromRemoteContextSave. Merging
//    makes the next read of a changed object go to the store, keeps this context's own unsaved
//    changes (they win, property by property) and marks deleted objects as gone.
//
// Saving
//  - save() with nothing to save does nothing: no transaction, no history, no notification.
//  - Before writing, deletions propagate (cascade deletes the related objects, nullify clears their
//    link), and every inserted or changed object is validated: required attributes and to-one
//    relationships present, values of their attribute's type, Integer32 values within 32 bits
//    (never cut), to-many counts within their limits. The first failure is returned with its
//    validation code; nothing is written.
//  - Conflicts: when another context has changed or deleted a row since this context read it, the
//    Error merge policy fails the save with MergeConflict and writes nothing;
//    PropertyObjectTrump writes this context's changed properties over the stored row and drops
//    changes to rows that are gone.
//  - On success the changes are committed with this context's transaction author, and inserted
//    objects get their permanent IDs. On failure the context keeps its changes.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/error/Result.h"
#include "platform/pstore/FetchRequest.h"
#include "platform/pstore/ManagedObject.h"
#include "platform/pstore/MetadataRange.h"
#include "platform/pstore/PersistentHistory.h"
#include "platform/pstore/PersistentStoreCoordinator.h"
#include "platform/pstore/detail/AttributeCoding.h"

namespace platform {

namespace detail {
struct EntityLayout;
struct ToManyLayout;
struct StoredRow;
struct ColumnValues;
struct RowQuery;
}  // namespace detail

// Attribute values of one stored object, read without making an object of it.
struct StoredValues {
  ObjectID id;
  std::vector<AttributeRead> values;  // in the order of the keys asked for
};

class ManagedObjectContext : public std::enable_shared_from_this<ManagedObjectContext> {
 public:
  enum class ConcurrencyType { MainQueue, PrivateQueue };
  enum class MergePolicy { Error, PropertyObjectTrump };

  // Made by the container; `queue` is the queue the context belongs to.
  static std::shared_ptr<ManagedObjectContext> make(std::shared_ptr<PersistentStoreCoordinator> coordinator,
                                                    ConcurrencyType type, QueueRef queue);
  ManagedObjectContext(const ManagedObjectContext&) = delete;
  ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

  const QueueRef& queue() const { return queue_; }
  void perform(std::function<void()> block);
  void performAndWait(const std::function<void()>& block);

  const std::shared_ptr<PersistentStoreCoordinator>& persistentStoreCoordinator() const {
    return coordinator_;
  }

  // Recorded with every history transaction this context commits; none by default.
  std::optional<std::string> transactionAuthor() const;
  void setTransactionAuthor(std::optional<std::string> author);
  bool automaticallyMergesChangesFromParent() const;
  void setAutomaticallyMergesChangesFromParent(bool merges);
  MergePolicy mergePolicy() const;  // Error by default
  void setMergePolicy(MergePolicy policy);

  // Unknown entities and keys, relationship keys in predicates or sort descriptors, and predicate
  // values of the wrong type are programmer errors.
  Result<std::vector<ManagedObject>> fetch(const FetchRequest& request);
  // The object with that ID (temporary IDs: only objects inserted here); nullopt when the store no
  // longer has it.
  Result<std::optional<ManagedObject>> existingObject(const ObjectID& id);
  Result<std::optional<ManagedObject>> objectWithRecordName(std::string_view entityName,
                                                            const UUID& recordName);
  // The objects of one entity that bear these record names, read together, by record name; names
  // that objectWithRecordName would answer nullopt for are left out.
  Result<std::map<UUID, ManagedObject>> objectsWithRecordNames(std::string_view entityName,
                                                               const std::vector<UUID>& recordNames);
  // The to-many relationship `key` of many objects of one entity, read together: element i holds
  // what owners[i].relatedObjects(key) would answer. Owners of another context or of mixed entities
  // are programmer errors.
  Result<std::vector<std::vector<ManagedObject>>> relatedObjects(const std::vector<ManagedObject>& owners,
                                                                 std::string_view key);

  // Reading much at once: the attribute values of `keys`, without registering an object for each.
  // Both read only what the store holds and lay no unsaved changes over it, so calling them while
  // this context has unsaved changes is a programmer error (check hasChanges()), as is a key that
  // names no attribute.
  //  - fetchValues: the objects the request selects, in its order.
  //  - memberValues: the members of the to-many relationship `key` of each owner (stored objects of
  //    one entity); element i holds those of owners[i], in the order they were stored.
  Result<std::vector<StoredValues>> fetchValues(const FetchRequest& request,
                                                const std::vector<std::string>& keys);
  Result<std::vector<std::vector<StoredValues>>> memberValues(const std::vector<ObjectID>& owners,
                                                              std::string_view key,
                                                              const std::vector<std::string>& keys);

  // A new object with its attributes' defaults; its record name is `recordName` or a new random one.
  ManagedObject insertNewObject(std::string_view entityName, std::optional<UUID> recordName = std::nullopt);
  // The deletion and its propagation happen when the context saves.
  void deleteObject(const ManagedObject& object);

  bool hasChanges() const;
  Result<void> save();

  // Store metadata: small named texts (the mirror's bookkeeping, say) written in the same
  // transaction as the next save and never recorded as history. Keys starting with "pstore." belong
  // to the store and are refused (ProgrammerError). Reading sees this context's unsaved values.
  Result<std::optional<std::string>> metadataValue(const std::string& key);
  // Every value under keys that start with `prefix`, by key, this context's unsaved values included.
  Result<std::map<std::string, std::string>> metadataValues(const std::string& prefix);
  // The first values under range.prefix, in key order, as many as the range allows (MetadataRange.h),
  // this context's unsaved values included: a walk through many or long values, a part at a time.
  Result<MetadataPage> metadataValues(const MetadataRange& range);
  // The values of these keys, by key (keys without one are left out), this context's unsaved values
  // included.
  Result<std::map<std::string, std::string>> metadataValues(const std::vector<std::string>& keys);
  void setMetadataValue(const std::string& key, std::optional<std::string> value);

  // Per-record metadata: a small value kept for a record name (whether or not a row bears it, so it
  // can outlive the record's deletion), written in the same transaction as the next save and never
  // recorded as history; what a mirror remembers about every record it has seen, say. Kept in a
  // table of its own keyed by the record name, so a store holding it for many thousands of records
  // reads and writes one value as cheaply as a row. Reading sees this context's unsaved values.
  //  - recordMetadata: the values of these records, by record name (records without one are left out).
  //  - allRecordMetadata: every record's value.
  Result<std::map<UUID, Bytes>> recordMetadata(const std::vector<UUID>& records);
  Result<std::map<UUID, Bytes>> allRecordMetadata();
  // nullopt removes the record's value.
  void setRecordMetadata(const UUID& record, std::optional<Bytes> value);

  // The store's history after `after` (all of it without). Fails with HistoryTokenExpired for a
  // token of another store.
  Result<std::vector<HistoryTransaction>> fetchHistory(const std::optional<HistoryToken>& after);
  // The token of the store's newest history transaction; nullopt while it has none.
  Result<std::optional<HistoryToken>> newestHistoryToken();

  // Reads of this context always see the newest committed state; this only checks that a store is
  // there to read (StoreOperationFailed otherwise).
  Result<void> setQueryGenerationFromCurrent();

  // Merges changes saved elsewhere (for instance, those of a history transaction) into each context.
  static void mergeChangesFromRemoteContextSave(
      const ObjectIDChanges& changes, const std::vector<std::shared_ptr<ManagedObjectContext>>& contexts);
  // The same for one context; the coordinator calls it after other contexts' saves.
  void mergeChanges(const ObjectIDChanges& changes);

 private:
  friend class ManagedObject;
  using StatePtr = std::shared_ptr<detail::ObjectState>;
  using RegistryKey = std::pair<std::size_t, std::int64_t>;

  ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator, ConcurrencyType type,
                       QueueRef queue);

  // Everything below expects mutex_ held.
  // The loaded store, for the start of an operation: a store other than the one the registry was
  // built on (after a reset) clears the registry first.
  Result<std::shared_ptr<PersistentStore>> currentStore();
  // The loaded store if it is the one the registry was built on, else nullptr; never clears, so it is
  // safe in the middle of an operation.
  std::shared_ptr<PersistentStore> sameStore();
  void forgetStoredObjects();
  ManagedObject handle(StatePtr state);
  StatePtr registerRow(const detail::EntityLayout& entity, detail::StoredRow row);
  StatePtr stateFor(std::size_t entity, std::int64_t number);
  void track(const StatePtr& state);
  bool loadSnapshot(detail::ObjectState& state);
  // Valid until the state changes next.
  const SqlValue& currentValue(detail::ObjectState& state, std::size_t column);
  void writeColumn(const StatePtr& state, std::size_t column, SqlValue value);
  Result<std::vector<StatePtr>> members(const StatePtr& owner, const detail::ToManyLayout& relationship);
  // The members of every owner at once, in a handful of queries rather than one per owner.
  Result<std::vector<std::vector<StatePtr>>> members(const std::vector<StatePtr>& owners,
                                                     const detail::ToManyLayout& relationship);
  const detail::EntityLayout& entityOf(const detail::ObjectState& state) const;
  // The layout of the named entity; ProgrammerError("UnknownEntity") when the model has none.
  const detail::EntityLayout& entityNamed(std::string_view name) const;
  // The store query of a fetch request's predicate and sort order; the caller decides the limit.
  static detail::RowQuery rowQueryFor(const detail::EntityLayout& entity, const FetchRequest& request);
  // The column of an attribute (or, with `relationship`, of a to-one relationship); ProgrammerError
  // for any other key.
  static std::size_t columnFor(const detail::EntityLayout& entity, std::string_view key, bool relationship);
  const detail::ToManyLayout& toManyFor(const detail::ObjectState& state, std::string_view key) const;
  const StatePtr& checkedState(const ManagedObject& object) const;
  bool hasChangesLocked() const;
  // The store to read values from; a programmer error while this context has unsaved changes.
  Result<std::shared_ptr<PersistentStore>> storeForValues(const char* operation);
  static std::vector<StoredValues> decodeValues(const detail::EntityLayout& entity,
                                                const std::vector<std::size_t>& columns,
                                                std::vector<detail::ColumnValues>& rows);
  Result<void> propagateDeletions();
  Result<void> validate(const StatePtr& state);
  void sweepRegistry();

  const std::shared_ptr<PersistentStoreCoordinator> coordinator_;
  const ConcurrencyType type_;
  const QueueRef queue_;

  mutable std::mutex mutex_;
  std::optional<std::string> author_;
  bool automaticallyMerges_ = false;
  MergePolicy mergePolicy_ = MergePolicy::Error;
  // The store the registered objects belong to; a new store (after a reset) starts a fresh registry.
  std::optional<UUID> storeIdentifier_;
  // Objects this context has handed out. Clean ones are held weakly, so the context keeps no more
  // than its callers do; objects with unsaved work are also held in pending_ until saved.
  std::map<RegistryKey, std::weak_ptr<detail::ObjectState>> registered_;
  std::map<RegistryKey, StatePtr> pending_;
  // The objects inserted since the last save, by entity and record name: a lookup by record name
  // (as a mirror import makes for every record) must not walk all of pending_.
  std::map<std::pair<std::size_t, UUID>, std::weak_ptr<detail::ObjectState>> insertedByRecordName_;
  std::map<std::string, std::optional<std::string>> pendingMetadata_;
  std::map<UUID, std::optional<Bytes>> pendingRecordMetadata_;
  std::size_t sweepThreshold_ = 1024;
};

}  // namespace platform
