// Saving a context: delete propagation, validation, one commit, and taking the committed rows back.

#include <algorithm>
#include <limits>
#include <set>

#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/detail/ObjectState.h"
#include "platform/pstore/detail/StoreDatabase.h"
#include "platform/text/Scalars.h"

namespace platform {
namespace {

Error validationError(PersistentStoreErrorCode code, const EntityDescription& entity, const std::string& key,
                      const std::string& problem) {
  return persistentStoreError(
      code, entity.name + "." + key + " " + problem,
      {{std::string(kErrorEntityKey), entity.name}, {std::string(kErrorKeyKey), key}});
}

}  // namespace

Result<void> ManagedObjectContext::propagateDeletions() {
  std::vector<StatePtr> work;
  for (const auto& [key, state] : pending_) {
    if (state->deleted) work.push_back(state);
  }
  std::set<const detail::ObjectState*> done;
  while (!work.empty()) {
    StatePtr state = std::move(work.back());
    work.pop_back();
    if (!done.insert(state.get()).second) continue;
    const detail::EntityLayout& entity = entityOf(*state);
    const auto cascade = [&](const StatePtr& related) {
      related->deleted = true;
      track(related);
      work.push_back(related);
    };
    for (const detail::ToManyLayout& relationship : entity.toMany) {
      Result<std::vector<StatePtr>> related = members(state, relationship);
      if (!related) return related.error();
      for (const StatePtr& member : *related) {
        if (relationship.relationship->deleteRule == DeleteRule::Cascade) {
          cascade(member);
        } else {
          writeColumn(member, relationship.inverseColumn, std::monostate{});
        }
      }
    }
    for (std::size_t column = 0; column < entity.columns.size(); ++column) {
      const detail::ColumnLayout& layout = entity.columns[column];
      // Nullifying a to-one link needs nothing: the inverse set is read through this row, which goes.
      if (!layout.relationship || layout.relationship->deleteRule != DeleteRule::Cascade) continue;
      const SqlValue& target = currentValue(*state, column);
      if (const auto* number = std::get_if<std::int64_t>(&target)) {
        StatePtr related = stateFor(layout.destinationEntity, *number);
        if (!related->deleted && !related->gone) cascade(related);
      }
    }
  }
  return {};
}

Result<void> ManagedObjectContext::validate(const StatePtr& state) {
  // A row that is gone or cannot be read is the commit's to judge (a conflict, or nothing to write).
  if (!state->inserted && !loadSnapshot(*state)) return {};
  const detail::EntityLayout& entity = entityOf(*state);
  const EntityDescription& description = *entity.entity;
  for (std::size_t column = 0; column < entity.columns.size(); ++column) {
    const detail::ColumnLayout& layout = entity.columns[column];
    const std::string& key = layout.attribute ? layout.attribute->name : layout.relationship->name;
    const SqlValue& value = currentValue(*state, column);
    if (isNull(value)) {
      const bool optional = layout.attribute ? layout.attribute->optional : layout.relationship->optional;
      if (!optional) {
        return validationError(PersistentStoreErrorCode::ValidationMissingMandatoryProperty, description, key,
                               "is required but has no value.");
      }
      continue;
    }
    if (!layout.attribute) continue;
    if (layout.attribute->type == AttributeType::Integer32) {
      if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        if (*integer > std::numeric_limits<std::int32_t>::max()) {
          return validationError(PersistentStoreErrorCode::ValidationNumberTooLarge, description, key,
                                 "holds " + std::to_string(*integer) + ", more than 32 bits can hold.");
        }
        if (*integer < std::numeric_limits<std::int32_t>::min()) {
          return validationError(PersistentStoreErrorCode::ValidationNumberTooSmall, description, key,
                                 "holds " + std::to_string(*integer) + ", less than 32 bits can hold.");
        }
      }
    }
    // Text must be UTF-8 to travel: another machine would read broken bytes as replacement
    // characters. Checked where it is written, so rows another program left keep loading.
    if (const auto* text = std::get_if<std::string>(&value);
        text && (state->inserted || state->changes.contains(column)) && !isWellFormedUtf8(*text)) {
      return validationError(PersistentStoreErrorCode::ValidationFailed, description, key,
                             "holds text that is not valid UTF-8.");
    }
    if (detail::decodeAttribute(layout.attribute->type, value).isOtherKind()) {
      return validationError(PersistentStoreErrorCode::ValidationFailed, description, key,
                             "holds a value of another kind than its attribute's type.");
    }
  }
  for (const detail::ToManyLayout& relationship : entity.toMany) {
    const RelationshipDescription& limits = *relationship.relationship;
    if (limits.minCount == 0 && limits.maxCount == 0) continue;
    Result<std::vector<StatePtr>> related = members(state, relationship);
    if (!related) return related.error();
    const auto count = static_cast<int>(related->size());
    if (count < limits.minCount && !(limits.optional && count == 0)) {
      return validationError(PersistentStoreErrorCode::ValidationRelationshipLacksMinimumCount, description,
                             limits.name, "has fewer than " + std::to_string(limits.minCount) + " objects.");
    }
    if (limits.maxCount > 0 && count > limits.maxCount) {
      return validationError(PersistentStoreErrorCode::ValidationRelationshipExceedsMaximumCount, description,
                             limits.name, "has more than " + std::to_string(limits.maxCount) + " objects.");
    }
  }
  return {};
}

Result<void> ManagedObjectContext::save() {
  std::shared_ptr<PersistentStore> store;
  detail::CommitResult result;
  {
    std::lock_guard lock(mutex_);
    if (!hasChangesLocked()) {
      // Objects inserted and deleted again leave nothing to write; nothing links to them either, or
      // that link would be a change.
      std::erase_if(pending_, [&](const auto& entry) {
        entry.second->inserted = false;
        entry.second->gone = true;
        registered_.erase(entry.first);
        return true;
      });
      return {};
    }
    Result<std::shared_ptr<PersistentStore>> current = currentStore();
    if (!current) return current.error();
    store = *current;
    if (Result<void> propagated = propagateDeletions(); !propagated) return propagated;
    for (const auto& [key, state] : pending_) {
      if (state->deleted) continue;
      if (Result<void> valid = validate(state); !valid) return valid;
    }

    detail::ChangeSet changes;
    std::vector<StatePtr> inserted, updated, deleted, discarded;
    for (const auto& [key, state] : pending_) {
      const detail::EntityLayout& entity = entityOf(*state);
      const std::optional<std::int64_t> readVersion =
          state->snapshot ? std::optional<std::int64_t>(state->snapshot->version) : std::nullopt;
      if (state->inserted && state->deleted) {
        discarded.push_back(state);
      } else if (state->inserted) {
        inserted.push_back(state);
      } else if (state->deleted) {
        changes.deletes.push_back({&entity, state->number, readVersion});
        deleted.push_back(state);
      } else if (!state->changes.empty()) {
        changes.updates.push_back({&entity, state->number, readVersion, state->changes});
        updated.push_back(state);
      }
    }
    // Rows are numbered in the order the objects were inserted.
    std::sort(inserted.begin(), inserted.end(),
              [](const StatePtr& a, const StatePtr& b) { return a->number > b->number; });
    for (const StatePtr& state : inserted) {
      const detail::EntityLayout& entity = entityOf(*state);
      detail::RowInsert insert{&entity, state->number, state->recordName, {}};
      insert.columns.reserve(entity.columns.size());
      for (std::size_t column = 0; column < entity.columns.size(); ++column) {
        insert.columns.push_back(&currentValue(*state, column));
      }
      changes.inserts.push_back(std::move(insert));
    }
    changes.metadata = &pendingMetadata_;
    changes.recordMetadata = &pendingRecordMetadata_;
    changes.author = author_;
    changes.failOnConflict = mergePolicy_ == MergePolicy::Error;

    Result<detail::CommitResult> committed = store->database().commit(changes, coordinator_->clock().now());
    if (!committed) return committed.error();
    result = std::move(*committed);

    for (std::size_t i = 0; i < inserted.size(); ++i) {
      const StatePtr& state = inserted[i];
      registered_.erase({state->entity, state->number});
      state->number = result.insertedRows[i].number;
      state->snapshot = std::move(result.insertedRows[i]);
      state->inserted = false;
      registered_[{state->entity, state->number}] = state;
    }
    for (std::size_t i = 0; i < updated.size(); ++i) {
      updated[i]->gone = !result.updatedRows[i];
      updated[i]->snapshot = std::move(result.updatedRows[i]);
    }
    for (const auto* group : {&deleted, &discarded}) {
      for (const StatePtr& state : *group) {
        registered_.erase({state->entity, state->number});
        state->snapshot.reset();
        state->inserted = false;
        state->gone = true;
      }
    }
    for (const auto& [key, state] : pending_) state->changes.clear();
    pending_.clear();
    insertedByRecordName_.clear();
    pendingMetadata_.clear();
    pendingRecordMetadata_.clear();
  }
  coordinator_->didCommit(this, *store, result);
  return {};
}

}  // namespace platform
