#include "platform/pstore/ManagedObjectModel.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/error/Error.h"

namespace platform {
namespace {

[[noreturn]] void refuse(const std::string& reason) {
  throw ProgrammerError("InvalidModel", reason);
}

std::string lowerCased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// Names become table and column names. Keeping them to identifier characters keeps the SQL plain, and a
// leading letter keeps them apart from the store's own tables and columns, which start with "Z_".
void checkName(std::string_view name, std::string_view what) {
  const bool valid =
      !name.empty() && std::isalpha(static_cast<unsigned char>(name.front())) &&
      std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
  if (!valid) refuse(std::string(what) + " name \"" + std::string(name) + "\" is not an identifier");
}

bool defaultFits(AttributeType type, const AttributeValue& value) {
  switch (type) {
    case AttributeType::UUID:
      return std::holds_alternative<UUID>(value);
    case AttributeType::String:
      return std::holds_alternative<std::string>(value);
    case AttributeType::Binary:
      return std::holds_alternative<Bytes>(value);
    case AttributeType::Boolean:
      return std::holds_alternative<bool>(value);
    case AttributeType::Date:
      return std::holds_alternative<Date>(value);
    case AttributeType::Integer32:
      return std::holds_alternative<std::int64_t>(value);
  }
  return false;
}

const char* typeName(AttributeType type) {
  switch (type) {
    case AttributeType::UUID:
      return "uuid";
    case AttributeType::String:
      return "string";
    case AttributeType::Binary:
      return "binary";
    case AttributeType::Boolean:
      return "boolean";
    case AttributeType::Date:
      return "date";
    case AttributeType::Integer32:
      return "integer32";
  }
  return "?";
}

void checkEntity(const EntityDescription& entity, const ManagedObjectModel& model) {
  std::set<std::string> propertyNames;
  const auto claim = [&](const std::string& name, std::string_view what) {
    checkName(name, what);
    if (!propertyNames.insert(lowerCased(name)).second) {
      refuse("entity " + entity.name + " names the property \"" + name + "\" twice");
    }
  };
  for (const AttributeDescription& attribute : entity.attributes) {
    claim(attribute.name, "attribute");
    if (attribute.defaultValue && !defaultFits(attribute.type, *attribute.defaultValue)) {
      refuse("the default of " + entity.name + "." + attribute.name + " is not a " +
             typeName(attribute.type));
    }
  }
  for (const RelationshipDescription& relationship : entity.relationships) {
    claim(relationship.name, "relationship");
    const std::string where = entity.name + "." + relationship.name;
    const EntityDescription* destination = model.entity(relationship.destinationEntity);
    if (!destination)
      refuse(where + " points at the unknown entity \"" + relationship.destinationEntity + "\"");
    const RelationshipDescription* inverse = destination->relationship(relationship.inverseRelationship);
    if (!inverse || inverse->inverseRelationship != relationship.name ||
        inverse->destinationEntity != entity.name) {
      refuse(where + " has no matching inverse");
    }
    if (relationship.toMany == inverse->toMany) {
      refuse(where + " and its inverse must be one to-one and one to-many relationship");
    }
    if (relationship.toMany && relationship.ordered)
      refuse(where + " is ordered; only unordered sets are kept");
    if (relationship.minCount < 0 || relationship.maxCount < 0) refuse(where + " has a negative count limit");
    if (!relationship.toMany && relationship.maxCount > 1)
      refuse(where + " is to-one but allows more than one");
  }
}

std::string shapeDescription(const std::vector<EntityDescription>& entities) {
  std::string text;
  for (const EntityDescription& entity : entities) {
    text += "entity " + entity.name + "\n";
    for (const AttributeDescription& attribute : entity.attributes) {
      text += "  attribute " + attribute.name + " " + typeName(attribute.type) +
              (attribute.optional ? " optional\n" : " required\n");
    }
    for (const RelationshipDescription& relationship : entity.relationships) {
      text += "  relationship " + relationship.name + " -> " + relationship.destinationEntity + "." +
              relationship.inverseRelationship + (relationship.toMany ? " to-many" : " to-one") +
              (relationship.optional ? " optional\n" : " required\n");
    }
  }
  return text;
}

std::string sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw ProgrammerError("DigestUnavailable", "SHA-256 is not available from the crypto library");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}

}  // namespace

const AttributeDescription* EntityDescription::attribute(std::string_view name) const {
  auto found =
      std::find_if(attributes.begin(), attributes.end(), [&](const auto& a) { return a.name == name; });
  return found == attributes.end() ? nullptr : &*found;
}

const RelationshipDescription* EntityDescription::relationship(std::string_view name) const {
  auto found =
      std::find_if(relationships.begin(), relationships.end(), [&](const auto& r) { return r.name == name; });
  return found == relationships.end() ? nullptr : &*found;
}

ManagedObjectModel::ManagedObjectModel(std::vector<EntityDescription> entities)
    : entities_(std::move(entities)) {
  std::set<std::string> entityNames;
  for (const EntityDescription& entity : entities_) {
    checkName(entity.name, "entity");
    if (!entityNames.insert(lowerCased(entity.name)).second)
      refuse("the entity \"" + entity.name + "\" is named twice");
  }
  for (const EntityDescription& entity : entities_) checkEntity(entity, *this);
  versionHash_ = sha256Hex(shapeDescription(entities_));
}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const {
  auto found =
      std::find_if(entities_.begin(), entities_.end(), [&](const auto& e) { return e.name == name; });
  return found == entities_.end() ? nullptr : &*found;
}

std::size_t ManagedObjectModel::entityIndex(std::string_view name) const {
  const EntityDescription* found = entity(name);
  if (!found) throw ProgrammerError("UnknownEntity", "the model has no entity \"" + std::string(name) + "\"");
  return static_cast<std::size_t>(found - entities_.data());
}

}  // namespace platform
