#pragma once
// Which records own others, read from the model rather than from names: a record is owned through a
// to-one relationship whose inverse is a cascading to-many relationship of the owner's entity, so
// that deleting the owner deletes the record too. An edit of the owner made after another machine
// deleted it keeps its members (MirrorImport.h, MirrorExport.h).
//
// Functions of the model and of objects, used on the queue of the objects' context (reading an
// owner may read its row).

#include <vector>

#include "platform/pstore/ManagedObject.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform {

// The owners `object` is linked to and that are not deleted.
std::vector<ManagedObject> ownersOf(const ManagedObject& object, const ManagedObjectModel& model);

}  // namespace platform
