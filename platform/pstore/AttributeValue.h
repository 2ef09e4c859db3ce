#pragma once
// The values an object's attributes hold, and what reading one can find.
//
// AttributeValue is what callers write: one value of an attribute type (Integer32 attributes take
// the full 64-bit integer; a value outside 32 bits is refused when the context saves, never cut).
//
// AttributeRead is what callers read, and it keeps three answers apart, because rows can be edited
// outside this layer (another tool, an older program) and a tolerant reader must know which case it
// has:
//  - present: a value of the attribute's type;
//  - missing: the store holds no value (null);
//  - of another kind: the store holds something, but not of the attribute's type.

#include <cstdint>
#include <optional>
#include <variant>

#include "platform/identity/UUID.h"
#include "platform/value/Value.h"

namespace platform {

using AttributeValue = std::variant<bool, std::int64_t, std::string, Bytes, Date, UUID>;

class AttributeRead {
 public:
  enum class Status { Present, Missing, OtherKind };

  static AttributeRead present(AttributeValue value) { return AttributeRead(std::move(value)); }
  static AttributeRead missing() { return AttributeRead(Status::Missing); }
  static AttributeRead otherKind() { return AttributeRead(Status::OtherKind); }

  Status status() const { return status_; }
  bool isPresent() const { return status_ == Status::Present; }
  bool isMissing() const { return status_ == Status::Missing; }
  bool isOtherKind() const { return status_ == Status::OtherKind; }

  // The value when present; nullopt when missing or of another kind.
  const std::optional<AttributeValue>& value() const { return value_; }

  // The value when present and of type T, else nullopt: the one call a tolerant reader needs.
  template <class T>
  std::optional<T> as() const {
    if (!value_) return std::nullopt;
    if (const T* typed = std::get_if<T>(&*value_)) return *typed;
    return std::nullopt;
  }
  // The same, moved out of a read that is not needed afterwards.
  template <class T>
  std::optional<T> take() && {
    if (!value_) return std::nullopt;
    if (T* typed = std::get_if<T>(&*value_)) return std::move(*typed);
    return std::nullopt;
  }

  friend bool operator==(const AttributeRead&, const AttributeRead&) = default;

 private:
  explicit AttributeRead(Status status) : status_(status) {}
  explicit AttributeRead(AttributeValue value) : status_(Status::Present), value_(std::move(value)) {}

  Status status_;
  std::optional<AttributeValue> value_;
};

}  // namespace platform
