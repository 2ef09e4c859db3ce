#pragma once
// The common root of objects that SDK modules hand each other without knowing each other's classes
// (component instances above all). Being polymorphic, such an object can be asked at run time
// whether it conforms to an interface (see Protocol in BCNComponent.h).

namespace beacon {

class Object {
 public:
  virtual ~Object() = default;

 protected:
  Object() = default;
  Object(const Object&) = default;
  Object& operator=(const Object&) = default;
};

}  // namespace beacon
