#include "platform/pstore/detail/StoreLayout.h"

#include <algorithm>
#include <cctype>

namespace platform::detail {
namespace {

std::string storedName(std::string_view name) {
  std::string upper = "Z";
  for (unsigned char c : name) upper += static_cast<char>(std::toupper(c));
  return upper;
}

std::string quoted(const std::string& name) {
  return "\"" + name + "\"";
}

}  // namespace

std::optional<PropertySlot> EntityLayout::slot(std::string_view key) const {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::string& name =
        columns[i].attribute ? columns[i].attribute->name : columns[i].relationship->name;
    if (name == key) return PropertySlot{PropertySlot::Kind::Column, i};
  }
  for (std::size_t i = 0; i < toMany.size(); ++i) {
    if (toMany[i].relationship->name == key) return PropertySlot{PropertySlot::Kind::ToMany, i};
  }
  return std::nullopt;
}

StoreLayout::StoreLayout(const ManagedObjectModel& model) {
  const auto& descriptions = model.entities();
  for (std::size_t index = 0; index < descriptions.size(); ++index) {
    const EntityDescription& description = descriptions[index];
    EntityLayout layout;
    layout.entity = &description;
    layout.index = index;
    layout.table = quoted(storedName(description.name));
    layout.selectList = "Z_PK, Z_OPT, Z_UUID";
    for (const AttributeDescription& attribute : description.attributes) {
      layout.columns.push_back(ColumnLayout{quoted(storedName(attribute.name)), &attribute, nullptr, 0});
    }
    for (const RelationshipDescription& relationship : description.relationships) {
      if (relationship.toMany) continue;
      layout.columns.push_back(ColumnLayout{quoted(storedName(relationship.name)), nullptr, &relationship,
                                            model.entityIndex(relationship.destinationEntity)});
    }
    for (const ColumnLayout& column : layout.columns) layout.selectList += ", " + column.name;
    layout.insertStatement = "INSERT INTO " + layout.table + " (" + layout.selectList + ") VALUES (?, ?, ?";
    layout.updateStatement = "UPDATE " + layout.table + " SET Z_OPT = ?";
    for (const ColumnLayout& column : layout.columns) {
      layout.insertStatement += ", ?";
      layout.updateStatement += ", " + column.name + " = ?";
    }
    layout.insertStatement += ")";
    layout.updateStatement += " WHERE Z_PK = ?";
    entities_.push_back(std::move(layout));
  }
  // The to-many side needs the destination's columns, which exist only now.
  for (EntityLayout& layout : entities_) {
    for (const RelationshipDescription& relationship : layout.entity->relationships) {
      if (!relationship.toMany) continue;
      const std::size_t destination = model.entityIndex(relationship.destinationEntity);
      const std::optional<PropertySlot> inverse =
          entities_[destination].slot(relationship.inverseRelationship);
      layout.toMany.push_back(ToManyLayout{&relationship, destination, inverse->index});
    }
  }
}

const EntityLayout* StoreLayout::entity(std::string_view name) const {
  auto found = std::find_if(entities_.begin(), entities_.end(),
                            [&](const EntityLayout& e) { return e.entity->name == name; });
  return found == entities_.end() ? nullptr : &*found;
}

std::vector<std::string> StoreLayout::entityTableStatements() const {
  std::vector<std::string> statements;
  for (const EntityLayout& layout : entities_) {
    std::string create = "CREATE TABLE " + layout.table +
                         " (Z_PK INTEGER PRIMARY KEY, Z_OPT INTEGER NOT NULL, Z_UUID BLOB NOT NULL";
    for (const ColumnLayout& column : layout.columns) create += ", " + column.name;
    statements.push_back(create + ")");
    const std::string bareTable = layout.table.substr(1, layout.table.size() - 2);
    statements.push_back("CREATE UNIQUE INDEX \"" + bareTable + "_Z_UUID\" ON " + layout.table + " (Z_UUID)");
  }
  for (std::string& statement : indexStatements()) statements.push_back(std::move(statement));
  return statements;
}

std::vector<std::string> StoreLayout::indexStatements() const {
  std::vector<std::string> statements;
  for (const EntityLayout& layout : entities_) {
    const std::string bareTable = layout.table.substr(1, layout.table.size() - 2);
    for (const ColumnLayout& column : layout.columns) {
      if (!column.relationship && !(column.attribute && column.attribute->indexed)) continue;
      const std::string bareColumn = column.name.substr(1, column.name.size() - 2);
      statements.push_back("CREATE INDEX IF NOT EXISTS \"" + bareTable + "_" + bareColumn + "\" ON " +
                           layout.table + " (" + column.name + ")");
    }
  }
  return statements;
}

}  // namespace platform::detail
