#pragma once
// How a model is laid out in the database: one table per entity, named "Z" plus the entity's name in
// capitals. Each table has its row number (Z_PK), a version counter bumped on every write (Z_OPT),
// the record name (Z_UUID), then one column per attribute and one per to-one relationship (the
// related row's number), in the model's order. A to-many relationship has no column: it is read
// back through its inverse's column. Columns carry no declared type, so a value keeps the storage
// class it was written with and a value of the wrong kind can be recognised on reading. Internal to
// the persistent-store layer.
//
// Built once per coordinator from its model; immutable, shared between threads.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pstore/ManagedObjectModel.h"

namespace platform::detail {

struct ColumnLayout {
  std::string name;                                       // quoted, ready for SQL
  const AttributeDescription* attribute = nullptr;        // set for an attribute column
  const RelationshipDescription* relationship = nullptr;  // set for a to-one relationship column
  std::size_t destinationEntity = 0;                      // for a relationship column
};

struct ToManyLayout {
  const RelationshipDescription* relationship = nullptr;
  std::size_t destinationEntity = 0;
  std::size_t inverseColumn = 0;  // the destination's column that points back here
};

// Where a key of an entity lives.
struct PropertySlot {
  enum class Kind { Column, ToMany };
  Kind kind;
  std::size_t index;  // into columns or toMany
};

struct EntityLayout {
  const EntityDescription* entity = nullptr;
  std::size_t index = 0;
  std::string table;  // quoted
  std::vector<ColumnLayout> columns;
  std::vector<ToManyLayout> toMany;
  // "Z_PK, Z_OPT, Z_UUID, <columns>": the select list every row read uses.
  std::string selectList;
  // The statements a commit writes a whole row with, made once rather than for every row: an insert
  // of every column, and an update of every column by Z_PK.
  std::string insertStatement;
  std::string updateStatement;

  std::optional<PropertySlot> slot(std::string_view key) const;
};

class StoreLayout {
 public:
  explicit StoreLayout(const ManagedObjectModel& model);

  const std::vector<EntityLayout>& entities() const { return entities_; }
  const EntityLayout& entity(std::size_t index) const { return entities_.at(index); }
  // nullptr for a name the model does not have.
  const EntityLayout* entity(std::string_view name) const;

  // The statements that create the entity tables and their indexes.
  std::vector<std::string> entityTableStatements() const;
  // The statements that create the indexes on relationship columns and indexed attributes, each
  // only when missing: also run on a store made before an attribute was indexed.
  std::vector<std::string> indexStatements() const;

 private:
  std::vector<EntityLayout> entities_;
};

}  // namespace platform::detail
