#pragma once
// The identity of one stored object within its store: the entity and a number. Objects inserted into
// a context carry a temporary (negative) number until the context saves them; from then on the
// number is their permanent row number, which is never handed out again in that store.
//
// An ObjectID is a plain value. It names an object across contexts of one coordinator (history
// changes and merges speak in ObjectIDs); it does not name the store, so it means nothing to another
// store. Objects that other stores must recognise are matched by their record name instead.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct ObjectID {
  std::string entityName;
  std::int64_t number = 0;

  bool isTemporary() const { return number < 0; }
  // "PromptEntity/p12" for a stored object, "PromptEntity/t3" for a temporary one; for logs and tests.
  std::string description() const {
    return entityName + (isTemporary() ? "/t" + std::to_string(-number) : "/p" + std::to_string(number));
  }

  friend auto operator<=>(const ObjectID&, const ObjectID&) = default;
};

}  // namespace platform

template <>
struct std::hash<platform::ObjectID> {
  std::size_t operator()(const platform::ObjectID& id) const noexcept {
    return std::hash<std::string>()(id.entityName) * 31 + std::hash<std::int64_t>()(id.number);
  }
};
