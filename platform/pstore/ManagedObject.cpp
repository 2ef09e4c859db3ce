#include "platform/pstore/ManagedObject.h"

#include <algorithm>

#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/detail/ObjectState.h"

namespace platform {

ManagedObject::ManagedObject(std::shared_ptr<ManagedObjectContext> context,
                             std::shared_ptr<detail::ObjectState> state)
    : context_(std::move(context)), state_(std::move(state)) {}

ObjectID ManagedObject::objectID() const {
  std::lock_guard lock(context_->mutex_);
  return ObjectID{entity().name, state_->number};
}

const EntityDescription& ManagedObject::entity() const {
  return *context_->entityOf(*state_).entity;
}

UUID ManagedObject::recordName() const {
  std::lock_guard lock(context_->mutex_);
  // An object reached through a link is known by number only until its row is read.
  context_->loadSnapshot(*state_);
  return state_->recordName;
}

bool ManagedObject::isInserted() const {
  std::lock_guard lock(context_->mutex_);
  return state_->inserted;
}

bool ManagedObject::isDeleted() const {
  std::lock_guard lock(context_->mutex_);
  return state_->deleted || state_->gone;
}

AttributeRead ManagedObject::value(std::string_view key) const {
  std::lock_guard lock(context_->mutex_);
  const detail::EntityLayout& entity = context_->entityOf(*state_);
  const std::size_t column = ManagedObjectContext::columnFor(entity, key, false);
  if (state_->gone) return AttributeRead::missing();
  return detail::decodeAttribute(entity.columns[column].attribute->type,
                                 context_->currentValue(*state_, column));
}

void ManagedObject::setValue(std::string_view key, std::optional<AttributeValue> value) {
  std::lock_guard lock(context_->mutex_);
  const detail::EntityLayout& entity = context_->entityOf(*state_);
  const std::size_t column = ManagedObjectContext::columnFor(entity, key, false);
  SqlValue stored =
      value ? detail::encodeAttribute(*entity.columns[column].attribute, std::move(*value)) : SqlValue();
  context_->writeColumn(state_, column, std::move(stored));
}

std::optional<ManagedObject> ManagedObject::relatedObject(std::string_view key) const {
  std::lock_guard lock(context_->mutex_);
  const detail::EntityLayout& entity = context_->entityOf(*state_);
  const std::size_t column = ManagedObjectContext::columnFor(entity, key, true);
  if (state_->gone) return std::nullopt;
  const SqlValue target = context_->currentValue(*state_, column);
  const auto* number = std::get_if<std::int64_t>(&target);
  if (!number) return std::nullopt;
  auto related = context_->stateFor(entity.columns[column].destinationEntity, *number);
  if (related->gone) return std::nullopt;
  return context_->handle(std::move(related));
}

void ManagedObject::setRelatedObject(std::string_view key, const std::optional<ManagedObject>& object) {
  std::lock_guard lock(context_->mutex_);
  const detail::EntityLayout& entity = context_->entityOf(*state_);
  const std::size_t column = ManagedObjectContext::columnFor(entity, key, true);
  if (!object) {
    context_->writeColumn(state_, column, std::monostate{});
    return;
  }
  const auto& target = context_->checkedState(*object);
  if (target->entity != entity.columns[column].destinationEntity) {
    throw ProgrammerError("WrongEntity", entity.entity->name + "." + std::string(key) +
                                             " cannot hold an object of " + object->entity().name);
  }
  context_->writeColumn(state_, column, target->number);
}

Result<std::vector<ManagedObject>> ManagedObject::relatedObjects(std::string_view key) const {
  std::lock_guard lock(context_->mutex_);
  Result<std::vector<ManagedObjectContext::StatePtr>> members =
      context_->members(state_, context_->toManyFor(*state_, key));
  if (!members) return members.error();
  std::vector<ManagedObject> objects;
  objects.reserve(members->size());
  for (auto& member : *members) objects.push_back(context_->handle(std::move(member)));
  return objects;
}

Result<void> ManagedObject::setRelatedObjects(std::string_view key,
                                              const std::vector<ManagedObject>& objects) {
  std::lock_guard lock(context_->mutex_);
  const detail::ToManyLayout& relationship = context_->toManyFor(*state_, key);
  std::vector<ManagedObjectContext::StatePtr> targets;
  for (const ManagedObject& object : objects) {
    const auto& target = context_->checkedState(object);
    if (target->entity != relationship.destinationEntity) {
      throw ProgrammerError("WrongEntity", entity().name + "." + std::string(key) +
                                               " cannot hold an object of " + object.entity().name);
    }
    targets.push_back(target);
  }
  Result<std::vector<ManagedObjectContext::StatePtr>> current = context_->members(state_, relationship);
  if (!current) return current.error();
  for (const auto& member : *current) {
    if (std::find(targets.begin(), targets.end(), member) == targets.end()) {
      context_->writeColumn(member, relationship.inverseColumn, std::monostate{});
    }
  }
  for (const auto& target : targets)
    context_->writeColumn(target, relationship.inverseColumn, state_->number);
  return {};
}

void ManagedObject::addRelatedObject(std::string_view key, const ManagedObject& object) {
  std::lock_guard lock(context_->mutex_);
  const detail::ToManyLayout& relationship = context_->toManyFor(*state_, key);
  const auto& target = context_->checkedState(object);
  if (target->entity != relationship.destinationEntity) {
    throw ProgrammerError("WrongEntity", entity().name + "." + std::string(key) +
                                             " cannot hold an object of " + object.entity().name);
  }
  context_->writeColumn(target, relationship.inverseColumn, state_->number);
}

}  // namespace platform
