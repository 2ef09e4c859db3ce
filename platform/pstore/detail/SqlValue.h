#pragma once
// A value as the database engine stores it (null, integer, real, text, blob), the order and
// equality the engine uses for such values, and the mapping between attribute values and stored
// values. Internal to the persistent-store layer.

#include <cstdint>
#include <string>
#include <variant>

#include "platform/pstore/AttributeValue.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform::detail {

using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, Bytes>;

inline bool isNull(const SqlValue& value) {
  return std::holds_alternative<std::monostate>(value);
}

// The engine's order: null first, then numbers by value (integers and reals compared exactly), then
// texts byte by byte, then blobs byte by byte. Answers <0, 0 or >0.
int compareSqlValues(const SqlValue& a, const SqlValue& b);
// The engine's "=": false when either side is null.
bool sqlEquals(const SqlValue& a, const SqlValue& b);
// The same storage class and the same content: whether writing `b` over `a` changes the row.
bool identicalSqlValues(const SqlValue& a, const SqlValue& b);

// Stores a value of the attribute's type. Throws ProgrammerError when the value is of another type.
SqlValue encodeAttribute(const AttributeDescription& attribute, const AttributeValue& value);
// Reads a stored value back: missing for null, other kind for a storage class (or, for UUIDs and
// 32-bit integers, a size) that the attribute's type cannot hold.
AttributeRead decodeAttribute(AttributeType type, const SqlValue& stored);

}  // namespace platform::detail
