#include "platform/mirror/RecordOwners.h"

#include <algorithm>

namespace platform {
namespace {

// Whether `relationship`, of `model`, is a cascading to-many whose inverse is a to-one: the owner's
// side of an owner relationship.
bool holdsMembers(const ManagedObjectModel& model, const RelationshipDescription& relationship) {
  if (!relationship.toMany || relationship.deleteRule != DeleteRule::Cascade) return false;
  const RelationshipDescription* inverse =
      model.entity(relationship.destinationEntity)->relationship(relationship.inverseRelationship);
  return inverse && !inverse->toMany;
}

}  // namespace

std::vector<const RelationshipDescription*> ownerRelationships(const ManagedObjectModel& model,
                                                               const EntityDescription& entity) {
  std::vector<const RelationshipDescription*> owners;
  for (const RelationshipDescription& relationship : entity.relationships) {
    if (relationship.toMany) continue;
    const RelationshipDescription* inverse =
        model.entity(relationship.destinationEntity)->relationship(relationship.inverseRelationship);
    if (inverse && holdsMembers(model, *inverse)) owners.push_back(&relationship);
  }
  return owners;
}

bool ownsMembers(const ManagedObjectModel& model, const EntityDescription& entity) {
  return std::any_of(
      entity.relationships.begin(), entity.relationships.end(),
      [&](const RelationshipDescription& relationship) { return holdsMembers(model, relationship); });
}

std::vector<ManagedObject> ownersOf(const ManagedObject& object, const ManagedObjectModel& model) {
  std::vector<ManagedObject> owners;
  for (const RelationshipDescription* relationship : ownerRelationships(model, object.entity())) {
    std::optional<ManagedObject> owner = object.relatedObject(relationship->name);
    if (owner && !owner->isDeleted()) owners.push_back(*owner);
  }
  return owners;
}

}  // namespace platform
