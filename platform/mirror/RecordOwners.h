#pragma once
// Which records own others, read from the model rather than from names: a record (a member) is owned
// through a to-one relationship whose inverse is a cascading to-many relationship of the owner's
// entity, so that deleting the owner deletes the member too. A member deleted along with its owner
// comes back when the owner does: an edit of the owner made after another machine deleted it keeps
// the owner whole (MirrorImport.h, MirrorExport.h).
//
// Functions of the model and of objects, used on the queue of the objects' context (reading an
// owner may read its row).

#include <vector>

#include "platform/pstore/ManagedObject.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform {

// The to-one relationships of `entity` that link a member to its owner.
std::vector<const RelationshipDescription*> ownerRelationships(const ManagedObjectModel& model,
                                                               const EntityDescription& entity);

// Whether records of `entity` own members.
bool ownsMembers(const ManagedObjectModel& model, const EntityDescription& entity);

// The owners `object` is linked to and that are not deleted.
std::vector<ManagedObject> ownersOf(const ManagedObject& object, const ManagedObjectModel& model);

}  // namespace platform
