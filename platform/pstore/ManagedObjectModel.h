#pragma once
// The model a store is built for, written in code: entities with typed attributes (and their
// defaults) and relationships with an inverse and a delete rule.
//
// What the store can hold shapes what a model may say. Every relationship has an inverse, and each
// pair is one to-one side and one to-many side: the to-one side is a column on its entity's table and
// the to-many side is read back through it. To-one pairs, many-to-many pairs and ordered to-many
// relationships are refused. A model that breaks these rules, names something twice (names are
// compared without case, since they become column names), points at an unknown entity or gives an
// attribute a default of the wrong type is a programmer error: the constructor throws.
//
// The version hash says whether a store written with one model can be opened with another. It covers
// what decides the stored shape and what must be present: entity names, attribute names, types and
// optionality, relationship names, destinations, inverses, cardinality and optionality. It leaves
// out default values, delete rules, count limits, indexes and the external-storage hint: a default may be a
// random identifier or "now", drawn anew on every launch, and must not make every launch look like a
// different model.
//
// A model is immutable once built and may be shared between threads.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pstore/AttributeValue.h"

namespace platform {

enum class AttributeType { UUID, String, Binary, Boolean, Date, Integer32 };

struct AttributeDescription {
  std::string name;
  AttributeType type = AttributeType::String;
  bool optional = true;
  std::optional<AttributeValue> defaultValue{};
  // A hint that large values may live outside the row. Values are always stored in the row here; the
  // flag is kept so a model reads as it was written.
  bool allowsExternalBinaryDataStorage = false;
  // Objects are often looked up by this attribute: the store keeps an index on it. The index holds
  // no data of its own, so it is left out of the version hash; a store made before the attribute
  // was indexed gains the index when it is next loaded.
  bool indexed = false;
};

enum class DeleteRule {
  Nullify,  // the related objects stay; their link to the deleted object is cleared
  Cascade,  // the related objects are deleted too
};

struct RelationshipDescription {
  std::string name;
  std::string destinationEntity{};
  std::string inverseRelationship{};
  bool toMany = false;
  int minCount = 0;
  int maxCount = 0;  // 0: no maximum
  bool ordered = false;
  DeleteRule deleteRule = DeleteRule::Nullify;
  bool optional = true;
};

struct EntityDescription {
  std::string name;
  std::vector<AttributeDescription> attributes{};
  std::vector<RelationshipDescription> relationships{};

  const AttributeDescription* attribute(std::string_view name) const;
  const RelationshipDescription* relationship(std::string_view name) const;
};

class ManagedObjectModel {
 public:
  // Checks the model (see above) and throws ProgrammerError when it is unusable.
  explicit ManagedObjectModel(std::vector<EntityDescription> entities);

  const std::vector<EntityDescription>& entities() const { return entities_; }
  const EntityDescription* entity(std::string_view name) const;
  // Position of the entity in entities(); throws ProgrammerError for an unknown name.
  std::size_t entityIndex(std::string_view name) const;

  // Lower-case hexadecimal SHA-256 of the model's stored shape (see above).
  const std::string& versionHash() const { return versionHash_; }

 private:
  std::vector<EntityDescription> entities_;
  std::string versionHash_;
};

}  // namespace platform
