#include "platform/mirror/RecordOwners.h"

namespace platform {
namespace {

// The to-one relationships of `entity` that link a record to its owner.
std::vector<const RelationshipDescription*> ownerRelationships(const ManagedObjectModel& model,
                                                               const EntityDescription& entity) {
  std::vector<const RelationshipDescription*> owners;
  for (const RelationshipDescription& relationship : entity.relationships) {
    if (relationship.toMany) continue;
    const RelationshipDescription* inverse =
        model.entity(relationship.destinationEntity)->relationship(relationship.inverseRelationship);
    if (inverse && inverse->toMany && inverse->deleteRule == DeleteRule::Cascade)
      owners.push_back(&relationship);
  }
  return owners;
}

}  // namespace

std::vector<ManagedObject> ownersOf(const ManagedObject& object, const ManagedObjectModel& model) {
  std::vector<ManagedObject> owners;
  for (const RelationshipDescription* relationship : ownerRelationships(model, object.entity())) {
    std::optional<ManagedObject> owner = object.relatedObject(relationship->name);
    if (owner && !owner->isDeleted()) owners.push_back(*owner);
  }
  return owners;
}

}  // namespace platform
