#pragma once
// A value as the database engine stores it (null, integer, real, text, blob), and the order and
// equality the engine uses for such values.

#include <cstdint>
#include <string>
#include <variant>

#include "platform/value/Value.h"

namespace platform {

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

}  // namespace platform
