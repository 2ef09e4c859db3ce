// Reading through a context: fetch requests, lookups by ID and record name, and to-many members,
// each the stored rows with the context's unsaved changes laid over them.

#include <algorithm>
#include <set>
#include <unordered_map>

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

const detail::EntityLayout& ManagedObjectContext::entityNamed(std::string_view name) const {
  const detail::EntityLayout* entity = coordinator_->layout().entity(name);
  if (!entity)
    throw ProgrammerError("UnknownEntity", "the model has no entity \"" + std::string(name) + "\"");
  return *entity;
}

detail::RowQuery ManagedObjectContext::rowQueryFor(const detail::EntityLayout& entity,
                                                   const FetchRequest& request) {
  detail::RowQuery query;
  if (request.predicate) {
    const std::size_t column = columnFor(entity, request.predicate->key, false);
    query.equals = {column,
                    detail::encodeAttribute(*entity.columns[column].attribute, request.predicate->value)};
  }
  for (const SortDescriptor& descriptor : request.sortDescriptors) {
    query.sort.emplace_back(columnFor(entity, descriptor.key, false), descriptor.ascending);
  }
  return query;
}

Result<std::vector<ManagedObject>> ManagedObjectContext::fetch(const FetchRequest& request) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = &entityNamed(request.entityName);
  detail::RowQuery query = rowQueryFor(*entity, request);
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
  const detail::EntityLayout* entity = &entityNamed(id.entityName);
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
  Result<std::map<UUID, ManagedObject>> found = objectsWithRecordNames(entityName, {recordName});
  if (!found) return found.error();
  auto object = found->find(recordName);
  return object == found->end() ? std::nullopt : std::optional<ManagedObject>(object->second);
}

Result<std::map<UUID, ManagedObject>> ManagedObjectContext::objectsWithRecordNames(
    std::string_view entityName, const std::vector<UUID>& recordNames) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = &entityNamed(entityName);
  Result<std::shared_ptr<PersistentStore>> store = currentStore();
  if (!store) return store.error();
  std::map<UUID, ManagedObject> objects;
  // An unsaved insertion answers for its name, even one deleted again: the store is not asked.
  std::vector<UUID> stored;
  for (const UUID& recordName : recordNames) {
    auto found = insertedByRecordName_.find({entity->index, recordName});
    StatePtr state = found == insertedByRecordName_.end() ? nullptr : found->second.lock();
    if (!state || !state->inserted) {
      stored.push_back(recordName);
    } else if (!state->deleted) {
      objects.emplace(recordName, handle(state));
    }
  }
  Result<std::vector<detail::StoredRow>> rows = (*store)->database().fetchRowsByRecordNames(*entity, stored);
  if (!rows) return rows.error();
  for (detail::StoredRow& row : *rows) {
    const UUID recordName = row.recordName;
    objects.emplace(recordName, handle(registerRow(*entity, std::move(row))));
  }
  return objects;
}

Result<std::vector<std::vector<ManagedObjectContext::StatePtr>>> ManagedObjectContext::members(
    const std::vector<StatePtr>& owners, const detail::ToManyLayout& relationship) {
  const detail::EntityLayout& destination = coordinator_->layout().entity(relationship.destinationEntity);
  // Where each owner's members go, by the owner's number (temporary for inserted owners, which the
  // store does not know yet).
  std::unordered_map<std::int64_t, std::vector<std::size_t>> positions;
  std::vector<SqlValue> storedOwners;
  for (std::size_t position = 0; position < owners.size(); ++position) {
    std::vector<std::size_t>& slots = positions[owners[position]->number];
    if (slots.empty() && !owners[position]->inserted) storedOwners.push_back(owners[position]->number);
    slots.push_back(position);
  }

  std::vector<StatePtr> found;
  if (!storedOwners.empty()) {
    std::shared_ptr<PersistentStore> store = sameStore();
    if (!store) {
      return persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                  "The store this object was read from is no longer loaded.");
    }
    for (std::size_t start = 0; start < storedOwners.size(); start += detail::kMaxValuesPerQuery) {
      const std::size_t end = std::min(storedOwners.size(), start + detail::kMaxValuesPerQuery);
      detail::RowQuery query;
      query.oneOf = {relationship.inverseColumn,
                     std::vector<SqlValue>(storedOwners.begin() + static_cast<std::ptrdiff_t>(start),
                                           storedOwners.begin() + static_cast<std::ptrdiff_t>(end))};
      Result<std::vector<detail::StoredRow>> rows = store->database().fetchRows(destination, query);
      if (!rows) return rows.error();
      for (detail::StoredRow& row : *rows) found.push_back(registerRow(destination, std::move(row)));
    }
  }
  std::set<const detail::ObjectState*> seen;
  for (const StatePtr& state : found) seen.insert(state.get());
  for (const auto& [key, state] : pending_) {
    if (key.first == destination.index && !seen.count(state.get())) found.push_back(state);
  }

  // Each member goes to the owner its link names now, unsaved changes included.
  std::vector<std::vector<StatePtr>> members(owners.size());
  for (StatePtr& state : found) {
    if (!isLive(*state)) continue;
    const SqlValue link = currentValue(*state, relationship.inverseColumn);
    const auto* number = std::get_if<std::int64_t>(&link);
    if (!number) continue;
    if (auto owner = positions.find(*number); owner != positions.end()) {
      for (std::size_t position : owner->second) members[position].push_back(state);
    }
  }
  for (std::vector<StatePtr>& list : members) {
    std::sort(list.begin(), list.end(),
              [](const StatePtr& a, const StatePtr& b) { return storedBefore(*a, *b); });
  }
  return members;
}

Result<std::vector<ManagedObjectContext::StatePtr>> ManagedObjectContext::members(
    const StatePtr& owner, const detail::ToManyLayout& relationship) {
  Result<std::vector<std::vector<StatePtr>>> members =
      this->members(std::vector<StatePtr>{owner}, relationship);
  if (!members) return members.error();
  return std::move(members->front());
}

Result<std::vector<std::vector<ManagedObject>>> ManagedObjectContext::relatedObjects(
    const std::vector<ManagedObject>& owners, std::string_view key) {
  std::lock_guard lock(mutex_);
  std::vector<StatePtr> states;
  states.reserve(owners.size());
  for (const ManagedObject& owner : owners) states.push_back(checkedState(owner));
  if (states.empty()) return std::vector<std::vector<ManagedObject>>();
  const detail::ToManyLayout& relationship = toManyFor(*states.front(), key);
  for (const StatePtr& state : states) {
    if (state->entity != states.front()->entity) {
      throw ProgrammerError("MixedEntities", "the owners of one related-objects read must be of one entity");
    }
  }
  Result<std::vector<std::vector<StatePtr>>> members = this->members(states, relationship);
  if (!members) return members.error();
  std::vector<std::vector<ManagedObject>> objects(members->size());
  for (std::size_t position = 0; position < members->size(); ++position) {
    objects[position].reserve((*members)[position].size());
    for (StatePtr& member : (*members)[position]) objects[position].push_back(handle(std::move(member)));
  }
  sweepRegistry();
  return objects;
}

}  // namespace platform
