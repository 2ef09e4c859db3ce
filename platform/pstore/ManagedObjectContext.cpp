#include "platform/pstore/ManagedObjectContext.h"

#include <atomic>
#include <iterator>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/ObjectState.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform {
namespace {

// Temporary numbers are unique in the process, so a temporary ID never names two objects.
std::int64_t newTemporaryNumber() {
  static std::atomic<std::int64_t> issued{0};
  return -(issued.fetch_add(1) + 1);
}

}  // namespace

std::shared_ptr<ManagedObjectContext> ManagedObjectContext::make(
    std::shared_ptr<PersistentStoreCoordinator> coordinator, ConcurrencyType type, QueueRef queue) {
  std::shared_ptr<ManagedObjectContext> context(
      new ManagedObjectContext(coordinator, type, std::move(queue)));
  coordinator->registerContext(context);
  return context;
}

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<PersistentStoreCoordinator> coordinator,
                                           ConcurrencyType type, QueueRef queue)
    : coordinator_(std::move(coordinator)), type_(type), queue_(std::move(queue)) {}

void ManagedObjectContext::perform(std::function<void()> block) {
  queue_->async([self = shared_from_this(), block = std::move(block)] { block(); });
}

void ManagedObjectContext::performAndWait(const std::function<void()>& block) {
  if (queue_->isCurrent() || (type_ == ConcurrencyType::MainQueue && isMainThread())) {
    block();
    return;
  }
  queue_->sync(block);
}

std::optional<std::string> ManagedObjectContext::transactionAuthor() const {
  std::lock_guard lock(mutex_);
  return author_;
}

void ManagedObjectContext::setTransactionAuthor(std::optional<std::string> author) {
  std::lock_guard lock(mutex_);
  author_ = std::move(author);
}

bool ManagedObjectContext::automaticallyMergesChangesFromParent() const {
  std::lock_guard lock(mutex_);
  return automaticallyMerges_;
}

void ManagedObjectContext::setAutomaticallyMergesChangesFromParent(bool merges) {
  std::lock_guard lock(mutex_);
  automaticallyMerges_ = merges;
}

ManagedObjectContext::MergePolicy ManagedObjectContext::mergePolicy() const {
  std::lock_guard lock(mutex_);
  return mergePolicy_;
}

void ManagedObjectContext::setMergePolicy(MergePolicy policy) {
  std::lock_guard lock(mutex_);
  mergePolicy_ = policy;
}

Result<std::shared_ptr<PersistentStore>> ManagedObjectContext::currentStore() {
  std::shared_ptr<PersistentStore> store = coordinator_->persistentStore();
  if (!store)
    return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                "No persistent store is loaded.");
  if (storeIdentifier_ && *storeIdentifier_ != store->identifier()) forgetStoredObjects();
  storeIdentifier_ = store->identifier();
  return store;
}

void ManagedObjectContext::forgetStoredObjects() {
  // Row numbers of the old store mean nothing in the new one; only objects not yet saved carry over,
  // without their links to stored objects.
  std::erase_if(registered_, [](const auto& entry) {
    StatePtr state = entry.second.lock();
    return !state || !state->inserted;
  });
  std::erase_if(pending_, [](const auto& entry) { return !entry.second->inserted; });
  for (const auto& [key, state] : pending_) {
    const detail::EntityLayout& entity = entityOf(*state);
    for (auto& [column, value] : state->changes) {
      const auto* number = std::get_if<std::int64_t>(&value);
      if (entity.columns[column].relationship && number && *number > 0) value = std::monostate{};
    }
  }
  pendingMetadata_.clear();
  pendingRecordMetadata_.clear();
}

std::shared_ptr<PersistentStore> ManagedObjectContext::sameStore() {
  std::shared_ptr<PersistentStore> store = coordinator_->persistentStore();
  if (!store || (storeIdentifier_ && *storeIdentifier_ != store->identifier())) return nullptr;
  storeIdentifier_ = store->identifier();
  return store;
}

ManagedObject ManagedObjectContext::handle(StatePtr state) {
  return ManagedObject(shared_from_this(), std::move(state));
}

const detail::EntityLayout& ManagedObjectContext::entityOf(const detail::ObjectState& state) const {
  return coordinator_->layout().entity(state.entity);
}

std::size_t ManagedObjectContext::columnFor(const detail::EntityLayout& entity, std::string_view key,
                                            bool relationship) {
  // The name in an error text only: this runs for every value read or written.
  const auto where = [&] { return entity.entity->name + "." + std::string(key); };
  std::optional<detail::PropertySlot> slot = entity.slot(key);
  if (!slot) throw ProgrammerError("UnknownKey", "the model has no property " + where());
  const bool isRelationshipColumn =
      slot->kind == detail::PropertySlot::Kind::Column && entity.columns[slot->index].relationship != nullptr;
  if (slot->kind == detail::PropertySlot::Kind::ToMany || isRelationshipColumn != relationship) {
    throw ProgrammerError("WrongPropertyKind", where() + (relationship ? " is not a to-one relationship"
                                                                       : " is not an attribute"));
  }
  return slot->index;
}

const detail::ToManyLayout& ManagedObjectContext::toManyFor(const detail::ObjectState& state,
                                                            std::string_view key) const {
  const detail::EntityLayout& entity = entityOf(state);
  std::optional<detail::PropertySlot> slot = entity.slot(key);
  if (!slot || slot->kind != detail::PropertySlot::Kind::ToMany) {
    throw ProgrammerError("WrongPropertyKind",
                          entity.entity->name + "." + std::string(key) + " is not a to-many relationship");
  }
  return entity.toMany[slot->index];
}

const ManagedObjectContext::StatePtr& ManagedObjectContext::checkedState(const ManagedObject& object) const {
  if (object.context_.get() != this) {
    throw ProgrammerError("ForeignObject", "an object of another context was handed to this one");
  }
  return object.state_;
}

ManagedObjectContext::StatePtr ManagedObjectContext::registerRow(const detail::EntityLayout& entity,
                                                                 detail::StoredRow row) {
  const RegistryKey key{entity.index, row.number};
  if (auto found = registered_.find(key); found != registered_.end()) {
    if (StatePtr state = found->second.lock()) {
      // An object with unsaved changes keeps the row its changes were made against, so a conflict
      // with a later write elsewhere can still be seen at save.
      if (!state->hasPendingWork() || !state->snapshot) state->snapshot = std::move(row);
      state->gone = false;
      return state;
    }
  }
  auto state = std::make_shared<detail::ObjectState>();
  state->entity = entity.index;
  state->number = row.number;
  state->recordName = row.recordName;
  state->snapshot = std::move(row);
  registered_[key] = state;
  return state;
}

ManagedObjectContext::StatePtr ManagedObjectContext::stateFor(std::size_t entity, std::int64_t number) {
  const RegistryKey key{entity, number};
  if (auto found = registered_.find(key); found != registered_.end()) {
    if (StatePtr state = found->second.lock()) return state;
  }
  auto state = std::make_shared<detail::ObjectState>();
  state->entity = entity;
  state->number = number;
  registered_[key] = state;
  return state;
}

void ManagedObjectContext::track(const StatePtr& state) {
  const RegistryKey key{state->entity, state->number};
  if (state->hasPendingWork()) {
    pending_[key] = state;
  } else {
    pending_.erase(key);
  }
}

bool ManagedObjectContext::loadSnapshot(detail::ObjectState& state) {
  if (state.snapshot) return true;
  if (state.inserted || state.gone) return false;
  std::shared_ptr<PersistentStore> store = sameStore();
  if (!store) return false;
  Result<std::optional<detail::StoredRow>> row = store->database().fetchRow(entityOf(state), state.number);
  if (!row) return false;
  if (!*row) {
    state.gone = true;
    return false;
  }
  state.recordName = (*row)->recordName;
  state.snapshot = std::move(**row);
  return true;
}

const SqlValue& ManagedObjectContext::currentValue(detail::ObjectState& state, std::size_t column) {
  static const SqlValue kNoValue;
  if (const SqlValue* changed = state.changes.find(column)) return *changed;
  if (!loadSnapshot(state)) return kNoValue;
  return state.snapshot->columns[column];
}

void ManagedObjectContext::writeColumn(const StatePtr& state, std::size_t column, SqlValue value) {
  if (!state->inserted && loadSnapshot(*state) &&
      identicalSqlValues(state->snapshot->columns[column], value)) {
    state->changes.erase(column);
  } else {
    state->changes.set(column, std::move(value));
  }
  track(state);
}

void ManagedObjectContext::sweepRegistry() {
  if (registered_.size() < sweepThreshold_) return;
  std::erase_if(registered_, [](const auto& entry) { return entry.second.expired(); });
  sweepThreshold_ = std::max<std::size_t>(1024, registered_.size() * 2);
}

ManagedObject ManagedObjectContext::insertNewObject(std::string_view entityName,
                                                    std::optional<UUID> recordName) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = &entityNamed(entityName);
  auto state = std::make_shared<detail::ObjectState>();
  state->entity = entity->index;
  state->number = newTemporaryNumber();
  state->recordName = recordName ? *recordName : UUID::random();
  state->inserted = true;
  state->changes.reserve(entity->columns.size());
  for (std::size_t column = 0; column < entity->columns.size(); ++column) {
    const AttributeDescription* attribute = entity->columns[column].attribute;
    if (attribute && attribute->defaultValue) {
      state->changes.set(column, detail::encodeAttribute(*attribute, *attribute->defaultValue));
    }
  }
  registered_[{state->entity, state->number}] = state;
  // A later insertion under the same record name is the one found by it.
  insertedByRecordName_[{state->entity, state->recordName}] = state;
  track(state);
  return handle(state);
}

void ManagedObjectContext::deleteObject(const ManagedObject& object) {
  std::lock_guard lock(mutex_);
  const StatePtr& state = checkedState(object);
  state->deleted = true;
  track(state);
}

bool ManagedObjectContext::hasChangesLocked() const {
  if (!pendingMetadata_.empty() || !pendingRecordMetadata_.empty()) return true;
  return std::any_of(pending_.begin(), pending_.end(),
                     [](const auto& entry) { return !(entry.second->inserted && entry.second->deleted); });
}

bool ManagedObjectContext::hasChanges() const {
  std::lock_guard lock(mutex_);
  return hasChangesLocked();
}

Result<std::optional<std::string>> ManagedObjectContext::metadataValue(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (auto pending = pendingMetadata_.find(key); pending != pendingMetadata_.end()) return pending->second;
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  return (*store)->database().metadataValue(key);
}

Result<std::map<std::string, std::string>> ManagedObjectContext::metadataValues(const std::string& prefix) {
  Result<MetadataPage> page = metadataValues(MetadataRange{prefix});
  if (!page) return page.error();
  return std::map<std::string, std::string>(std::make_move_iterator(page->values.begin()),
                                            std::make_move_iterator(page->values.end()));
}

Result<MetadataPage> ManagedObjectContext::metadataValues(const MetadataRange& range) {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  return (*store)->database().metadataValues(range, pendingMetadata_);
}

Result<std::map<std::string, std::string>> ManagedObjectContext::metadataValues(
    const std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  std::vector<std::string> stored;
  for (const std::string& key : keys) {
    if (!pendingMetadata_.count(key)) stored.push_back(key);
  }
  Result<std::map<std::string, std::string>> values = (*store)->database().metadataValues(stored);
  if (!values) return values.error();
  for (const std::string& key : keys) {
    auto pending = pendingMetadata_.find(key);
    if (pending != pendingMetadata_.end() && pending->second) (*values)[key] = *pending->second;
  }
  return values;
}

void ManagedObjectContext::setMetadataValue(const std::string& key, std::optional<std::string> value) {
  if (key.starts_with(detail::kReservedMetadataPrefix)) {
    throw ProgrammerError("ReservedMetadataKey", "the metadata key \"" + key + "\" belongs to the store");
  }
  std::lock_guard lock(mutex_);
  pendingMetadata_[key] = std::move(value);
}

Result<std::map<UUID, Bytes>> ManagedObjectContext::recordMetadata(const std::vector<UUID>& records) {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  std::vector<UUID> stored;
  stored.reserve(records.size());
  for (const UUID& record : records) {
    if (!pendingRecordMetadata_.count(record)) stored.push_back(record);
  }
  Result<std::map<UUID, Bytes>> values = (*store)->database().recordMetadata(stored);
  if (!values) return values.error();
  for (const UUID& record : records) {
    auto pending = pendingRecordMetadata_.find(record);
    if (pending != pendingRecordMetadata_.end() && pending->second) (*values)[record] = *pending->second;
  }
  return values;
}

Result<std::map<UUID, Bytes>> ManagedObjectContext::allRecordMetadata() {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  Result<std::map<UUID, Bytes>> values = (*store)->database().allRecordMetadata();
  if (!values) return values.error();
  for (const auto& [record, value] : pendingRecordMetadata_) {
    if (value) {
      (*values)[record] = *value;
    } else {
      values->erase(record);
    }
  }
  return values;
}

void ManagedObjectContext::setRecordMetadata(const UUID& record, std::optional<Bytes> value) {
  std::lock_guard lock(mutex_);
  pendingRecordMetadata_[record] = std::move(value);
}

Result<std::vector<HistoryTransaction>> ManagedObjectContext::fetchHistory(
    const std::optional<HistoryToken>& after) {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  return (*store)->database().fetchHistory(after);
}

Result<std::optional<HistoryToken>> ManagedObjectContext::newestHistoryToken() {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  return (*store)->database().newestHistoryToken();
}

Result<void> ManagedObjectContext::setQueryGenerationFromCurrent() {
  std::lock_guard lock(mutex_);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  return {};
}

void ManagedObjectContext::mergeChanges(const ObjectIDChanges& changes) {
  std::lock_guard lock(mutex_);
  const auto registeredState = [&](const ObjectID& id) -> StatePtr {
    const detail::EntityLayout* entity = coordinator_->layout().entity(id.entityName);
    if (!entity) return nullptr;
    auto found = registered_.find({entity->index, id.number});
    return found == registered_.end() ? nullptr : found->second.lock();
  };
  for (const ObjectID& id : changes.updated) {
    if (StatePtr state = registeredState(id)) state->snapshot.reset();
  }
  for (const ObjectID& id : changes.deleted) {
    if (StatePtr state = registeredState(id)) {
      state->snapshot.reset();
      state->gone = true;
    }
  }
}

void ManagedObjectContext::mergeChangesFromRemoteContextSave(
    const ObjectIDChanges& changes, const std::vector<std::shared_ptr<ManagedObjectContext>>& contexts) {
  for (const auto& context : contexts) context->mergeChanges(changes);
}

}  // namespace platform
