// Reading values without objects: many rows' attributes at once, for listings that would otherwise
// register an object for every row they read.

#include <unordered_map>

#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/detail/ObjectState.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform {

Result<std::shared_ptr<PersistentStore>> ManagedObjectContext::storeForValues(const char* operation) {
  if (hasChangesLocked()) {
    throw ProgrammerError(
        "UnsavedChanges",
        std::string(operation) + " reads only what the store holds; this context has unsaved changes");
  }
  return currentStore();
}

// Decodes the leading `columns` of each row; the rows may carry more.
std::vector<StoredValues> ManagedObjectContext::decodeValues(const detail::EntityLayout& entity,
                                                             const std::vector<std::size_t>& columns,
                                                             std::vector<detail::ColumnValues>& rows) {
  std::vector<StoredValues> decoded;
  decoded.reserve(rows.size());
  for (detail::ColumnValues& row : rows) {
    StoredValues values{ObjectID{entity.entity->name, row.number}, {}};
    values.values.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      values.values.push_back(
          detail::decodeAttribute(entity.columns[columns[i]].attribute->type, std::move(row.values[i])));
    }
    decoded.push_back(std::move(values));
  }
  return decoded;
}

Result<std::vector<StoredValues>> ManagedObjectContext::fetchValues(const FetchRequest& request,
                                                                    const std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  const detail::EntityLayout* entity = &entityNamed(request.entityName);
  detail::RowQuery query = rowQueryFor(*entity, request);
  query.limit = request.fetchLimit;
  std::vector<std::size_t> columns;
  for (const std::string& key : keys) columns.push_back(columnFor(*entity, key, false));
  Result<std::shared_ptr<PersistentStore>> store = storeForValues("fetchValues");
  if (!store) return store.error();
  Result<std::vector<detail::ColumnValues>> rows = (*store)->database().fetchColumns(*entity, columns, query);
  if (!rows) return rows.error();
  return decodeValues(*entity, columns, *rows);
}

Result<std::vector<std::vector<StoredValues>>> ManagedObjectContext::memberValues(
    const std::vector<ObjectID>& owners, std::string_view key, const std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  if (owners.empty()) return std::vector<std::vector<StoredValues>>();
  const detail::EntityLayout* entity = &entityNamed(owners.front().entityName);
  const std::optional<detail::PropertySlot> slot = entity->slot(key);
  if (!slot || slot->kind != detail::PropertySlot::Kind::ToMany) {
    throw ProgrammerError("WrongPropertyKind",
                          entity->entity->name + "." + std::string(key) + " is not a to-many relationship");
  }
  const detail::ToManyLayout& relationship = entity->toMany[slot->index];
  const detail::EntityLayout& destination = coordinator_->layout().entity(relationship.destinationEntity);

  // Where each owner's members go, by the owner's number.
  std::unordered_map<std::int64_t, std::vector<std::size_t>> positions;
  std::vector<SqlValue> numbers;
  for (std::size_t position = 0; position < owners.size(); ++position) {
    if (owners[position].entityName != owners.front().entityName || owners[position].isTemporary()) {
      throw ProgrammerError("MixedEntities",
                            "the owners of one member-values read must be stored objects of one entity");
    }
    std::vector<std::size_t>& slots = positions[owners[position].number];
    if (slots.empty()) numbers.push_back(owners[position].number);
    slots.push_back(position);
  }
  std::vector<std::size_t> columns;
  for (const std::string& name : keys) columns.push_back(columnFor(destination, name, false));
  std::vector<std::size_t> selected = columns;
  selected.push_back(relationship.inverseColumn);  // last: the owner each row belongs to
  Result<std::shared_ptr<PersistentStore>> store = storeForValues("memberValues");
  if (!store) return store.error();

  // Many owners: one pass over every linked row costs less than their numbers in lists of queries.
  detail::RowQuery query;
  if (numbers.size() > detail::kMaxValuesPerQuery) {
    query.notNull = relationship.inverseColumn;
  } else {
    query.oneOf = {relationship.inverseColumn, std::move(numbers)};
  }
  Result<std::vector<detail::ColumnValues>> rows =
      (*store)->database().fetchColumns(destination, selected, query);
  if (!rows) return rows.error();
  std::vector<std::int64_t> links;
  links.reserve(rows->size());
  for (const detail::ColumnValues& row : *rows) {
    const auto* link = std::get_if<std::int64_t>(&row.values.back());
    links.push_back(link ? *link : 0);
  }
  std::vector<StoredValues> decoded = decodeValues(destination, columns, *rows);
  std::vector<std::vector<StoredValues>> members(owners.size());
  for (std::size_t index = 0; index < decoded.size(); ++index) {
    const auto owner = positions.find(links[index]);
    if (owner == positions.end()) continue;
    // An owner asked for more than once gets copies; the last of its places takes the row itself.
    const std::vector<std::size_t>& places = owner->second;
    for (std::size_t place = 0; place + 1 < places.size(); ++place)
      members[places[place]].push_back(decoded[index]);
    members[places.back()].push_back(std::move(decoded[index]));
  }
  return members;
}

}  // namespace platform
