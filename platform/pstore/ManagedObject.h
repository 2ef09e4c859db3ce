#pragma once
// A handle on one object of a context: key-value access to its attributes and relationships.
//
// Handles are cheap to copy; copies denote the same object, and two handles of one object in one
// context compare equal. A handle belongs to the context that made it, and its calls run under that
// context's lock: they are safe from any thread, but they belong on the context's queue
// (ManagedObjectContext.h) like the context's own calls. Handing a handle to another context is a
// programmer error.
//
// Reading never fails loudly: an attribute of an object whose row has gone from the store (deleted
// elsewhere, or unreadable) reads as missing. Asking for a key the entity does not have, an
// attribute with a relationship call (or the reverse), or writing a value of the wrong type, is a
// programmer error (ProgrammerError).
//
// Relationships keep their inverse: linking a version to a prompt adds it to the prompt's set;
// replacing a prompt's set detaches the versions left out (their link is cleared, they are not
// deleted).

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/pstore/AttributeValue.h"
#include "platform/pstore/ManagedObjectModel.h"
#include "platform/pstore/ObjectID.h"

namespace platform {

class ManagedObjectContext;

namespace detail {
struct ObjectState;
}  // namespace detail

class ManagedObject {
 public:
  ManagedObject(std::shared_ptr<ManagedObjectContext> context, std::shared_ptr<detail::ObjectState> state);

  // Temporary until the context saves the object, permanent afterwards.
  ObjectID objectID() const;
  const EntityDescription& entity() const;
  // The name other stores know this object by; drawn at insertion unless given.
  UUID recordName() const;
  bool isInserted() const;
  // Deleted in its context (saved yet or not), or found gone from the store after a merge.
  bool isDeleted() const;

  AttributeRead value(std::string_view key) const;
  // nullopt stores "no value".
  void setValue(std::string_view key, std::optional<AttributeValue> value);

  // To-one relationships.
  std::optional<ManagedObject> relatedObject(std::string_view key) const;
  void setRelatedObject(std::string_view key, const std::optional<ManagedObject>& object);

  // To-many relationships: an unordered set, handed out in the order the members were first stored.
  Result<std::vector<ManagedObject>> relatedObjects(std::string_view key) const;
  Result<void> setRelatedObjects(std::string_view key, const std::vector<ManagedObject>& objects);
  void addRelatedObject(std::string_view key, const ManagedObject& object);

  friend bool operator==(const ManagedObject& a, const ManagedObject& b) { return a.state_ == b.state_; }

 private:
  friend class ManagedObjectContext;

  std::shared_ptr<ManagedObjectContext> context_;
  std::shared_ptr<detail::ObjectState> state_;
};

}  // namespace platform
