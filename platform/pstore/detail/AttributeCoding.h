#pragma once
// The mapping between attribute values and the values the database engine stores. Internal to the
// persistent-store layer.

#include "platform/pstore/AttributeValue.h"
#include "platform/pstore/ManagedObjectModel.h"
#include "platform/sqlite/SqlValue.h"

namespace platform::detail {

// Stores a value of the attribute's type, taking over its text or bytes. Throws ProgrammerError when
// the value is of another type.
SqlValue encodeAttribute(const AttributeDescription& attribute, AttributeValue value);
// Reads a stored value back: missing for null, other kind for a storage class (or, for UUIDs and
// 32-bit integers, a size) that the attribute's type cannot hold.
AttributeRead decodeAttribute(AttributeType type, SqlValue stored);

}  // namespace platform::detail
