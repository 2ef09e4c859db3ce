// Reading through a context: fetch requests, lookups by ID and record name, and to-many members,
// each the stored rows with the context's unsaved changes laid over them.

#include <algorithm>
#include <set>

#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/ObjectState.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform {
namespace {

// The order objects were first stored in: saved rows by number, then unsaved ones by insertion.
bool storedBefore(const detail::ObjectState& a, const detail::ObjectState& b) {
  if ((a.number < 0) != (b.number < 0)) return a.number > 0;
  return a.number < 0 ? a.number > b.number : a.number < b.number;
}

bool isLive(const detail::ObjectState& state) {
  return !state.deleted && !state.gone;
}

}  // namespace

Result<std::vector<ManagedObject>> ManagedObjectContext::fetch(const FetchRequest& request) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = coordinator_->layout().entity(request.entityName);
  if (!entity) {
    throw ProgrammerError("UnknownEntity", "the model has no entity \"" + request.entityName + "\"");
  }
  detail::RowQuery query;
  if (request.predicate) {
    const std::size_t column = columnFor(*entity, request.predicate->key, false);
    query.equals = {column,
                    detail::encodeAttribute(*entity->columns[column].attribute, request.predicate->value)};
  }
  for (const SortDescriptor& descriptor : request.sortDescriptors) {
    query.sort.emplace_back(columnFor(*entity, descriptor.key, false), descriptor.ascending);
  }
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();

  // Unsaved changes to this entity can move objects into, out of or within the result, so the store
  // cannot cut the list short; the limit is applied after the changes are laid over.
  const bool overlay = std::any_of(pending_.begin(), pending_.end(),
                                   [&](const auto& entry) { return entry.first.first == entity->index; });
  query.limit = overlay ? 0 : request.fetchLimit;
  Result<std::vector<detail::StoredRow>> rows = (*store)->database().fetchRows(*entity, query);
  if (!rows) return rows.error();

  std::vector<StatePtr> states;
  states.reserve(rows->size());
  for (detail::StoredRow& row : *rows) states.push_back(registerRow(*entity, std::move(row)));
  if (overlay) {
    std::set<const detail::ObjectState*> seen;
    for (const StatePtr& state : states) seen.insert(state.get());
    for (const auto& [key, state] : pending_) {
      if (key.first == entity->index && !seen.count(state.get())) states.push_back(state);
    }
    std::erase_if(states, [&](const StatePtr& state) {
      return !isLive(*state) ||
             (query.equals && !sqlEquals(currentValue(*state, query.equals->first), query.equals->second));
    });
    std::stable_sort(states.begin(), states.end(), [&](const StatePtr& a, const StatePtr& b) {
      for (const auto& [column, ascending] : query.sort) {
        const int order = compareSqlValues(currentValue(*a, column), currentValue(*b, column));
        if (order != 0) return ascending ? order < 0 : order > 0;
      }
      return storedBefore(*a, *b);
    });
    if (request.fetchLimit > 0 && states.size() > request.fetchLimit) states.resize(request.fetchLimit);
  }
  std::vector<ManagedObject> objects;
  objects.reserve(states.size());
  for (StatePtr& state : states) objects.push_back(handle(std::move(state)));
  sweepRegistry();
  return objects;
}

Result<std::optional<ManagedObject>> ManagedObjectContext::existingObject(const ObjectID& id) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = coordinator_->layout().entity(id.entityName);
  if (!entity) throw ProgrammerError("UnknownEntity", "the model has no entity \"" + id.entityName + "\"");
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  StatePtr known;
  if (auto found = registered_.find({entity->index, id.number}); found != registered_.end())
    known = found->second.lock();
  if (known && known->hasPendingWork()) {
    return known->gone ? std::nullopt : std::optional<ManagedObject>(handle(known));
  }
  if (id.isTemporary()) return std::optional<ManagedObject>();
  Result<std::optional<detail::StoredRow>> row = (*store)->database().fetchRow(*entity, id.number);
  if (!row) return row.error();
  if (!*row) {
    if (known) known->gone = true;
    return std::optional<ManagedObject>();
  }
  return std::optional<ManagedObject>(handle(registerRow(*entity, std::move(**row))));
}

Result<std::optional<ManagedObject>> ManagedObjectContext::objectWithRecordName(std::string_view entityName,
                                                                                const UUID& recordName) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = coordinator_->layout().entity(entityName);
  if (!entity)
    throw ProgrammerError("UnknownEntity", "the model has no entity \"" + std::string(entityName) + "\"");
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  for (const auto& [key, state] : pending_) {
    if (key.first == entity->index && state->inserted && state->recordName == recordName) {
      return state->deleted ? std::nullopt : std::optional<ManagedObject>(handle(state));
    }
  }
  Result<std::optional<detail::StoredRow>> row =
      (*store)->database().fetchRowByRecordName(*entity, recordName);
  if (!row) return row.error();
  if (!*row) return std::optional<ManagedObject>();
  return std::optional<ManagedObject>(handle(registerRow(*entity, std::move(**row))));
}

Result<std::vector<ManagedObjectContext::StatePtr>> ManagedObjectContext::members(
    const StatePtr& owner, const detail::ToManyLayout& relationship) {
  const detail::EntityLayout& destination = coordinator_->layout().entity(relationship.destinationEntity);
  std::vector<StatePtr> found;
  if (!owner->inserted) {
    std::shared_ptr<PersistentStore> store = sameStore();
    if (!store) {
      return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                  "The store this object was read from is no longer loaded.");
    }
    detail::RowQuery query;
    query.equals = {relationship.inverseColumn, owner->number};
    Result<std::vector<detail::StoredRow>> rows = store->database().fetchRows(destination, query);
    if (!rows) return rows.error();
    for (detail::StoredRow& row : *rows) found.push_back(registerRow(destination, std::move(row)));
  }
  std::set<const detail::ObjectState*> seen;
  for (const StatePtr& state : found) seen.insert(state.get());
  for (const auto& [key, state] : pending_) {
    if (key.first == destination.index && !seen.count(state.get())) found.push_back(state);
  }
  const SqlValue ownerNumber = owner->number;
  std::erase_if(found, [&](const StatePtr& state) {
    return !isLive(*state) || !sqlEquals(currentValue(*state, relationship.inverseColumn), ownerNumber);
  });
  std::sort(found.begin(), found.end(),
            [](const StatePtr& a, const StatePtr& b) { return storedBefore(*a, *b); });
  return found;
}

}  // namespace platform
