#pragma once
// Result<T>: either a value or an Error. Result<void> carries only success or an Error.

#include <cassert>
#include <utility>
#include <variant>

#include "platform/error/Error.h"

namespace platform {

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return checkedValue(); }
  const T& value() const& { return const_cast<Result*>(this)->checkedValue(); }
  // A temporary hands its value over instead of a reference into itself, so `for (x : f().value())`
  // walks a live container.
  T value() && { return std::move(checkedValue()); }
  T valueOr(T fallback) const& { return ok() ? std::get<0>(state_) : std::move(fallback); }

  const Error& error() const {
    if (ok()) throw ProgrammerError("ResultAccess", "error() called on a successful Result");
    return std::get<1>(state_);
  }

  T* operator->() { return &checkedValue(); }
  const T* operator->() const { return &const_cast<Result*>(this)->checkedValue(); }
  T& operator*() & { return checkedValue(); }
  const T& operator*() const& { return const_cast<Result*>(this)->checkedValue(); }

 private:
  T& checkedValue() {
    if (!ok())
      throw ProgrammerError("ResultAccess",
                            "value() called on a failed Result: " + std::get<1>(state_).debugDescription());
    return std::get<0>(state_);
  }
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}
  static Result success() { return Result(); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const {
    if (ok()) throw ProgrammerError("ResultAccess", "error() called on a successful Result");
    return error_;
  }

 private:
  Error error_;
  bool failed_ = false;
};

}  // namespace platform
